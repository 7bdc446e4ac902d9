#include "app/untFrmMain.h"

#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "controls/untMenuStyle.h"
#include "controls/untOwnerDraw.h"
#include "controls/untSkinHintWin.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
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
    for (QTreeView* view : {f.lvPlayList, f.lvDownload, f.lvMusicLst, f.lvMusicList})
        EXPECT_NE(dynamic_cast<controls::TListRowDelegate*>(view->itemDelegate()), nullptr)
            << view->objectName().toStdString();
    EXPECT_NE(dynamic_cast<controls::TChartListDelegate*>(f.lbTopNList->itemDelegate()), nullptr);
    EXPECT_EQ(test::HeaderAlignment(f.lvMusicLst, app::TSearchListModel::ColArtist), int(Qt::AlignCenter));

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
    f.PlayList().SetStatus(1, app::psPlaying);
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
    QApplication::processEvents();
    list.SetStatus(0, app::psNormal);
    list.SetStatus(1, app::psPlaying);
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

TEST(WindowLook, ASelectedRowOnTheScreenIsLightBlueAcrossTheRowWithItsTextInItsColour) {
    test::TTempDir home;
    TWindow w(home);
    auto& f = *w.Form;
    f.pgcMain->setCurrentWidget(f.tsPlayList);
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // Selected by a click, as a user does: the list then also has the keyboard focus.
    const QRect second = f.lvPlayList->visualRect(f.lvPlayList->model()->index(1, 2));
    QTest::mouseClick(f.lvPlayList->viewport(), Qt::LeftButton, {}, second.center());
    ASSERT_TRUE(f.lvPlayList->hasFocus());
    ASSERT_EQ(test::SelectedRows(f.lvPlayList), std::vector<int>({1}));
    QApplication::processEvents();

    const QImage screen = f.screen()->grabWindow(f.winId()).toImage();
    if (const char* keep = std::getenv("ZV2_KEEP_GRAB"))
        screen.save(QString::fromLocal8Bit(keep));
    const QPoint origin = f.lvPlayList->viewport()->mapTo(&f, QPoint(0, 0));
    // Rows 0 and 2 keep the grey of even rows.
    const QColor selected(207, 224, 249), even(249, 248, 247), nearBlack(17, 17, 17);
    for (int row = 0; row < 3; ++row) {
        const QRect index = f.lvPlayList->visualRect(f.lvPlayList->model()->index(row, 1)).translated(origin);
        const QRect path = f.lvPlayList->visualRect(f.lvPlayList->model()->index(row, 2)).translated(origin);
        const int y = index.center().y();
        // At the left of the row, beside the number, and at the right end of the list.
        for (const int x : {origin.x() + 30, index.left() + 2, origin.x() + f.lvPlayList->viewport()->width() - 3})
            EXPECT_EQ(QColor(screen.pixel(x, y)).name().toStdString(),
                      (row == 1 ? selected : even).name().toStdString())
                << row << " at x " << x;
        EXPECT_TRUE(Shows(screen, path, nearBlack)) << row;
    }
}
