// The main window's download tab: lvDownload shows the rows of the download
// list, its pop-up menu deletes them, tmrStatus refreshes their texts, and a
// search row starts a download. The decisions are TDownloadList's; the
// engine's changes reach this file on the UI thread through the dispatcher.

#include "app/untFrmMain.h"
#include "app/untWindowTools.h"
#include "controls/untOwnerDraw.h"
#include "download/untDownloadList.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace zv2::app {

namespace {

constexpr int kKeyRole = Qt::UserRole; // lvDownload column 0: the download key

} // namespace

void Tfrm_Main::SetupDownload() {
    download::TDownloadList::TOptions options;
    options.SavePath = SavePath;
    options.ProgramFolder = Env_.ProgramFolder;
    options.MaxTasks = MaxTasks;
    options.ThreadsPeerTask = ThreadsPeerTask;
    options.Timing = Loaded_.FullSpeed ? download::TEngineTiming::FullSpeed(Env_.DownloadTiming) : Env_.DownloadTiming;
    Downloads_ = std::make_unique<download::TDownloadList>(*Env_.Dispatcher, options);
    Downloads_->OnRowsChanged = [this] { ShowDownloadRows(); };
    Downloads_->OnSongDone = [this](const std::string& path) {
        PlayList_.Append(path);
        ShowPlayListRows();
        SaveSettings(); // at once: a crash from here on keeps the song in the list
    };

    pmTaskMgr = new QMenu(lvDownload);
    pmTaskMgr->setObjectName("pmTaskMgr");
    mniDelTask = AddMenuItem(pmTaskMgr, "mniDelTask", "删除任务[&D]");
    mniDelAll = AddMenuItem(pmTaskMgr, "mniDelAll", "删除所有[&R]");
    mniClrError = AddMenuItem(pmTaskMgr, "mniClrError", "清除错误[&C]");
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
    tmrStatus->start();

    connect(mniDownLoad, &QAction::triggered, this, [this] {
        const auto selected = lvMusicLst->selectedItems();
        if (!selected.isEmpty())
            DownloadSearchRow(lvMusicLst->indexOfTopLevelItem(selected.front()));
    });
    connect(lvMusicLst, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* row) { DownloadSearchRow(lvMusicLst->indexOfTopLevelItem(row)); });
}

void Tfrm_Main::StopDownloads() {
    if (tmrStatus)
        tmrStatus->stop();
    Downloads_.reset(); // aborts every probe and segment; the threads end at once
}

void Tfrm_Main::DownloadSearchRow(int index) {
    QTreeWidgetItem* row = lvMusicLst->topLevelItem(index);
    if (!row)
        return;
    if (!Downloads_->StartFromSearchRow(row->data(ColIndex, kSearchImageRole).toInt(), row->text(ColName).toStdString(),
                                        row->text(ColLink).toStdString())) {
        Dialogs_->ShowInfo(download::kAlreadyQueuedText, download::kAlreadyQueuedCaption);
        return;
    }
    controls::SetRowImage(*row, 1);
}

void Tfrm_Main::ShowDownloadRows() {
    const auto& rows = Downloads_->Rows();
    // Items are matched to rows by key, so the selection stays with its download.
    for (int i = lvDownload->topLevelItemCount() - 1; i >= 0; --i) {
        const auto key = lvDownload->topLevelItem(i)->data(0, kKeyRole).toUInt();
        if (std::none_of(rows.begin(), rows.end(), [key](const auto& row) { return row.Key == key; }))
            delete lvDownload->takeTopLevelItem(i);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        const int index = static_cast<int>(i);
        QTreeWidgetItem* item = lvDownload->topLevelItem(index);
        if (!item || item->data(0, kKeyRole).toUInt() != row.Key) {
            item = new QTreeWidgetItem;
            item->setData(0, kKeyRole, row.Key);
            lvDownload->insertTopLevelItem(index, item);
        }
        controls::SetRowImage(*item, row.Image);
        const QString texts[] = {QString::fromStdString(row.FileName), QString::fromStdString(row.Progress),
                                 QString::fromStdString(row.SizeText), QString::fromStdString(row.Speed),
                                 QString::fromStdString(row.Elapsed)};
        for (int column = 1; column <= 5; ++column)
            if (item->text(column) != texts[column - 1])
                item->setText(column, texts[column - 1]);
    }
}

void Tfrm_Main::pmTaskMgrPopup() {
    mniDelTask->setEnabled(!lvDownload->selectedItems().isEmpty());
    const bool any = lvDownload->topLevelItemCount() > 0;
    mniDelAll->setEnabled(any);
    mniClrError->setEnabled(any);
}

void Tfrm_Main::mniDelTaskClick() {
    if (!Dialogs_->AskYesNo("确定删除该项目？", "删除确认"))
        return;
    const QList<QTreeWidgetItem*> selected = lvDownload->selectedItems();
    if (!selected.isEmpty())
        Downloads_->DeleteTask(selected.first()->data(0, kKeyRole).toUInt());
}

void Tfrm_Main::mniDelAllClick() {
    if (Dialogs_->AskYesNo("确定删除所有项目？", "删除确认"))
        Downloads_->DeleteAll();
}

void Tfrm_Main::mniClrErrorClick() {
    Downloads_->ClearErrors();
}

} // namespace zv2::app
