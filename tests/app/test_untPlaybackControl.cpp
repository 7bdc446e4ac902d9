#include "app/untPlaybackControl.h"

#include "TempDir.h"
#include "lyrics/untLRCDisplay.h"
#include "platform/Dispatcher.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

using namespace zv2;
using namespace zv2::app;

namespace {

class TFakePlayer : public IPlaybackPlayer {
public:
    std::set<std::string> Failing;
    std::vector<std::string> Opened;
    std::vector<std::int64_t> Seeks;
    std::uint8_t State_ = 5;
    std::uint32_t Position_ = 0;
    std::uint32_t Length_ = 100000;
    int Volume = -1;

    void Open(const std::string& path) override {
        Opened.push_back(path);
        State_ = Failing.count(path) ? 3 : 4;
        Position_ = 0;
    }
    void Play() override { State_ = 1; }
    void Pause() override { State_ = 2; }
    void Stop() override { State_ = 0; }
    std::uint8_t State() const override { return State_; }
    std::uint32_t Position() const override { return Position_; }
    std::uint32_t Length() const override { return Length_; }
    void Seek(std::int64_t position) override {
        if (State_ == 1)
            Seeks.push_back(position);
    }
    void SetVolume(int volume) override { Volume = volume; }
};

class TFakePanel : public IPlayerPanel {
public:
    TPlaybackControl* Control = nullptr;
    int Min = 0, Max = 3000, Pos = 1500;
    bool ButtonDown = false;
    int PlayImage = 0;
    std::string Status = "停止播放", CurMusic = "停止播放", Caption;
    bool Timer = false;
    bool RemoveFailed = true;
    std::set<std::string> Files;

    void SetPositionRange(int min, int max) override {
        Min = min;
        Max = max;
        SetSliderPosition(Pos);
    }
    int PositionMax() const override { return Max; }
    int SliderPosition() const override { return Pos; }
    void SetSliderPosition(int position) override {
        position = std::clamp(position, Min, Max);
        if (position == Pos)
            return;
        Pos = position;
        if (Control)
            Control->PositionChanged();
    }
    bool LeftButtonDown() const override { return ButtonDown; }
    void SetPlayButtonImage(int index) override { PlayImage = std::clamp(index, 0, 1); }
    void SetPlayerStatus(const std::string& text) override { Status = text; }
    void SetCurMusic(const std::string& text) override { CurMusic = text; }
    void SetCaption(const std::string& text) override { Caption = text; }
    void SetPlayerTimer(bool enabled) override { Timer = enabled; }
    bool RemoveFailedFiles() const override { return RemoveFailed; }
    bool FileExists(const std::string& path) const override { return Files.count(path) > 0; }
};

struct TRig {
    explicit TRig(std::vector<std::string> paths) : Lyrics(Ui), Control(List, &Player, Panel, Lyrics) {
        for (const auto& p : paths)
            List.Append(p);
        Panel.Control = &Control;
        Lyrics.Target = [this](const std::string& text) { Panel.CurMusic = text; };
        Control.LRCPath = "/lrc/";
    }
    std::vector<int> Statuses() const {
        std::vector<int> out;
        for (std::size_t i = 0; i < List.Count(); ++i)
            out.push_back(List.Row(i).Status);
        return out;
    }
    std::vector<int> Numbers() const {
        std::vector<int> out;
        for (std::size_t i = 0; i < List.Count(); ++i)
            out.push_back(List.Row(i).Number);
        return out;
    }
    // Lets the timer see the end of the current song.
    void EndSong() {
        Player.Position_ = Player.Length_;
        Control.PlayerTimer();
    }
    platform::TQueueDispatcher Ui;
    TPlayList List;
    TFakePlayer Player;
    TFakePanel Panel;
    lyrics::TLRCDisplay Lyrics;
    TPlaybackControl Control;
};

} // namespace

TEST(PlaybackControl, PlayingAnEntryShowsItEverywhere) {
    TRig rig({"/m/One Song.mp3", "/m/two.mp3"});
    rig.Player.Length_ = 4321;
    EXPECT_TRUE(rig.Control.PlayEntry(7)); // held to the last row
    EXPECT_EQ(rig.Player.Opened.back(), "/m/two.mp3");
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{0, 1}));
    EXPECT_EQ(rig.List.LastPlayed, 1);
    EXPECT_EQ(rig.Panel.Max, 4321);
    EXPECT_TRUE(rig.Panel.Timer);
    EXPECT_EQ(rig.Panel.CurMusic, "two");
    EXPECT_EQ(rig.Panel.Status, "正在播放");
    EXPECT_EQ(rig.Panel.Caption, "正在播放：two");
    EXPECT_EQ(rig.Panel.PlayImage, 1);

    EXPECT_TRUE(rig.Control.PlayEntry(0));
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{1, 0}));
    EXPECT_EQ(rig.Panel.Caption, "正在播放：One Song");
}

TEST(PlaybackControl, SongsFollowEachOtherAndTheLastWrapsToTheFirst) {
    TRig rig({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    rig.Control.PlayEntry(1);
    rig.EndSong();
    EXPECT_EQ(rig.List.LastPlayed, 2);
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{0, 0, 1}));
    rig.EndSong();
    EXPECT_EQ(rig.List.LastPlayed, 0);
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(rig.Player.Opened, (std::vector<std::string>{"/m/b.mp3", "/m/c.mp3", "/m/a.mp3"}));
}

TEST(PlaybackControl, SingleLoopRestartsTheSameRowFromZero) {
    TRig rig({"/m/a.mp3", "/m/b.mp3"});
    rig.Control.LoopMode = 1;
    rig.Control.PlayEntry(0);
    rig.Player.Position_ = 10;
    rig.Control.PlayerTimer();
    rig.Control.PlayerTimer();
    EXPECT_EQ(rig.Control.ElapsedMs, 2000);
    rig.EndSong();
    EXPECT_EQ(rig.Player.Opened, (std::vector<std::string>{"/m/a.mp3", "/m/a.mp3"}));
    EXPECT_EQ(rig.List.LastPlayed, 0);
    EXPECT_EQ(rig.Control.ElapsedMs, 0);
}

TEST(PlaybackControl, AFailingEntryIsRemovedAndTheNextPlays) {
    TRig rig({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3", "/m/D.mp3"});
    rig.Player.Failing = {"/m/B.mp3"};
    rig.Control.PlayEntry(0);
    rig.EndSong();
    EXPECT_EQ(rig.List.Paths(), (std::vector<std::string>{"/m/A.mp3", "/m/C.mp3", "/m/D.mp3"}));
    EXPECT_EQ(rig.Numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(rig.Player.Opened.back(), "/m/C.mp3");
    EXPECT_EQ(rig.List.LastPlayed, 1);
}

TEST(PlaybackControl, WithoutRemovalAFailingEntryKeepsItsMarkAndTheNextPlays) {
    TRig rig({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3", "/m/D.mp3"});
    rig.Panel.RemoveFailed = false;
    rig.Player.Failing = {"/m/B.mp3"};
    rig.Control.PlayEntry(0);
    rig.EndSong();
    EXPECT_EQ(rig.List.Count(), 4u);
    EXPECT_EQ(rig.Statuses(), (std::vector<int>{0, 2, 1, 0}));
    EXPECT_EQ(rig.List.LastPlayed, 2);
}

TEST(PlaybackControl, RemovedFailingFirstAndLastRowsLeaveTheRightNextEntry) {
    // A failing first row: the row that takes its place comes next.
    TRig first({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"});
    first.Player.Failing = {"/m/A.mp3"};
    EXPECT_FALSE(first.Control.PlayEntry(0));
    EXPECT_EQ(first.List.LastPlayed, -1);
    first.Control.PlayNext();
    EXPECT_EQ(first.Player.Opened.back(), "/m/B.mp3");

    // A failing last row: the first row comes next.
    TRig last({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"});
    last.Player.Failing = {"/m/C.mp3"};
    last.Control.PlayEntry(1);
    last.EndSong();
    EXPECT_EQ(last.List.Paths(), (std::vector<std::string>{"/m/A.mp3", "/m/B.mp3"}));
    EXPECT_EQ(last.Player.Opened.back(), "/m/A.mp3");
    EXPECT_EQ(last.List.LastPlayed, 0);
}

TEST(PlaybackControl, WhenNothingPlaysTheAdvanceStopsQuietly) {
    TRig rig({"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"});
    rig.Panel.RemoveFailed = false;
    rig.Player.Failing = {"/m/A.mp3", "/m/B.mp3", "/m/C.mp3"};
    rig.List.LastPlayed = -1;
    rig.Control.PlayNext();
    // The first candidate, then every row before the last; the last only as the first candidate.
    EXPECT_EQ(rig.Player.Opened, (std::vector<std::string>{"/m/A.mp3", "/m/B.mp3"}));
    EXPECT_EQ(rig.Panel.Status, "停止播放");
}

TEST(PlaybackControl, PreviousDoesNothingAtTheFirstRow) {
    TRig rig({"/m/A.mp3", "/m/B.mp3"});
    rig.Control.PlayEntry(0);
    rig.Control.PlayPrevious();
    EXPECT_EQ(rig.Player.Opened.size(), 1u);
    rig.Control.PlayEntry(1);
    rig.Control.PlayPrevious();
    EXPECT_EQ(rig.Player.Opened.back(), "/m/A.mp3");
}

TEST(PlaybackControl, TogglePlayStartsPausesAndResumes) {
    TRig empty({});
    empty.Control.TogglePlay();
    EXPECT_EQ(empty.Panel.PlayImage, 1); // only the pause symbol
    EXPECT_TRUE(empty.Player.Opened.empty());

    TRig rig({"/m/A.mp3", "/m/B.mp3"});
    rig.Control.TogglePlay();
    EXPECT_EQ(rig.Player.Opened, (std::vector<std::string>{"/m/A.mp3"}));
    rig.Control.TogglePlay();
    EXPECT_EQ(rig.Player.State(), 2);
    EXPECT_EQ(rig.Panel.Status, "暂停播放");
    EXPECT_EQ(rig.Panel.PlayImage, 0);
    rig.Control.TogglePlay();
    EXPECT_EQ(rig.Player.State(), 1);
    EXPECT_EQ(rig.Panel.Status, "正在播放:");
    EXPECT_EQ(rig.Panel.PlayImage, 1);

    TRig selected({"/m/A.mp3", "/m/B.mp3"});
    selected.List.SetSelected(1, true);
    selected.Control.TogglePlay();
    EXPECT_EQ(selected.Player.Opened, (std::vector<std::string>{"/m/B.mp3"}));
}

TEST(PlaybackControl, SeeksOnlyWhenTheMouseButtonIsReleased) {
    TRig rig({"/m/A.mp3"});
    rig.Control.PlayEntry(0);
    rig.Control.PlayerTimer(); // the first tick enables seeking
    rig.Panel.ButtonDown = true;
    rig.Panel.SetSliderPosition(500); // drag steps
    rig.Panel.SetSliderPosition(700);
    rig.Player.Position_ = 9000;
    rig.Control.PlayerTimer(); // the timer leaves a held thumb alone
    EXPECT_EQ(rig.Panel.Pos, 700);
    EXPECT_TRUE(rig.Player.Seeks.empty());
    rig.Panel.ButtonDown = false;
    rig.Control.PositionChanged(); // the release notification
    EXPECT_EQ(rig.Player.Seeks, (std::vector<std::int64_t>{700}));
    // The timer's own moves of the thumb never seek.
    rig.Control.PlayerTimer();
    EXPECT_EQ(rig.Panel.Pos, 9000);
    EXPECT_EQ(rig.Player.Seeks.size(), 1u);
}

TEST(PlaybackControl, ATitleKeepsEveryDotButTheExtensionsAndTheLyricFileOfEarlierVersionsStillShows) {
    zv2::test::TTempDir dir;
    TRig rig({"/m/Mr. Blue Sky.mp3", "/m/song"});
    rig.Control.LRCPath = dir.Path();
    std::vector<std::string> asked;
    rig.Control.OnLyricsMissing = [&](const std::string& title) { asked.push_back(title); };
    // Saved under the name up to the first "." by an earlier version.
    std::ofstream(dir.File("Mr.lrc")) << "[00:01.00]old line\n";
    rig.Panel.Files = {dir.File("Mr.lrc")};
    EXPECT_TRUE(rig.Control.PlayEntry(0));
    EXPECT_EQ(rig.Panel.Caption, "正在播放：Mr. Blue Sky");
    EXPECT_EQ(rig.Lyrics.FileName(), dir.File("Mr.lrc"));
    EXPECT_TRUE(asked.empty());

    // A file under the whole title comes first.
    std::ofstream(dir.File("Mr. Blue Sky.lrc")) << "[00:01.00]new line\n";
    rig.Panel.Files.insert(dir.File("Mr. Blue Sky.lrc"));
    EXPECT_TRUE(rig.Control.PlayEntry(0));
    EXPECT_EQ(rig.Lyrics.FileName(), dir.File("Mr. Blue Sky.lrc"));

    // Without either file the lyric site is asked for the whole title, and the
    // file it saves under that name shows.
    rig.Panel.Files.clear();
    EXPECT_TRUE(rig.Control.PlayEntry(1));
    EXPECT_EQ(rig.Panel.Caption, "正在播放：song");
    EXPECT_TRUE(rig.Control.PlayEntry(0));
    EXPECT_EQ(asked, (std::vector<std::string>{"song", "Mr. Blue Sky"}));
    rig.Control.LyricsArrived(dir.File("Mr. Blue Sky.lrc"));
    EXPECT_EQ(rig.Lyrics.FileName(), dir.File("Mr. Blue Sky.lrc"));
}

TEST(PlaybackControl, LyricsFollowThePlayingSongAndStopForASongWithoutThem) {
    zv2::test::TTempDir dir;
    std::ofstream(dir.File("a.lrc")) << "[00:00.50]line one\n[00:01.50]line two\n";
    TRig rig({"/m/a.mp3", "/m/b.mp3"});
    rig.Control.LRCPath = dir.Path() + "/";
    rig.Panel.Files = {dir.File("a.lrc")};
    rig.Control.PlayEntry(0);
    EXPECT_TRUE(rig.Lyrics.Running());
    rig.Ui.AdvanceTime(700);
    EXPECT_EQ(rig.Panel.CurMusic, "line one");
    rig.Control.PlayEntry(1);
    EXPECT_FALSE(rig.Lyrics.Running());
    EXPECT_TRUE(rig.Lyrics.Lines().empty());
    rig.Ui.AdvanceTime(2000);
    EXPECT_EQ(rig.Panel.CurMusic, "b");
}

TEST(PlaybackControl, ResumingASongWithoutLyricsShowsItsTitle) {
    zv2::test::TTempDir dir;
    std::ofstream(dir.File("a.lrc")) << "[00:00.50]line one\n[00:09.00]line two\n";
    TRig rig({"/m/a.mp3", "/m/b.mp3"});
    rig.Control.LRCPath = dir.Path();
    rig.Panel.Files = {dir.File("a.lrc")};
    rig.Control.PlayEntry(1);
    rig.Control.TogglePlay(); // pause
    rig.Panel.CurMusic = "stale";
    rig.Control.TogglePlay(); // resume
    EXPECT_EQ(rig.Panel.CurMusic, "b");
    EXPECT_EQ(rig.Panel.Status, "正在播放:");

    rig.Control.PlayEntry(0); // with lyrics the display goes on
    rig.Control.TogglePlay();
    rig.Control.TogglePlay();
    EXPECT_TRUE(rig.Lyrics.Running());
    rig.Ui.AdvanceTime(700);
    EXPECT_EQ(rig.Panel.CurMusic, "line one");
}

TEST(PlaybackControl, ASongWithoutLyricsAsksForThemOnceAndShowsThemWhenTheyArriveWhilePlaying) {
    zv2::test::TTempDir dir;
    TRig rig({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    rig.Control.LRCPath = dir.Path();
    std::vector<std::string> asked;
    rig.Control.OnLyricsMissing = [&](const std::string& title) { asked.push_back(title); };
    std::ofstream(dir.File("c.lrc")) << "[00:01.00]c line\n";
    rig.Panel.Files = {dir.File("c.lrc")};
    rig.Control.PlayEntry(2); // has its file
    rig.Control.PlayEntry(1);
    rig.Control.PlayEntry(0);
    rig.Control.PlayEntry(1);
    rig.Control.PlayEntry(0);
    EXPECT_EQ(asked, (std::vector<std::string>{"b", "a"})) << "once per title";

    for (int second = 0; second < 5; ++second)
        rig.Control.PlayerTimer(); // five seconds into "a"
    std::ofstream(dir.File("a.lrc")) << "[00:01.00]one\n[00:04.00]four\n[00:05.60]five and a half\n";
    std::ofstream(dir.File("b.lrc")) << "[00:01.00]b line\n";
    rig.Control.LyricsArrived(dir.File("b.lrc")); // not the song that plays
    EXPECT_TRUE(rig.Lyrics.Lines().empty());
    rig.Control.LyricsArrived(dir.File("a.lrc"));
    EXPECT_TRUE(rig.Lyrics.Running());
    EXPECT_EQ(rig.Panel.CurMusic, "four") << "the line being sung, not the first";
    rig.Ui.AdvanceTime(700);
    EXPECT_EQ(rig.Panel.CurMusic, "five and a half");

    rig.Control.TogglePlay(); // a file that arrives while paused waits for the resume
    rig.Control.PlayEntry(1);
    rig.Control.TogglePlay();
    rig.Control.LyricsArrived(dir.File("b.lrc"));
    EXPECT_FALSE(rig.Lyrics.Running());
    rig.Control.TogglePlay();
    EXPECT_TRUE(rig.Lyrics.Running());
    rig.Ui.AdvanceTime(1000);
    EXPECT_EQ(rig.Panel.CurMusic, "b line");
}

TEST(PlaybackControl, VolumeChangesReachThePlayer) {
    TRig rig({});
    rig.Control.VolumeChanged(2500);
    EXPECT_EQ(rig.Player.Volume, 2500);
}

TEST(PlaybackControl, AStopHoldsEverythingAndASeekMovesPlayerAndSliderOnce) {
    TRig rig({"/m/a.mp3", "/m/b.mp3"});
    EXPECT_EQ(rig.Control.SongsStarted, 0u);
    rig.Control.PlayEntry(0);
    rig.Control.PlayEntry(0); // the same song again is another start
    EXPECT_EQ(rig.Control.SongsStarted, 2u);
    rig.Control.SeekEnabled = true;

    rig.Control.SeekTo(2500);
    EXPECT_EQ(rig.Player.Seeks, std::vector<std::int64_t>{2500}) << "the slider's change seeks no second time";
    EXPECT_EQ(rig.Panel.Pos, 2500);
    EXPECT_TRUE(rig.Control.SeekEnabled);

    rig.Control.Stop();
    EXPECT_EQ(rig.Player.State(), 0);
    EXPECT_EQ(rig.Panel.Pos, 0);
    EXPECT_FALSE(rig.Panel.Timer);
    EXPECT_EQ(rig.Panel.PlayImage, 0);
    EXPECT_EQ(rig.Panel.Status, "停止播放");
    EXPECT_EQ(rig.Control.SongsStarted, 2u);
}
