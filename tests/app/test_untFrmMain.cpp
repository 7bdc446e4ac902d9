#include "app/untFrmMain.h"

#include "audio/untAudioPlayer.h"
#include "controls/untImageButton.h"
#include "controls/untSkinSlider.h"

#include "../speaker/SpeakerPeer.h"
#include "FileSizeLimit.h"
#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "platform/Dispatcher.h"
#include "platform/IniFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace zv2;

namespace {

// Unless the test wrote its own settings: a loopback speaker and no automatic playback.
std::string WithDefaultSettings(const std::string& folder) {
    if (!std::ifstream(folder + "Download.ini").good())
        std::ofstream(folder + "Download.ini") << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n";
    return folder;
}

struct TWindow : test::TTestWindow {
    explicit TWindow(const std::string& folder) : TTestWindow(WithDefaultSettings(folder)) {}
};

QStringList Headers(QTreeView* view) {
    QStringList out;
    for (int i = 0; i < view->model()->columnCount(); ++i)
        out << test::HeaderCaption(view, i);
    return out;
}

template <class T> T* Find(QWidget* root, const char* name) {
    auto* w = root->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace

TEST(MainWindow, HasItsCaptionFixedClientSizeAndTitleBar) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    auto& f = *w.Form;
    EXPECT_EQ(f.windowTitle().toStdString(), "Vantor-ZV2无线播放软件");
    EXPECT_EQ(f.size(), QSize(548, 346));
    // The application icon, at all its sizes, for the window and the tray.
    EXPECT_EQ(f.windowIcon().availableSizes().size(), 7);
    EXPECT_EQ(f.windowIcon().cacheKey(), f.TrayIcon()->icon().cacheKey());
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.pnlPlayer->height(), 65);
    EXPECT_EQ(f.pnlPlayer->geometry().bottom(), 345);
}

TEST(MainWindow, ShowsTheFiveTabsInOrder) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    auto* tabs = Find<QTabWidget>(w.Form.get(), "pgcMain");
    ASSERT_EQ(tabs->count(), 5);
    const char* names[] = {"tsPlayList", "tsDownload", "tsSearch", "tsTopN", "tsSetting"};
    const char* captions[] = {"播放列表", "正在下载", "搜索列表", "Top N列表", "系统设置"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName().toStdString(), names[i]);
        EXPECT_EQ(tabs->tabText(i).toStdString(), captions[i]);
    }
}

TEST(MainWindow, ListsHaveTheirColumnsAndTheNamedControlsTheirCaptionsAndHints) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    QWidget* f = w.Form.get();
    EXPECT_EQ(Headers(Find<QTreeView>(f, "lvPlayList")), (QStringList{"状态", "索引", "文件名"}));
    EXPECT_EQ(Find<QTreeView>(f, "lvPlayList")->columnWidth(0), 40);
    EXPECT_EQ(Find<QTreeView>(f, "lvPlayList")->columnWidth(1), 50);
    // The last column is 420 wide, or stretched to the view's width so that rows fill it.
    EXPECT_GE(Find<QTreeView>(f, "lvPlayList")->columnWidth(2), 420);
    EXPECT_EQ(Headers(Find<QTreeView>(f, "lvDownload")),
              (QStringList{"状态", "文件名", "进度", "大小(字节)", "平均速度", "用时"}));
    EXPECT_EQ(Headers(Find<QTreeView>(f, "lvMusicLst")),
              (QStringList{"索引", "歌曲名", "歌手", "专辑", "格式", "速度", "大小", "下载地址"}));
    EXPECT_EQ(Headers(Find<QTreeView>(f, "lvMusicList")), (QStringList{"索引", "音乐/歌手", "歌手/出处"}));
    EXPECT_EQ(Find<QListWidget>(f, "lbTopNList")->toolTip().toStdString(), "百度Top N列表");

    struct TExpect {
        const char* Name;
        const char* Caption;
        const char* Hint;
    };
    const TExpect buttons[] = {{"btn_SearchDev", "搜索设备", "搜索在线设备"},
                               {"SpeedButton1", "连接设备", "连接选中设备"},
                               {"btnSelectSavePath", "...", "选择新的位置"},
                               {"btnSelectLRCPath", "...", "选择歌词保存位置"}};
    for (const auto& e : buttons) {
        auto* b = Find<QPushButton>(f, e.Name);
        EXPECT_EQ(b->text().toStdString(), e.Caption);
        EXPECT_EQ(b->toolTip().toStdString(), e.Hint);
    }
    const TExpect checks[] = {{"cbAutoCheck", "自动播放上次音乐", ""},
                              {"cbbExitConfirm", "退出时确认", "退出时是否弹出确认对话框"},
                              {"cbRemoveError", "自动移除出错的文件", ""},
                              {"cbAllowDelete", "禁用物理删除功能", "是否禁止物理删除文件功能"}};
    for (const auto& e : checks) {
        auto* c = Find<QCheckBox>(f, e.Name);
        EXPECT_EQ(c->text().toStdString(), e.Caption);
        EXPECT_EQ(c->toolTip().toStdString(), e.Hint);
    }
    EXPECT_TRUE(Find<QCheckBox>(f, "cbRemoveError")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(f, "cbAllowDelete")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(f, "rb_ZV2")->isChecked());
    EXPECT_EQ(Find<QRadioButton>(f, "rb_ZV2")->text().toStdString(), "ZV2播放");
    EXPECT_EQ(Find<QRadioButton>(f, "rb_PC")->text().toStdString(), "本地播放");
    EXPECT_EQ(Find<QLabel>(f, "lbl_TCPConnect")->text().toStdString(), "未连接");
    EXPECT_EQ(Find<QSpinBox>(f, "edtMaxTasks")->maximum(), 5);
    EXPECT_EQ(Find<QSpinBox>(f, "edtThreadsPeerTask")->maximum(), 3);
    EXPECT_EQ(Find<QSpinBox>(f, "edtMaxTasks")->toolTip().toStdString(), "下次启动时生效");
    EXPECT_TRUE(Find<QLineEdit>(f, "edtSavePath")->isReadOnly());
    EXPECT_EQ(Find<QLabel>(f, "lblPlayerStatus")->text().toStdString(), "停止播放");
    EXPECT_EQ(Find<QLabel>(f, "lblCurMusic")->text().toStdString(), "停止播放");
    EXPECT_EQ(Find<QLabel>(f, "lblCurMusic")->toolTip().toStdString(), "当前播放曲目");
    EXPECT_EQ(Find<QLabel>(f, "lblVolume")->text().toStdString(), "音量：");
    EXPECT_FALSE(Find<QGroupBox>(f, "rgbMusicFormat")->isVisibleTo(f));

    QStringList groups;
    for (auto* g : f->findChildren<QGroupBox*>())
        if (!g->title().isEmpty())
            groups << g->title();
    EXPECT_EQ(groups, (QStringList{"基本设置", "任务设置", "ZV2 WIFI音响设置"}));
}

TEST(MainWindow, LoadsTheSettingsIntoItsControls) {
    test::TTempDir home;
    {
        std::ofstream(home.File("song.mp3")) << "x";
        std::ofstream(home.File("Download.ini"))
            << "[ZV2Address]\nIP=127.0.0.2\n[MusicList]\nMusicCount=2\nMusic0=" << home.File("song.mp3")
            << "\nMusic1=" << home.File("gone.mp3") << "\n[SearchList]\nSearchCount=1\nSearchItem0=beyond\n"
            << "[General]\nQuitConfirm=1\n[Download]\nMaxTasks=261\nThreadsPeerTask=2\n";
    }
    TWindow w(home.Path() + "/");
    auto& f = *w.Form;
    EXPECT_EQ(f.edt_ReIP->currentText().toStdString(), "127.0.0.2");
    ASSERT_EQ(test::RowCount(f.lvPlayList), 1);
    EXPECT_EQ(test::Cell(f.lvPlayList, 0, 1).toStdString(), "1");
    EXPECT_EQ(test::Cell(f.lvPlayList, 0, 2).toStdString(), home.File("song.mp3"));
    ASSERT_EQ(f.cbbContent->count(), 2);
    EXPECT_EQ(f.cbbContent->itemText(1).toStdString(), app::kClearHistoryItem);
    EXPECT_TRUE(f.cbbExitConfirm->isChecked());
    EXPECT_EQ(f.edtMaxTasks->value(), 5);
    EXPECT_EQ(f.edtThreadsPeerTask->value(), 2);
    EXPECT_EQ(f.edtSavePath->text().toStdString(), home.Path() + "/Music");
}

TEST(MainWindow, AnsweringNoToTheQuitQuestionKeepsItRunningAndSavesNothing) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    w.Form->show();
    w.Form->cbbExitConfirm->setChecked(true);
    w.Dialogs->Answers = {false, true};
    EXPECT_FALSE(w.Form->close());
    EXPECT_TRUE(w.Form->isVisible());
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u);
    EXPECT_EQ(w.Dialogs->Shown[0].Text, "确认退出？");
    EXPECT_EQ(w.Dialogs->Shown[0].Caption, "确认");
    EXPECT_FALSE(platform::TIniFile(home.File("Download.ini")).Find("General", "QuitConfirm"));

    EXPECT_TRUE(w.Form->close());
    platform::TIniFile saved(home.File("Download.ini"));
    EXPECT_TRUE(saved.ReadBool("General", "QuitConfirm", false));
}

TEST(MainWindow, ACloseWithoutQueryAsksNothingAndSaves) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    w.Form->show();
    w.Form->cbbExitConfirm->setChecked(true);
    w.Form->CloseWithoutQuery();
    EXPECT_FALSE(w.Form->isVisible());
    EXPECT_TRUE(w.Dialogs->Shown.empty());
    EXPECT_TRUE(platform::TIniFile(home.File("Download.ini")).ReadBool("General", "QuitConfirm", false));
}

// The tabs off the screen get their controls once the window shows: a close
// before that (a signal at start) keeps what was read, the playlist included.
TEST(MainWindow, ACloseBeforeTheWindowShowedKeepsTheSettingsItRead) {
    test::TTempDir home;
    std::ofstream(home.File("a.mp3")) << "x";
    std::ofstream(home.File("Download.ini"))
        << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[General]\nQuitConfirm=1\n[Download]\nThreadsPeerTask="
           "2\n"
        << "[SearchList]\nSearchCount=1\nSearchItem0=jay\n[MusicList]\nMusicCount=1\nMusic0=" << home.File("a.mp3")
        << "\n";
    test::TTestWindow w(home.Path() + "/", test::TTestWindow::TBeforeShow{});
    w.Dialogs->Answers = {true};
    EXPECT_EQ(w.Form->cbbContent, nullptr);
    EXPECT_TRUE(w.Form->close());
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u); // the quit question, as the settings ask for it
    EXPECT_EQ(w.Dialogs->Shown[0].Text, "确认退出？");
    platform::TIniFile saved(home.File("Download.ini"));
    EXPECT_TRUE(saved.ReadBool("General", "QuitConfirm", false));
    EXPECT_EQ(saved.ReadInteger("Download", "ThreadsPeerTask", 0), 2);
    EXPECT_EQ(saved.ReadString("SearchList", "SearchItem0", ""), "jay");
    EXPECT_EQ(saved.ReadString("MusicList", "Music0", ""), home.File("a.mp3"));
    EXPECT_EQ(saved.ReadString("ZV2Address", "IP", ""), "127.0.0.2");
}

TEST(MainWindow, TheCloseWritesThePlaylistAsItIsAndKeepsWhatOthersWroteMeanwhile) {
    test::TTempDir home;
    std::ofstream(home.File("a.mp3")) << "x";
    std::ofstream(home.File("b.mp3")) << "x";
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\n"
                                                "MusicCount=1\nMusic0="
                                             << home.File("a.mp3") << "\n";
    {
        TWindow w(home.Path() + "/");
        w.Form->CloseWithoutQuery(); // the list as it was read
    }
    TWindow w(home.Path() + "/");
    {
        // Another program edits the file while the window runs (a larger file: seen as changed).
        std::ofstream(home.File("Download.ini"), std::ios::app) << "[Other]\nKey=kept\n";
    }
    ASSERT_TRUE(w.Form->PlayList().Append(home.File("b.mp3")));
    w.Form->CloseWithoutQuery();
    platform::TIniFile saved(home.File("Download.ini"));
    EXPECT_EQ(saved.ReadString("Other", "Key", ""), "kept");
    EXPECT_EQ(saved.ReadInteger("MusicList", "MusicCount", 0), 2);
    EXPECT_EQ(saved.ReadString("MusicList", "Music0", ""), home.File("a.mp3"));
    EXPECT_EQ(saved.ReadString("MusicList", "Music1", ""), home.File("b.mp3"));
}

TEST(MainWindow, ASaveThatFailsSaysSoAndKeepsTheOldFile) {
    test::TTempDir home;
    const std::string settings = "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n";
    std::ofstream(home.File("Download.ini")) << settings;
    TWindow w(home.Path() + "/");
    w.Form->show();
    {
        // No file of this process may grow past one byte: the save cannot be
        // written (permissions would not stop a test run as root).
        const test::TFileSizeLimit limit(1);
        EXPECT_TRUE(w.Form->close());
    }
    EXPECT_FALSE(w.Form->SaveError().empty());
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u);
    EXPECT_EQ(w.Dialogs->Shown[0].Kind, "error");
    EXPECT_NE(w.Dialogs->Shown[0].Text.find("设置未能保存"), std::string::npos);
    EXPECT_EQ(test::ReadFile(home.File("Download.ini")), settings);
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
        EXPECT_TRUE(entry.is_directory() || entry.path().filename() == "Download.ini") << entry.path();
}

TEST(MainWindow, ASettingsFileThatCannotBeReadIsNotWrittenOver) {
    test::TTempDir home;
    // A regular file whose first read fails (EIO): as a disk error would.
    std::filesystem::create_symlink("/proc/self/mem", home.File("Download.ini"));
    TWindow w(home.Path() + "/");
    w.Form->show();
    EXPECT_TRUE(w.Form->close());
    EXPECT_NE(w.Form->SaveError().find("Download.ini"), std::string::npos) << w.Form->SaveError();
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u);
    EXPECT_NE(w.Dialogs->Shown[0].Text.find("设置未能保存"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(home.File("Download.ini")));
}

TEST(MainWindow, AStartRemovesTheTemporaryFilesOfASaveThatACrashCutShort) {
    test::TTempDir home;
    std::ofstream(home.File("Download.ini.tmp31337")) << "[MusicList]\nMusicCount=100000\nMusic0=/m/a";
    TWindow w(home.Path() + "/");
    EXPECT_FALSE(std::filesystem::exists(home.File("Download.ini.tmp31337")));
}

TEST(MainWindow, PlayerPanelControlsSitAtTheirPlaces) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    auto& f = *w.Form;
    EXPECT_EQ(f.PrevButton->geometry(), QRect(21, 18, 29, 29));
    EXPECT_EQ(f.PlayButton->geometry(), QRect(49, 16, 34, 34));
    EXPECT_EQ(f.NextButton->geometry(), QRect(82, 18, 29, 29));
    EXPECT_EQ(f.VolumeSlider->geometry(), QRect(160, 20, 67, 25));
    EXPECT_EQ(f.PositionSlider->geometry(), QRect(240, 33, 281, 25));
    EXPECT_FALSE(f.BalanceSlider->isVisibleTo(&f));
    EXPECT_EQ(f.PlayButton->toolTip().toStdString(), "播放/暂停");
    EXPECT_EQ(f.SearchButton->parentWidget(), f.tsSearch);
    EXPECT_EQ(f.SearchButton->geometry(), QRect(458, 228, 80, 25));
    EXPECT_EQ(f.SearchButton->Caption().toStdString(), "开始搜索");
    EXPECT_EQ(f.PlayButton->Frames(), 4);
    EXPECT_EQ(f.VolumeSlider->Position(), 1500);
    EXPECT_EQ(f.tmrPlayer->interval(), 1000);
    EXPECT_FALSE(f.tmrPlayer->isActive());
}

TEST(MainWindow, VolumeHotKeysMoveTheSliderWithinItsRangeAndThePlayerFollows) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    auto& f = *w.Form;
    for (int i = 0; i < 20; ++i)
        f.HotKeyPressed(app::hkVolumeUp);
    EXPECT_EQ(f.VolumeSlider->Position(), 2500);
    EXPECT_EQ(f.Player()->CurrentVolume(), 2500);
    f.VolumeSlider->SetPosition(2980);
    f.HotKeyPressed(app::hkVolumeUp);
    EXPECT_EQ(f.VolumeSlider->Position(), 3000);
    EXPECT_EQ(f.Player()->CurrentVolume(), 3000);
    f.VolumeSlider->SetPosition(20);
    f.HotKeyPressed(app::hkVolumeDown);
    EXPECT_EQ(f.VolumeSlider->Position(), 0);
}

TEST(MainWindow, AStoredVolumeAboveTheScaleShowsAndPlaysAtTheEndAndIsSavedSo) {
    test::TTempDir home;
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\nVolume=5000\n";
    TWindow w(home.Path() + "/");
    EXPECT_EQ(w.Form->VolumeSlider->Position(), 3000);
    EXPECT_EQ(w.Form->Player()->CurrentVolume(), 3000);
    w.Form->CloseWithoutQuery();
    EXPECT_EQ(platform::TIniFile(home.File("Download.ini")).ReadInteger("History", "Volume", 0), 3000);
}

TEST(MainWindow, PlaysAnEntryAndTheTrayMenuFollowsTheState) {
    test::TTempDir home;
    const std::string song = home.File("Tune.mp3");
    ASSERT_EQ(
        std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=d=3 -c:a libmp3lame '" + song + "'").c_str()),
        0);
    std::ofstream(home.File("Download.ini"))
        << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=1\nMusic0=" << song << "\n";
    TWindow w(home.Path() + "/");
    auto& f = *w.Form;
    f.show();
    f.pmSystemPopup();
    EXPECT_EQ(f.mniShowForm->text().toStdString(), "隐藏界面[&S]");
    EXPECT_EQ(f.mniPlayCtrl->text().toStdString(), "继续播放[&P]");
    EXPECT_TRUE(f.mniPlayCtrl->isEnabled());

    f.PlayButton->OnClick(*f.PlayButton); // nothing played yet: plays row 1
    EXPECT_EQ(f.Player()->State(), audio::TAudioPlayer::Playing);
    EXPECT_EQ(f.windowTitle().toStdString(), "正在播放：Tune");
    EXPECT_EQ(f.lblPlayerStatus->text().toStdString(), "正在播放");
    EXPECT_TRUE(f.tmrPlayer->isActive());
    EXPECT_EQ(f.PositionSlider->Max(), static_cast<int>(f.Player()->Length()));
    f.pmSystemPopup();
    EXPECT_EQ(f.mniPlayCtrl->text().toStdString(), "暂停播放[&P]");

    f.mniPlayCtrl->trigger(); // pauses
    EXPECT_EQ(f.Player()->State(), audio::TAudioPlayer::Paused);
    EXPECT_EQ(f.lblPlayerStatus->text().toStdString(), "暂停播放");
    f.pmSystemPopup();
    EXPECT_EQ(f.mniPlayCtrl->text().toStdString(), "继续播放[&P]");

    f.HotKeyPressed(app::hkShowHide);
    EXPECT_FALSE(f.isVisible());
    f.pmSystemPopup();
    EXPECT_EQ(f.mniShowForm->text().toStdString(), "显示界面[&S]");
    f.mniShowForm->trigger();
    EXPECT_TRUE(f.isVisible());
}

TEST(MainWindow, WithoutATrayMinimisingKeepsTheWindowReachable) {
    test::TTempDir home;
    TWindow w(home.Path() + "/");
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // offscreen has no tray
    w.Form->show();
    w.Form->showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(w.Form->isVisible());
    EXPECT_TRUE(w.Form->isMinimized());
}

TEST(MainWindow, TheSpeakerGroupStartsConnectsAndListsTheSpeaker) {
    test::TSpeakerPeer peer("127.0.0.1");
    ASSERT_TRUE(peer.Ok);
    test::TTempDir home;
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.1\n[History]\nAutoPlay=0\n";
    auto link = test::FreePortLink();
    link.RemoteControlPort = peer.ControlPort();
    link.RemoteStreamPort = peer.StreamPort();
    test::TTestWindow w(home.Path() + "/", link);
    auto& f = *w.Form;
    EXPECT_EQ(f.edt_ReIP->currentText().toStdString(), "127.0.0.1");

    // The saved address gets the start request at once; the answer connects the stream.
    auto rate = peer.Receive();
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->Text, "SOUND LRCLK 44100");
    auto start = peer.Receive();
    ASSERT_TRUE(start);
    EXPECT_EQ(start->Text, "SOUND START");
    peer.Reply("SOUND OK", start->From);
    w.Ui.WaitAndRun(test::GiveUpMs); // the answer reaches the window's thread and opens the stream
    auto stream = peer.Accept();
    ASSERT_TRUE(stream);
    EXPECT_TRUE(test::PumpUntil(w.Ui, [&] { return f.lbl_TCPConnect->text().toStdString() == "已连接"; }));
    stream.reset(); // the speaker drops the stream
    EXPECT_TRUE(test::PumpUntil(w.Ui, [&] { return f.lbl_TCPConnect->text().toStdString() == "未连接"; }));

    // "连接设备" sends the start request to the address in the box.
    f.SpeedButton1->click();
    bool again = false;
    while (auto datagram = peer.Receive(2000))
        again = again || datagram->Text == "SOUND START";
    EXPECT_TRUE(again);

    // Speakers that answer discovery are listed; the first to answer is shown.
    f.edt_ReIP->clear();
    f.Player()->Engine().OnDeviceFound("127.0.0.7");
    f.Player()->Engine().OnDeviceFound("127.0.0.8");
    EXPECT_EQ(f.edt_ReIP->count(), 2);
    EXPECT_EQ(f.edt_ReIP->currentText().toStdString(), "127.0.0.7");

    f.rb_PC->click();
    EXPECT_FALSE(f.Player()->SpeakerMode());
    f.rb_ZV2->click();
    EXPECT_TRUE(f.Player()->SpeakerMode());
}

TEST(MainWindow, TheOutputChosenIsTheOneInForceAtTheNextStart) {
    test::TTempDir home;
    {
        TWindow w(home.Path() + "/");
        EXPECT_TRUE(w.Form->rb_ZV2->isChecked()) << "a first start plays on the speaker";
        EXPECT_TRUE(w.Form->Player()->SpeakerMode());
        w.Form->rb_PC->click();
        w.Form->CloseWithoutQuery();
    }
    EXPECT_EQ(platform::TIniFile(home.File("Download.ini")).ReadString("General", "SpeakerMode", ""), "0");
    {
        TWindow w(home.Path() + "/");
        EXPECT_TRUE(w.Form->rb_PC->isChecked());
        EXPECT_FALSE(w.Form->rb_ZV2->isChecked());
        EXPECT_FALSE(w.Form->Player()->SpeakerMode()) << "the sound card plays, the speaker is silent";
        w.Form->rb_ZV2->click();
        w.Form->CloseWithoutQuery();
    }
    TWindow w(home.Path() + "/");
    EXPECT_TRUE(w.Form->rb_ZV2->isChecked());
    EXPECT_TRUE(w.Form->Player()->SpeakerMode());
}
