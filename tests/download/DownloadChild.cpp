// The child process of the download tab's kill test: a download list at full
// speed over FOLDER downloads one song (as NAME, from URL), running its UI
// queue until it is killed.
// Usage: download_child FOLDER NAME URL
#include "download/untDownloadList.h"
#include "platform/Dispatcher.h"

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    // Loopback only, however it was started.
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1);
    zv2::platform::TQueueDispatcher ui;
    zv2::download::TDownloadList::TOptions options;
    options.SavePath = argv[1];
    options.Timing = zv2::download::TEngineTiming::FullSpeed();
    zv2::download::TDownloadList list(ui, options);
    list.StartDownload(argv[2], argv[3]);
    for (;;)
        ui.WaitAndRun(1000);
}
