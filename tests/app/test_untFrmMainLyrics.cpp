// Lyrics found for a song that has none, end to end in the window: the song
// plays, the lyric worker asks the local music site (tools/music-site) or a
// failing lyric site, and the label shows the lines; inside a private network
// namespace when the process may make one.
#include "app/untFrmMain.h"

#include "../http/PageServer.h"
#include "../speaker/PrivateNetwork.h"
#include "FileSizeLimit.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "audio/untAudioPlayer.h"
#include "lyrics/untLRCDisplay.h"
#include "lyrics/untLRCSvr.h"
#include "platform/IniFile.h"
#include "tools/LocalMusicSite.h"

#include <QApplication>
#include <QLabel>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace zv2;

namespace {

// Before any thread starts.
const bool kPrivateNetwork = test::EnterPrivateNetwork();

// A program folder whose playlist holds one 30-second song, "Tune", without a lyric file.
struct THome {
    test::TTempDir Home;
    bool SongMade = false;
    THome() {
        const std::string song = Home.File("Tune.mp3");
        SongMade =
            std::system(
                ("ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=d=30 -c:a libmp3lame '" + song + "'").c_str()) ==
            0;
        std::ofstream(Home.File("Download.ini"))
            << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=1\nMusic0=" << song << "\n";
    }
    std::string Lyric() const { return Home.File("LRCs/Tune.lrc"); }
};

struct TWindow : THome, test::TTestWindow {
    explicit TWindow(const std::string& lyricSite)
        : TTestWindow(Home.Path() + "/", test::FreePortLink(), {}, lyricSite) {}

    std::string Label() const { return Form->lblCurMusic->text().toStdString(); }
    bool Playing() const { return Form->Player()->State() == audio::TAudioPlayer::Playing; }
    // Runs the window (its timers, the dispatcher's queue and its 100 ms
    // lyric clock) until `done` holds, a minute at most.
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            Ui.WaitAndRun(20);
            Ui.AdvanceTime(100);
            QApplication::processEvents();
        }
        return true;
    }
};

} // namespace

TEST(LyricsFound, ASongWithoutLyricsGetsThemFromTheMusicSiteWhilePlaying) {
    if (!kPrivateNetwork)
        GTEST_SKIP() << "no private network namespace can be made here";
    const std::string lyric = "[ti:Tune]\n[00:00.30]The First Line\n[00:29.00]the last line\n";
    const test::TLocalMusicSite site({}, {{"Tune.lrc", lyric}});

    TWindow w(site.Site());
    ASSERT_TRUE(w.SongMade);
    ASSERT_FALSE(std::filesystem::exists(w.Lyric()));
    w.Form->Playback()->TogglePlay(); // the play button
    ASSERT_TRUE(w.Playing());
    EXPECT_EQ(w.Label(), "Tune");
    // The parser shows lower-cased texts.
    ASSERT_TRUE(w.RunUntil([&] { return w.Label() == "the first line"; })) << w.Label() << "\n"
                                                                           << ::testing::PrintToString(site.Requests());
    EXPECT_TRUE(w.Playing());
    EXPECT_EQ(test::ReadFile(w.Lyric()), lyric);
}

TEST(LyricsFound, AFailingLyricSiteLeavesNoFileAndThePlaybackUndisturbed) {
    if (!kPrivateNetwork)
        GTEST_SKIP() << "no private network namespace can be made here";
    // Its search finds a file whose download fails.
    test::TPageServer site([](const std::string& request) -> test::TReply {
        if (test::RequestPath(request).rfind("/m?", 0) == 0)
            return {test::HtmlReply("LRC\xB8\xE8\xB4\xCA\xC0\xB4\xD7\xD4\xA3\xBAhttp://" + test::RequestHost(request) +
                                    "/lrc/Tune.lrc<")};
        return {"HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n[00:01.00]cut sh"};
    });
    TWindow w(site.Site());
    ASSERT_TRUE(w.SongMade);
    w.Form->Playback()->TogglePlay(); // the play button
    ASSERT_TRUE(site.WaitForRequests(2, 60000));
    ASSERT_TRUE(w.RunUntil([&] { return !w.Form->LyricServer()->Busy(); }));
    w.Ui.RunPending();
    EXPECT_FALSE(std::filesystem::exists(w.Lyric()));
    EXPECT_TRUE(std::filesystem::is_empty(w.Home.File("LRCs")));
    EXPECT_TRUE(w.Playing());
    EXPECT_EQ(w.Label(), "Tune");

    w.Form->CloseWithoutQuery(); // the setting is written back
    EXPECT_TRUE(platform::TIniFile(w.Home.File("Download.ini")).ReadBool("General", "AutoLyrics", false));
}

TEST(LyricMenu, TheLabelsMenuMovesTheLinesAtOnceAndKeepsTheOffsetInTheSongsLyricFile) {
    THome home; // made before the window, so the song starts with its lyric file
    std::filesystem::create_directories(home.Home.File("LRCs"));
    std::ofstream(home.Lyric(), std::ios::binary) << "[ti:Tune]\n[00:05.00]five\n[00:06.00]six\n";
    test::TTestWindow w(home.Home.Path() + "/");
    ASSERT_TRUE(home.SongMade);
    auto& f = *w.Form;
    ASSERT_EQ(f.lblCurMusic->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(f.mniLyricsEarlier->text().toStdString(), "歌词提前0.5秒");
    EXPECT_EQ(f.mniLyricsLater->text().toStdString(), "歌词延后0.5秒");
    f.pmLyricsPopup();
    EXPECT_FALSE(f.mniLyricsEarlier->isEnabled()) << "no lines before a song plays";

    f.Playback()->TogglePlay();
    f.pmLyricsPopup();
    ASSERT_TRUE(f.mniLyricsEarlier->isEnabled());
    ASSERT_TRUE(f.mniLyricsLater->isEnabled());
    auto times = [&f] {
        std::vector<int> out;
        for (const auto& line : f.LyricDisplay()->Lines())
            out.push_back(line.Time);
        return out;
    };
    EXPECT_EQ(times(), (std::vector<int>{5000, 6000}));

    f.mniLyricsEarlier->trigger();
    EXPECT_EQ(times(), (std::vector<int>{4500, 5500}));
    EXPECT_EQ(test::ReadFile(home.Lyric()), "[ti:Tune]\n[offset:500]\n[00:05.00]five\n[00:06.00]six\n");
    f.mniLyricsLater->trigger();
    f.mniLyricsLater->trigger();
    EXPECT_EQ(times(), (std::vector<int>{5500, 6500}));
    EXPECT_EQ(test::ReadFile(home.Lyric()), "[ti:Tune]\n[offset:-500]\n[00:05.00]five\n[00:06.00]six\n");
    EXPECT_TRUE(w.Dialogs->Shown.empty());

    // A file that cannot be replaced: the lines move for now, and the user hears why.
    {
        const test::TFileSizeLimit limit(1);
        f.mniLyricsEarlier->trigger();
    }
    EXPECT_EQ(times(), (std::vector<int>{5000, 6000}));
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u);
    EXPECT_EQ(w.Dialogs->Shown[0].Kind, "error");
    EXPECT_EQ(w.Dialogs->Shown[0].Text.rfind("歌词文件未能保存：", 0), 0u) << w.Dialogs->Shown[0].Text;
    EXPECT_NE(test::ReadFile(home.Lyric()).find("[offset:-500]"), std::string::npos);
}
