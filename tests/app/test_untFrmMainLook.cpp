#include "app/untFrmMain.h"

#include "QtTestApp.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "app/untPlayListView.h"
#include "controls/untMenuStyle.h"
#include "controls/untOwnerDraw.h"
#include "controls/untSkinHintWin.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>
#include <fstream>

using namespace zv2;

namespace {

// A window whose playlist holds three files.
struct TWindow : test::TTestWindow {
    explicit TWindow(const test::TTempDir& home) : TTestWindow(WithPlayList(home)) {}
    static std::string WithPlayList(const test::TTempDir& home) {
        std::ofstream ini(home.File("Download.ini"));
        ini << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=3\n";
        for (int i = 0; i < 3; ++i) {
            const std::string name = home.File(std::to_string(i) + ".mp3");
            std::ofstream(name) << "x";
            ini << "Music" << i << "=" << name << "\n";
        }
        return home.Path() + "/";
    }
};

bool Shows(const QImage& image, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (QColor(image.pixel(x, y)) == colour)
                return true;
    return false;
}

} // namespace

TEST(WindowLook, ListsMenusAndHintsAreTheWindowsOwn) {
    test::TTempDir home;
    TWindow w(home);
    auto& f = *w.Form;
    EXPECT_NE(dynamic_cast<controls::TMenuStyle*>(QApplication::style()), nullptr);
    ASSERT_NE(f.HintWindow(), nullptr);
    for (QTreeWidget* view : {f.lvPlayList, f.lvDownload, f.lvMusicLst, f.lvMusicList})
        EXPECT_NE(dynamic_cast<controls::TListRowDelegate*>(view->itemDelegate()), nullptr)
            << view->objectName().toStdString();
    EXPECT_NE(dynamic_cast<controls::TChartListDelegate*>(f.lbTopNList->itemDelegate()), nullptr);
    EXPECT_EQ(f.lvMusicLst->headerItem()->textAlignment(app::Tfrm_Main::ColArtist), Qt::AlignCenter);

    for (QAction* item : {f.mniPlay, f.mniMoveUp, f.mniMoveDown, f.mniCopyTo, f.mniDelete, f.mniRemove, f.mniAdd,
                          f.mniSelectAll, f.mniDownLoad, f.mniDelTask, f.mniSearchSong, f.mniPlayCtrl, f.mniExit})
        EXPECT_FALSE(item->icon().isNull()) << item->objectName().toStdString();
    for (QAction* item : {f.mniPlayMode, f.mniRename, f.mniShowForm})
        EXPECT_TRUE(item->icon().isNull()) << item->objectName().toStdString();
}

TEST(WindowLook, ThePlayingSongsRowIsGreenAndTheOthersNearBlack) {
    test::TTempDir home;
    TWindow w(home);
    auto& f = *w.Form;
    f.lvPlayList->topLevelItem(1)->setData(0, controls::kRowImageRole, 1);
    f.pgcMain->setCurrentWidget(f.tsPlayList);
    f.show();
    QApplication::processEvents();
    const QImage image = f.lvPlayList->viewport()->grab().toImage();
    const QColor green(0, 128, 0), nearBlack(17, 17, 17);
    for (int row = 0; row < 3; ++row) {
        const QRect path = f.lvPlayList->visualRect(f.lvPlayList->model()->index(row, 2));
        EXPECT_EQ(Shows(image, path, green), row == 1) << row;
        EXPECT_EQ(Shows(image, path, nearBlack), row != 1) << row;
    }
}

TEST(WindowLook, ARowsTextTakesItsNewColourWhenItsStatusChanges) {
    test::TTempDir home;
    TWindow w(home);
    auto& f = *w.Form;
    f.pgcMain->setCurrentWidget(f.tsPlayList);
    f.show();
    QApplication::processEvents();
    app::TPlayList& list = f.PlayList();
    list.SetStatus(0, app::psPlaying);
    app::ShowPlayList(*f.lvPlayList, list);
    QApplication::processEvents();
    list.SetStatus(0, app::psNormal);
    list.SetStatus(1, app::psPlaying);
    app::ShowPlayList(*f.lvPlayList, list);
    QApplication::processEvents();
    // What the screen shows now, not a fresh painting of the whole view.
    const QImage screen = f.screen()->grabWindow(f.winId()).toImage();
    const QPoint origin = f.lvPlayList->viewport()->mapTo(&f, QPoint(0, 0));
    const QColor green(0, 128, 0);
    for (int row = 0; row < 2; ++row) {
        const QRect path = f.lvPlayList->visualRect(f.lvPlayList->model()->index(row, 2)).translated(origin);
        EXPECT_EQ(Shows(screen, path, green), row == 1) << row;
    }
}
