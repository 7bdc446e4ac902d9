// The main window's playlist tab: the list's pop-up menu, its key and mouse
// handlers, and files dropped on the window. The decisions are TPlayList's;
// its model (untPlayListView.h) shows each change as it happens.

#include "app/untFrmMain.h"
#include "app/untPlayListView.h"
#include "app/untWindowTools.h"
#include "platform/FileSystem.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>
#include <QUrl>

namespace zv2::app {

namespace {

// Passes the list's key presses and the double clicks in its viewport on,
// leaving the events to the list as well.
class TPlayListEvents final : public QObject {
public:
    TPlayListEvents(QTreeView* list, std::function<void(int key)> onKey, std::function<void()> onDoubleClick)
        : QObject(list), List_(list), Viewport_(list->viewport()), OnKey_(std::move(onKey)),
          OnDoubleClick_(std::move(onDoubleClick)) {
        list->installEventFilter(this);
        Viewport_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Compares pointers only: while the list is being destroyed it still
        // sends events here, and calls on it would reach a half-destroyed object.
        if (event->type() == QEvent::KeyPress && watched == List_)
            OnKey_(static_cast<QKeyEvent*>(event)->key());
        else if (event->type() == QEvent::MouseButtonDblClick && watched == Viewport_ &&
                 static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            OnDoubleClick_();
        return false;
    }

private:
    QTreeView* List_;
    QWidget* Viewport_;
    std::function<void(int key)> OnKey_;
    std::function<void()> OnDoubleClick_;
};

QAction* AddSubMenu(QMenu* menu, const char* name, const char* caption) {
    auto* sub = new QMenu(QString::fromUtf8(caption), menu);
    auto* action = menu->addMenu(sub);
    action->setObjectName(name);
    return action;
}

} // namespace

void Tfrm_Main::SetupPlayList() {
    pmPlayList = new QMenu(lvPlayList);
    pmPlayList->setObjectName("pmPlayList");
    // The captions carry their accelerators as "[&X]": Qt takes "&X" as the
    // item's mnemonic, so no letter is assigned automatically.
    mniPlay = AddMenuItem(pmPlayList, "mniPlay", "播放音乐[&P]");
    pmPlayList->setDefaultAction(mniPlay);
    mniPlayMode = AddSubMenu(pmPlayList, "mniPlayMode", "播放模式[&M]");
    QMenu* modes = mniPlayMode->menu();
    auto* modeGroup = new QActionGroup(modes);
    mniLoopAll = AddMenuItem(modes, "mniLoopAll", "全部循环[&A]");
    mniSingleLoop = AddMenuItem(modes, "mniSingleLoop", "单曲循环[&S]");
    for (QAction* mode : {mniLoopAll, mniSingleLoop}) {
        mode->setCheckable(true);
        modeGroup->addAction(mode);
    }
    mniLoopAll->setChecked(true);
    pmPlayList->addSeparator();
    mniMoveUp = AddMenuItem(pmPlayList, "mniMoveUp", "向上移动[&U]");
    mniMoveDown = AddMenuItem(pmPlayList, "mniMoveDown", "向下移动[&F]");
    pmPlayList->addSeparator();
    mniRename = AddMenuItem(pmPlayList, "mniRename", "重命名...[&R]");
    mniCopyTo = AddSubMenu(pmPlayList, "mniCopyTo", "复制到...[&C]");
    pmPlayList->addSeparator();
    mniDelete = AddMenuItem(pmPlayList, "mniDelete", "移除音乐[&D]");
    mniRemove = AddMenuItem(pmPlayList, "mniRemove", "物理删除[&K]");
    mniAdd = AddMenuItem(pmPlayList, "mniAdd", "添加音乐[&A]");
    mniSelectAll = AddMenuItem(pmPlayList, "mniSelectAll", "全部选中[&S]");

    // Each command works on the list's selection, which follows the view's.
    const auto run = [this](QAction* item, auto command) {
        connect(item, &QAction::triggered, this, [command] { command(); });
    };
    connect(mniPlay, &QAction::triggered, this, [this] {
        if (const int row = PlayList_.SelectedRow(); row >= 0 && OnPlayRequest)
            OnPlayRequest(row, false);
    });
    connect(mniLoopAll, &QAction::triggered, this, [this] { Playback_->LoopMode = 0; });
    connect(mniSingleLoop, &QAction::triggered, this, [this] { Playback_->LoopMode = 1; });
    run(mniMoveUp, [this] { return PlayList_.MoveUp(); });
    run(mniMoveDown, [this] { return PlayList_.MoveDown(); });
    run(mniRename, [this] { return RenameSelectedByDialog(PlayList_, *Dialogs_, PlayListFiles_); });
    run(mniDelete, [this] { return PlayList_.RemoveSelected(); });
    run(mniRemove, [this] { return DeleteSelectedFromDisk(PlayList_, *Dialogs_, PlayListFiles_); });
    run(mniAdd, [this] { return AddFilesByDialog(PlayList_, *Dialogs_) > 0; });
    run(mniSelectAll, [this] { PlayList_.SelectAll(); });
    connect(pmPlayList, &QMenu::aboutToShow, this, [this] { pmPlayListPopup(); });

    lvPlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvPlayList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmPlayList->popup(lvPlayList->viewport()->mapToGlobal(at)); });
    // What the desktop's media interface shows follows the rows.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(PlayListRows_.get(), signal, this, [this] { PlayerChanged(); });
    connect(PlayListRows_.get(), &QAbstractItemModel::dataChanged, this, [this] { PlayerChanged(); });
    new TPlayListEvents(
        lvPlayList, [this](int key) { lvPlayListKeyDown(key); }, [this] { lvPlayListDblClick(); });
}

void Tfrm_Main::pmPlayListPopup() {
    const auto state = PlayListMenuState(PlayList_.SelectedRow() >= 0, cbAllowDelete->isChecked(), Playback_->LoopMode);
    mniPlay->setEnabled(state.Play);
    mniMoveUp->setEnabled(state.MoveUp);
    mniMoveDown->setEnabled(state.MoveDown);
    mniRename->setEnabled(state.Rename);
    mniCopyTo->setEnabled(state.CopyTo);
    mniDelete->setEnabled(state.Delete);
    mniRemove->setEnabled(state.Remove);
    mniLoopAll->setChecked(state.LoopAllChecked);
    mniSingleLoop->setChecked(state.SingleLoopChecked);
    BuildCopyMenu();
}

void Tfrm_Main::lvPlayListDblClick() {
    if (const int row = PlayList_.SelectedRow(); row >= 0 && OnPlayRequest)
        OnPlayRequest(row, true);
}

void Tfrm_Main::lvPlayListKeyDown(int key) {
    // Letter keys and the space bar carry their character codes, as the initials do.
    const bool initialKey = key == Qt::Key_Space || (key >= Qt::Key_A && key <= Qt::Key_Z);
    const int found = initialKey ? PlayList_.JumpByInitial(static_cast<char>(key)) : -1;
    if (found < 0)
        return;
    // The key goes on to the list, which selects its current row on the space
    // bar and moves from it on the arrows: make the found row the current one,
    // without scrolling to it.
    const bool autoScroll = lvPlayList->hasAutoScroll();
    lvPlayList->setAutoScroll(false);
    lvPlayList->selectionModel()->setCurrentIndex(lvPlayList->model()->index(found, 0), QItemSelectionModel::NoUpdate);
    lvPlayList->setAutoScroll(autoScroll);
}

void Tfrm_Main::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

bool Tfrm_Main::OpenFiles(const std::vector<std::string>& paths) {
    const auto first = static_cast<int>(PlayList_.Count());
    if (AddDroppedFiles(
            PlayList_, paths, [](const std::string& path) { return platform::DirectoryExists(path); }, *Dialogs_) == 0)
        return false;
    Playback_->PlayEntry(first);
    return true;
}

void Tfrm_Main::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    AddDroppedFiles(
        PlayList_, paths, [](const std::string& path) { return platform::DirectoryExists(path); }, *Dialogs_);
    event->acceptProposedAction();
}

} // namespace zv2::app
