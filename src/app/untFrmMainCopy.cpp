// The main window's copy to removable disk (the sub-items of "复制到...[&C]")
// and the settings tab's folder buttons. What they do is untPublic's; this
// file builds the items and binds the buttons.

#include "app/untFrmMain.h"
#include "app/untPublic.h"
#include "app/untWindowTools.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace zv2::app {

namespace {

constexpr char kFolderTitle[] = "选择保存位置";

} // namespace

void Tfrm_Main::SetupCopy() {
    Volumes_ = Env_.Volumes ? std::move(Env_.Volumes) : std::make_unique<platform::TSystemVolumes>();
    connect(btnSelectSavePath, &QPushButton::clicked, this, [this] { btnSelectSavePathClick(); });
    connect(btnSelectLRCPath, &QPushButton::clicked, this, [this] { btnSelectLRCPathClick(); });
}

void Tfrm_Main::BuildCopyMenu() {
    QMenu* sub = mniCopyTo->menu();
    const QList<QAction*> old = sub->actions();
    for (auto it = old.crbegin(); it != old.crend(); ++it) {
        sub->removeAction(*it);
        (*it)->deleteLater(); // an item may be the one whose click is being handled
    }
    for (const platform::TVolume& volume : Volumes_->RemovableVolumes()) {
        // The mount point travels as the item's data, not inside its caption:
        // a mount point may hold "[" or "]" itself.
        QAction* item = sub->addAction(Q(CopyItemCaption(volume)));
        item->setData(Q(volume.MountPoint));
        SetMenuImage(item, kCopyItemImage);
        connect(item, &QAction::triggered, this, [this, item] { CopyToDrive(item); });
    }
}

void Tfrm_Main::CopyToDrive(QAction* item) {
    const int row = PlayList_.SelectedRow();
    if (!item || row < 0)
        return;
    CopyFileToVolume(PlayList_.Row(static_cast<std::size_t>(row)).Path, S(item->data().toString()), *Dialogs_,
                     [](bool busy) {
                         if (busy)
                             QApplication::setOverrideCursor(Qt::WaitCursor);
                         else
                             QApplication::restoreOverrideCursor();
                     });
}

void Tfrm_Main::SelectFolderInto(QLineEdit* edit) {
    std::string folder = S(edit->text());
    if (BrowseForFolder(*Dialogs_, kFolderTitle, std::string(), folder))
        edit->setText(Q(folder));
}

void Tfrm_Main::btnSelectSavePathClick() {
    SelectFolderInto(edtSavePath);
}

void Tfrm_Main::btnSelectLRCPathClick() {
    SelectFolderInto(edtLRCPath);
}

} // namespace zv2::app
