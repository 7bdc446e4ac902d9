// The main window's lyric worker: made at start-up in the lyric folder of the
// settings; when "AutoLyrics" is on, a song that starts without a lyric file
// asks it for one, and a file it saves reaches playback control on the UI
// thread through the dispatcher.

#include "app/untFrmMain.h"

#include "lyrics/untLRCSvr.h"
#include "platform/Dispatcher.h"

namespace zv2::app {

void Tfrm_Main::SetupLyrics() {
    lyrics::TLyricTargets targets;
    // On the worker thread: only the dispatcher is touched there.
    targets.OnSaved = [this, alive = std::weak_ptr<int>(LyricsAlive_)](const std::string& path) {
        Env_.Dispatcher->Post([this, alive, path] {
            if (alive.lock() && Playback_)
                Playback_->LyricsArrived(path);
        });
    };
    LyricServer_ = std::make_unique<lyrics::TLRCSvrThread>(Env_.ProgramFolder, Env_.LyricSiteHost, std::move(targets));
    LyricServer_->SetLyricFolder(LRCPath);
    if (Loaded_.AutoLyrics)
        Playback_->OnLyricsMissing = [this](const std::string& title) {
            if (LyricServer_)
                LyricServer_->Post(title, lyrics::lrSearchAndSave);
        };
}

void Tfrm_Main::StopLyrics() {
    LyricsAlive_.reset();
    if (Playback_)
        Playback_->OnLyricsMissing = nullptr;
    if (LyricServer_) {
        LyricServer_->Stop();
        LyricServer_.reset();
    }
}

} // namespace zv2::app
