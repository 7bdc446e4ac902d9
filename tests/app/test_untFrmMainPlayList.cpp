#include "app/untFrmMain.h"

#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "audio/untAudioPlayer.h"
#include "platform/Dispatcher.h"
#include "platform/FileSystem.h"
#include "platform/RunOnce.h"

#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <cstdlib>
#include <fstream>

using namespace zv2;

namespace {

// A program folder whose playlist holds the given files (made on disk).
std::string WithPlayList(const test::TTempDir& home, const std::vector<std::string>& names) {
    std::ofstream ini(home.File("Download.ini"));
    ini << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=" << names.size() << "\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::ofstream(home.File(names[i])) << "x";
        ini << "Music" << i << "=" << home.File(names[i]) << "\n";
    }
    return home.Path() + "/";
}

struct THome {
    test::TTempDir Home;
};

// A window over such a folder (the folder is made first, so it is a base).
struct TWindow : THome, test::TTestWindow {
    explicit TWindow(const std::vector<std::string>& names) : TTestWindow(WithPlayList(Home, names)) {}

    QStringList Column(int column) const { return test::Column(Form->lvPlayList, column); }
    std::vector<int> SelectedItems() const { return test::SelectedRows(Form->lvPlayList); }
    void OpenMenu() const { emit Form->pmPlayList->aboutToShow(); }
};

QStringList Captions(const QMenu* menu) {
    QStringList out;
    for (const QAction* action : menu->actions())
        out << (action->isSeparator() ? QString("-") : action->text());
    return out;
}

TEST(PlayListWindow, TheMenuHasItsItemsInOrderWithTheirAccelerators) {
    TWindow w({});
    const auto& f = *w.Form;
    EXPECT_EQ(Captions(f.pmPlayList),
              QStringList({"播放音乐[&P]", "播放模式[&M]", "-", "向上移动[&U]", "向下移动[&F]", "-", "重命名...[&R]",
                           "复制到...[&C]", "-", "移除音乐[&D]", "物理删除[&K]", "添加音乐[&A]", "全部选中[&S]"}));
    EXPECT_EQ(Captions(f.mniPlayMode->menu()), QStringList({"全部循环[&A]", "单曲循环[&S]"}));
    EXPECT_NE(f.mniCopyTo->menu(), nullptr);
    EXPECT_EQ(f.pmPlayList->defaultAction(), f.mniPlay);
    EXPECT_TRUE(f.mniLoopAll->isChecked());
    EXPECT_FALSE(f.mniSingleLoop->isChecked());
}

TEST(PlayListWindow, TheMenuRulesRunWhenItOpens) {
    TWindow w({"a.mp3"});
    auto& f = *w.Form;
    w.OpenMenu();
    EXPECT_FALSE(f.mniRemove->isEnabled()); // "禁用物理删除功能" is checked at every start
    EXPECT_FALSE(f.mniPlay->isEnabled());

    test::SelectRow(f.lvPlayList, 0);
    f.cbAllowDelete->setChecked(false);
    f.mniSingleLoop->trigger();
    EXPECT_EQ(f.Playback()->LoopMode, 1);
    f.mniLoopAll->setChecked(true); // only the mode field decides what the menu shows
    w.OpenMenu();
    EXPECT_TRUE(f.mniRemove->isEnabled());
    EXPECT_TRUE(f.mniCopyTo->isEnabled());
    EXPECT_TRUE(f.mniSingleLoop->isChecked());
}

TEST(PlayListWindow, TheListShowsTheRowsAndTheSelectionGoesBothWays) {
    TWindow w({"a.mp3", "b.mp3", "c.mp3"});
    auto& f = *w.Form;
    EXPECT_EQ(w.Column(1), QStringList({"1", "2", "3"}));
    EXPECT_EQ(w.Column(2).at(1).toStdString(), w.Home.File("b.mp3"));
    EXPECT_EQ(test::HeaderAlignment(f.lvPlayList, 1), int(Qt::AlignCenter));

    const auto status = [&](int row) { return test::RowImage(f.lvPlayList, row); };
    EXPECT_EQ(status(0), app::psNormal);

    f.PlayList().SetStatus(1, app::psPlaying);
    test::SelectRow(f.lvPlayList, 1);
    EXPECT_EQ(f.PlayList().SelectedRow(), 1);
    f.mniMoveDown->trigger(); // the status image moves with the song
    EXPECT_EQ(w.Column(2).at(2).toStdString(), w.Home.File("b.mp3"));
    EXPECT_EQ(status(2), app::psPlaying);
    EXPECT_EQ(status(1), app::psNormal);
    EXPECT_EQ(w.Column(1), QStringList({"1", "2", "3"}));
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({2}));

    f.mniSelectAll->trigger();
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({0, 1, 2}));
    f.mniDelete->trigger();
    EXPECT_EQ(test::RowCount(f.lvPlayList), 0);
    EXPECT_TRUE(platform::FileExists(w.Home.File("a.mp3"))); // removed from the list only
}

TEST(PlayListWindow, KeysJumpByInitialAndPlayRequestsCarryTheSelectedRow) {
    TWindow w({"中文歌曲.mp3", "Hello.mp3"});
    auto& f = *w.Form;
    f.show();
    std::vector<std::pair<int, bool>> requests;
    f.OnPlayRequest = [&](int row, bool playNextOnFailure) { requests.emplace_back(row, playNextOnFailure); };

    QTest::keyClick(f.lvPlayList, Qt::Key_H);
    EXPECT_TRUE(w.SelectedItems().empty());
    QTest::keyClick(f.lvPlayList, Qt::Key_Z);
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({0}));
    f.mniPlay->trigger();

    // The list's own handling of the key must not undo a jump.
    const QRect first = f.lvPlayList->visualRect(f.lvPlayList->model()->index(0, 2));
    QTest::mouseClick(f.lvPlayList->viewport(), Qt::LeftButton, {}, first.center());
    QTest::keyClick(f.lvPlayList, Qt::Key_Space);
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({1}));
    EXPECT_EQ(f.PlayList().SelectedRow(), 1);
    QTest::keyClick(f.lvPlayList, Qt::Key_Up);
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({0}));

    const QRect second = f.lvPlayList->visualRect(f.lvPlayList->model()->index(1, 2));
    // A double click is a click followed by the double-click event.
    QTest::mouseClick(f.lvPlayList->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(f.lvPlayList->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(f.PlayList().SelectedRow(), 1);
    EXPECT_EQ(requests, (std::vector<std::pair<int, bool>>{{0, false}, {1, true}}));
}

TEST(PlayListWindow, AJumpDoesNotScrollTheList) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i)
        names.push_back("Hello" + std::to_string(i) + ".mp3");
    names.push_back("中文.mp3");
    TWindow w(names);
    auto& f = *w.Form;
    f.show();
    ASSERT_GT(f.lvPlayList->verticalScrollBar()->maximum(), 0);
    QTest::keyClick(f.lvPlayList, Qt::Key_Z);
    EXPECT_EQ(w.SelectedItems(), std::vector<int>({40}));
    EXPECT_EQ(f.lvPlayList->verticalScrollBar()->value(), 0);
}

TEST(PlayListWindow, DroppedMusicFilesAreAppended) {
    TWindow w({"a.mp3"});
    auto& f = *w.Form;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/m/a.MP3"), QUrl::fromLocalFile("/m/b.txt"), QUrl::fromLocalFile("/m/c.Wma"),
                  QUrl::fromLocalFile(QString::fromStdString(w.Home.Path()))});
    // The application passes on only drops that its own drag manager started,
    // so the events go to the window directly.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(f).event(&enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(f).event(&drop);
    EXPECT_EQ(w.Column(2).mid(1), QStringList({"/m/a.MP3", "/m/c.Wma"}));
    EXPECT_EQ(w.Column(1), QStringList({"1", "2", "3"}));
}

// The program's own binding (main.cpp): the files of a later start reach the
// window through the dispatcher.
TEST(PlayListWindow, FilesOfALaterStartAreAppendedTheFirstPlaysAndTheWindowShows) {
    TWindow w({"a.mp3"});
    auto& f = *w.Form;
    const std::string song = w.Home.File("b c.mp3");
    ASSERT_EQ(
        std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=d=2 -c:a libmp3lame '" + song + "'").c_str()),
        0);
    platform::TRunOnce first(w.Home.Path());
    ASSERT_FALSE(first.CheckFirstInstance());
    first.Listen([&](std::vector<std::string> files) {
        w.Ui.Post([&f, files = std::move(files)] {
            f.OpenFiles(files);
            f.BringToFront();
        });
    });
    EXPECT_FALSE(f.isVisible());

    ASSERT_TRUE(platform::TRunOnce(w.Home.Path()).CheckFirstInstance({w.Home.File("notes.txt"), song}));
    // The hand-over is the first call; the song it starts may queue more (its lyric look-up).
    EXPECT_GE(w.Ui.WaitAndRun(5000), 1);
    EXPECT_EQ(w.Column(2), QStringList({QString::fromStdString(w.Home.File("a.mp3")), QString::fromStdString(song)}));
    EXPECT_EQ(f.PlayList().Row(1).Status, app::psPlaying);
    EXPECT_EQ(f.Player()->State(), audio::TAudioPlayer::Playing);
    EXPECT_TRUE(f.isVisible());
}

TEST(PlayListWindow, DeleteFromDiskAsksFirstThenDeletesFileAndRow) {
    TWindow w({"a.mp3", "b.mp3"});
    auto& f = *w.Form;
    test::SelectRow(f.lvPlayList, 0);
    w.Dialogs->Answers = {true};
    f.mniRemove->trigger();
    EXPECT_FALSE(platform::FileExists(w.Home.File("a.mp3")));
    ASSERT_EQ(w.Column(2).size(), 1);
    EXPECT_EQ(w.Column(2).at(0).toStdString(), w.Home.File("b.mp3"));
    EXPECT_EQ(w.Column(1), QStringList({"1"}));
    EXPECT_EQ(w.Dialogs->Shown.at(0).Caption, "确认删除");
}

} // namespace
