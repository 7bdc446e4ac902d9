#pragma once
// A main window for tests: over a program folder of the test's, with the
// test's dispatcher and scripted dialogs, and its speaker link on a free port.

#include "FakeDialogs.h"
#include "app/untFrmMain.h"
#include "platform/Dispatcher.h"

#include <memory>
#include <string>

namespace zv2::test {

// The speaker link of a test window: its own control port picked by the system.
inline speaker::TSpeakerLinkOptions FreePortLink() {
    speaker::TSpeakerLinkOptions link;
    link.LocalPort = 0;
    return link;
}

struct TTestWindow {
    explicit TTestWindow(const std::string& folder, const speaker::TSpeakerLinkOptions& link = FreePortLink(),
                         const download::TEngineTiming& downloadTiming = {},
                         const std::string& lyricSite = "127.0.0.1:9",
                         std::unique_ptr<platform::IVolumeSource> volumes = nullptr) {
        Make(folder, link, downloadTiming, lyricSite, std::move(volumes));
        Form->FormShow(); // as the program does once the window is on the screen
    }
    // The window as it is before it has been shown: FormShow has not run.
    struct TBeforeShow {};
    TTestWindow(const std::string& folder, TBeforeShow) { Make(folder, FreePortLink(), {}, "127.0.0.1:9", nullptr); }

    platform::TQueueDispatcher Ui;
    TFakeDialogs* Dialogs = nullptr;
    std::unique_ptr<app::Tfrm_Main> Form;

private:
    void Make(const std::string& folder, const speaker::TSpeakerLinkOptions& link,
              const download::TEngineTiming& downloadTiming, const std::string& lyricSite,
              std::unique_ptr<platform::IVolumeSource> volumes) {
        app::TFormEnvironment env;
        env.ProgramFolder = folder;
        env.MusicSiteHost = "127.0.0.1:9";
        env.LyricSiteHost = lyricSite;
        env.Dispatcher = &Ui;
        env.LinkOptions = link;
        env.DownloadTiming = downloadTiming;
        env.Volumes = std::move(volumes);
        auto dialogs = std::make_unique<TFakeDialogs>();
        Dialogs = dialogs.get();
        env.Dialogs = std::move(dialogs);
        Form = std::make_unique<app::Tfrm_Main>(std::move(env));
    }
};

} // namespace zv2::test
