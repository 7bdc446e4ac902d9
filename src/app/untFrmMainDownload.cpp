// The main window's download tab: lvDownload shows the rows of the download
// list (through TDownloadModel, one row per change), its pop-up menu
// continues an unfinished one ("继续下载", as a double click does) and
// deletes them, tmrStatus refreshes their texts, and a search row starts a
// download.
// The decisions are TDownloadList's; the engine's changes reach this file on
// the UI thread through the dispatcher.

#include "app/untFrmMain.h"
#include "app/untWindowTools.h"
#include "download/untDownloadList.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

namespace zv2::app {

// After the window is shown: the engine's threads and the look at the
// download folder for unfinished downloads are not needed for the first paint.
void Tfrm_Main::StartDownloads() {
    download::TDownloadList::TOptions options;
    options.SavePath = SavePath;
    options.ProgramFolder = Env_.ProgramFolder;
    options.MaxTasks = MaxTasks;
    options.ThreadsPeerTask = ThreadsPeerTask;
    options.Timing = Loaded_.FullSpeed ? download::TEngineTiming::FullSpeed(Env_.DownloadTiming) : Env_.DownloadTiming;
    Downloads_ = std::make_unique<download::TDownloadList>(*Env_.Dispatcher, options);
    Downloads_->OnRowsChanged = [this] { DownloadRows_->Update(Downloads_->Rows()); };
    DownloadRows_->Update(Downloads_->Rows()); // the unfinished downloads of an earlier run
    Downloads_->OnSongDone = [this](const std::string& path) {
        PlayList_.Append(path);
        SaveSettings(); // at once: a crash from here on keeps the song in the list
    };
    tmrStatus->start();
}

void Tfrm_Main::SetupDownload() {
    pmTaskMgr = new QMenu(lvDownload);
    pmTaskMgr->setObjectName("pmTaskMgr");
    mniContinueTask = AddMenuItem(pmTaskMgr, "mniContinueTask", "继续下载");
    mniDelTask = AddMenuItem(pmTaskMgr, "mniDelTask", "删除任务[&D]");
    mniDelAll = AddMenuItem(pmTaskMgr, "mniDelAll", "删除所有[&R]");
    mniClrError = AddMenuItem(pmTaskMgr, "mniClrError", "清除错误[&C]");
    connect(mniContinueTask, &QAction::triggered, this, [this] { mniContinueTaskClick(); });
    connect(lvDownload, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { Downloads_->ContinueTask(DownloadRows_->Key(index.row())); });
    connect(mniDelTask, &QAction::triggered, this, [this] { mniDelTaskClick(); });
    connect(mniDelAll, &QAction::triggered, this, [this] { mniDelAllClick(); });
    connect(mniClrError, &QAction::triggered, this, [this] { mniClrErrorClick(); });
    connect(pmTaskMgr, &QMenu::aboutToShow, this, [this] { pmTaskMgrPopup(); });
    lvDownload->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDownload->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvDownload, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmTaskMgr->popup(lvDownload->viewport()->mapToGlobal(at)); });

    tmrStatus = new QTimer(this);
    tmrStatus->setObjectName("tmrStatus");
    tmrStatus->setInterval(1000);
    connect(tmrStatus, &QTimer::timeout, this, [this] { Downloads_->RefreshStatus(); });

    connect(mniDownLoad, &QAction::triggered, this, [this] {
        if (const int row = FirstSelectedRow(*lvMusicLst); row >= 0)
            DownloadSearchRow(row);
    });
    connect(lvMusicLst, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { DownloadSearchRow(index.row()); });
}

void Tfrm_Main::StopDownloads() {
    if (tmrStatus)
        tmrStatus->stop();
    Downloads_.reset(); // aborts every probe and segment; the threads end at once
}

void Tfrm_Main::DownloadSearchRow(int row) {
    if (row < 0 || row >= SearchRows_->rowCount())
        return;
    const catalogue::TSearchRow& song = SearchRows_->Row(row);
    if (!Downloads_->StartFromSearchRow(SearchRows_->Image(row), song.SongName, song.SongLink)) {
        Dialogs_->ShowInfo(download::kAlreadyQueuedText, download::kAlreadyQueuedCaption);
        return;
    }
    SearchRows_->SetImage(row, 1);
}

void Tfrm_Main::pmTaskMgrPopup() {
    const int selected = FirstSelectedRow(*lvDownload);
    mniContinueTask->setEnabled(selected >= 0 && DownloadRows_->Image(selected) == download::diPaused);
    mniDelTask->setEnabled(selected >= 0);
    const bool any = DownloadRows_->rowCount() > 0;
    mniDelAll->setEnabled(any);
    mniClrError->setEnabled(any);
}

void Tfrm_Main::mniContinueTaskClick() {
    if (const int row = FirstSelectedRow(*lvDownload); row >= 0)
        Downloads_->ContinueTask(DownloadRows_->Key(row));
}

void Tfrm_Main::mniDelTaskClick() {
    if (!Dialogs_->AskYesNo("确定删除该项目？", "删除确认"))
        return;
    if (const int row = FirstSelectedRow(*lvDownload); row >= 0)
        Downloads_->DeleteTask(DownloadRows_->Key(row));
}

void Tfrm_Main::mniDelAllClick() {
    if (Dialogs_->AskYesNo("确定删除所有项目？", "删除确认"))
        Downloads_->DeleteAll();
}

void Tfrm_Main::mniClrErrorClick() {
    Downloads_->ClearErrors();
}

} // namespace zv2::app
