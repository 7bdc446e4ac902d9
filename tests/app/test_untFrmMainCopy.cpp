#include "app/untFrmMain.h"

#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "controls/untImageLists.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <filesystem>
#include <fstream>

using namespace zv2;
using test::ReadFile;

namespace {

// The volumes the window sees: whatever the test puts in the list.
class TFakeVolumes final : public platform::IVolumeSource {
public:
    explicit TFakeVolumes(std::vector<platform::TVolume>& list) : List_(list) {}
    std::vector<platform::TVolume> RemovableVolumes() override { return List_; }

private:
    std::vector<platform::TVolume>& List_;
};

struct THome {
    THome() {
        std::ofstream(Home.File("Download.ini"))
            << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=1\nMusic0="
            << Home.File("a.mp3") << "\n";
        std::ofstream(Home.File("a.mp3")) << "song";
    }
    test::TTempDir Home;
    std::vector<platform::TVolume> Volumes;
};

struct TWindow : THome, test::TTestWindow {
    TWindow()
        : TTestWindow(Home.Path() + "/", test::FreePortLink(), {}, "127.0.0.1:9",
                      std::make_unique<TFakeVolumes>(Volumes)) {}

    QList<QAction*> CopyItems() const {
        emit Form->pmPlayList->aboutToShow();
        return Form->mniCopyTo->menu()->actions();
    }
};

} // namespace

TEST(CopyWindow, TheCopyItemsListTheVolumesWhenTheMenuOpensAndCopyTheSelectedSong) {
    TWindow w;
    auto& f = *w.Form;
    EXPECT_TRUE(w.CopyItems().isEmpty());

    // A mount point with brackets of its own still reaches its volume.
    std::filesystem::create_directory(w.Home.File("usb"));
    std::filesystem::create_directory(w.Home.File("disk [2]"));
    w.Volumes = {{w.Home.File("usb"), "MUSIC", 2000000000}, {w.Home.File("disk [2]"), "", 512000000}};
    const QList<QAction*> items = w.CopyItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().toStdString(), "MUSIC(1.86 G) [" + w.Home.File("usb") + "]");
    EXPECT_EQ(items[1]->text().toStdString(), "可移动磁盘(488 M) [" + w.Home.File("disk [2]") + "] ");
    const QImage disk = controls::ImageListPixmap("imglstMenu", 13).toImage();
    for (const QAction* item : items)
        EXPECT_EQ(item->icon().pixmap(disk.size()).toImage().convertToFormat(disk.format()), disk);

    items[1]->trigger(); // no row selected: nothing happens
    EXPECT_FALSE(std::filesystem::exists(w.Home.File("disk [2]/a.mp3")));
    test::SelectRow(f.lvPlayList, 0);
    items[1]->trigger();
    EXPECT_EQ(ReadFile(w.Home.File("disk [2]/a.mp3")), "song");
    EXPECT_FALSE(std::filesystem::exists(w.Home.File("usb/a.mp3")));
    EXPECT_TRUE(w.Dialogs->Shown.empty());

    // The next opening shows the volumes as they are then.
    w.Volumes.erase(w.Volumes.begin());
    const QList<QAction*> after = w.CopyItems();
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(after[0]->data().toString().toStdString(), w.Home.File("disk [2]"));
}

TEST(CopyWindow, TheFolderButtonsSetTheirBoxesAndCancelLeavesThem) {
    TWindow w;
    auto& f = *w.Form;
    const std::string savePath = f.SavePath;
    const QString lrcBefore = f.edtLRCPath->text();
    std::filesystem::create_directory(w.Home.File("songs"));
    w.Dialogs->Folders = {w.Home.File("songs"), std::nullopt, w.Home.File("lyrics"), std::nullopt};

    f.btnSelectSavePath->click();
    EXPECT_EQ(f.edtSavePath->text().toStdString(), w.Home.File("songs"));
    f.btnSelectSavePath->click();
    EXPECT_EQ(f.edtSavePath->text().toStdString(), w.Home.File("songs"));
    EXPECT_EQ(f.SavePath, savePath); // takes effect at the next start
    f.btnSelectLRCPath->click();
    EXPECT_EQ(f.edtLRCPath->text().toStdString(), w.Home.File("lyrics"));
    f.btnSelectLRCPath->click();
    EXPECT_EQ(f.edtLRCPath->text().toStdString(), w.Home.File("lyrics"));
    EXPECT_NE(f.edtLRCPath->text(), lrcBefore);

    ASSERT_EQ(w.Dialogs->Shown.size(), 4u);
    for (const auto& shown : w.Dialogs->Shown) {
        EXPECT_EQ(shown.Kind, "folder");
        EXPECT_EQ(shown.Caption, "选择保存位置");
    }
    EXPECT_EQ(w.Dialogs->Shown[1].Text, "|" + w.Home.File("songs")); // the box's folder preselected
}
