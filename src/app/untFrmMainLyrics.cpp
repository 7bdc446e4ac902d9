// The main window's lyric worker: made at start-up in the lyric folder of the
// settings; when "AutoLyrics" is on, a song that starts without a lyric file
// asks it for one, and a file it saves reaches playback control on the UI
// thread through the dispatcher. And the lyric label's pop-up menu, which
// moves the lines of the song that plays.

#include "app/untFrmMain.h"

#include "lyrics/untLRCDisplay.h"
#include "lyrics/untLRCSvr.h"
#include "platform/Dispatcher.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace zv2::app {

namespace {

constexpr std::int32_t kLyricStepMs = 500;

} // namespace

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

    pmLyrics = new QMenu(this);
    pmLyrics->setObjectName("pmLyrics");
    mniLyricsEarlier = pmLyrics->addAction(QString::fromUtf8("歌词提前0.5秒"));
    mniLyricsEarlier->setObjectName("mniLyricsEarlier");
    mniLyricsLater = pmLyrics->addAction(QString::fromUtf8("歌词延后0.5秒"));
    mniLyricsLater->setObjectName("mniLyricsLater");
    connect(pmLyrics, &QMenu::aboutToShow, this, [this] { pmLyricsPopup(); });
    connect(mniLyricsEarlier, &QAction::triggered, this, [this] { MoveLyrics(kLyricStepMs); });
    connect(mniLyricsLater, &QAction::triggered, this, [this] { MoveLyrics(-kLyricStepMs); });
    lblCurMusic->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lblCurMusic, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmLyrics->popup(lblCurMusic->mapToGlobal(at)); });
    if (Loaded_.AutoLyrics)
        Playback_->OnLyricsMissing = [this](const std::string& title) {
            if (LyricServer_)
                LyricServer_->Post(title, lyrics::lrSearchAndSave);
        };
}

void Tfrm_Main::pmLyricsPopup() {
    const bool lines = Lyrics_ && !Lyrics_->Lines().empty();
    mniLyricsEarlier->setEnabled(lines);
    mniLyricsLater->setEnabled(lines);
}

void Tfrm_Main::MoveLyrics(std::int32_t earlierMs) {
    std::string error;
    if (!Lyrics_ || Lyrics_->MoveLines(earlierMs, &error) || error.empty())
        return;
    Dialogs_->ShowError("歌词文件未能保存：" + error, "错误");
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
