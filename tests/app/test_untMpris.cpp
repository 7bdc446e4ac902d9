#include "app/untMpris.h"

#include "TempDir.h"
#include "platform/Dispatcher.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

using namespace zv2;
using namespace zv2::app;

namespace {

// A song of 10 s in 160000 bytes, without tags.
TMprisInput PlayingSong() {
    TMprisInput in;
    in.PlayerState = 1;
    in.SongsStarted = 1;
    in.FileName = "/music/My Song.mp3";
    in.Position = 16000; // 1 s in
    in.Length = 160000;
    in.DurationUs = 10'000'000;
    in.Volume = 1500;
    in.Rows = 3;
    in.LastPlayed = 1;
    return in;
}

} // namespace

TEST(Mpris, ThePlayersStateCodesShowAsPlaybackStatus) {
    const std::pair<std::uint8_t, const char*> cases[] = {{0, "Stopped"}, {1, "Playing"}, {2, "Paused"},
                                                          {3, "Stopped"}, {4, "Stopped"}, {5, "Stopped"}};
    for (const auto& [code, status] : cases) {
        TMprisInput in = PlayingSong();
        in.PlayerState = code;
        EXPECT_EQ(MprisStateOf(in).PlaybackStatus, status) << int(code);
    }
}

TEST(Mpris, VolumeRunsFromNoneToFullOnBothScales) {
    const std::pair<int, double> toMpris[] = {{0, 0.0}, {1500, 0.5}, {3000, 1.0}, {3600, 1.0}, {-10, 0.0}};
    for (const auto& [volume, expected] : toMpris)
        EXPECT_DOUBLE_EQ(MprisVolume(volume), expected) << volume;
    const std::pair<double, int> toProgram[] = {{0.0, 0},          {0.5, 1500},       {1.0, 3000},
                                                {2.5, 3000},       {-0.3, 0},         {0.1, 300},
                                                {1.0 / 3000.0, 1}, {std::nan(""), 0}, {0.9999, 3000}};
    for (const auto& [volume, expected] : toProgram)
        EXPECT_EQ(ProgramVolume(volume), expected) << volume;
}

TEST(Mpris, MetadataNamesTheSongStartedLastByItsFileNameWhenItHasNoTags) {
    TMprisInput in = PlayingSong();
    in.LyricLine = "the second line";
    TMprisState s = MprisStateOf(in);
    EXPECT_EQ(s.Title, "My Song");
    EXPECT_TRUE(s.Artists.empty());
    EXPECT_EQ(s.Album, "");
    EXPECT_EQ(s.ArtUrl, "");
    EXPECT_EQ(s.Url, "file:///music/My%20Song.mp3");
    EXPECT_EQ(s.LengthUs, 10'000'000);
    EXPECT_EQ(s.Comment, "the second line");
    EXPECT_EQ(s.TrackId, MprisTrackId(1));

    in.FileName = "/music/no extension";
    EXPECT_EQ(MprisStateOf(in).Title, "no extension");
    in.DurationUs = 0;
    EXPECT_EQ(MprisStateOf(in).LengthUs, 0) << "unknown without the play time";

    TMprisInput none;
    none.Rows = 2;
    s = MprisStateOf(none);
    EXPECT_EQ(s.TrackId, MprisNoTrack);
    EXPECT_EQ(s.Title, "");
    EXPECT_EQ(s.LengthUs, 0);
}

TEST(Mpris, MetadataTakesTitleArtistsAlbumAndCoverFromTheTags) {
    TMprisInput in = PlayingSong();
    in.TagTitle = "Loopback Blues";
    in.Artists = {"小明", "小红"};
    in.Album = "测试专辑";
    in.ArtUrl = "file:///home/u/Covers/0123456789abcdef.png";
    const TMprisState s = MprisStateOf(in);
    EXPECT_EQ(s.Title, "Loopback Blues");
    EXPECT_EQ(s.Artists, (std::vector<std::string>{"小明", "小红"}));
    EXPECT_EQ(s.Album, "测试专辑");
    EXPECT_EQ(s.ArtUrl, "file:///home/u/Covers/0123456789abcdef.png");
    EXPECT_EQ(s.Url, "file:///music/My%20Song.mp3");

    TMprisInput otherCover = in;
    otherCover.ArtUrl.clear();
    EXPECT_EQ(ChangedMprisProperties(s, MprisStateOf(otherCover)), (std::vector<std::string>{"Metadata"}));
}

TEST(Mpris, PlayTimeRunsEvenlyOverTheAudioAfterTheTags) {
    // 4 s of audio in 64000 bytes behind a tag of 1000 bytes.
    TMprisInput in = PlayingSong();
    in.AudioStart = 1000;
    in.Length = 65000;
    in.DurationUs = 4'000'000;
    const std::pair<std::uint32_t, std::int64_t> toTime[] = {
        {0, 0}, {1000, 0}, {17000, 1'000'000}, {33000, 2'000'000}, {65000, 4'000'000}, {70000, 4'000'000}};
    for (const auto& [bytes, us] : toTime)
        EXPECT_EQ(MprisMicroseconds(in, bytes), us) << bytes;
    const std::pair<std::int64_t, std::int64_t> toBytes[] = {
        {-5, 1000}, {0, 1000}, {1'000'000, 17000}, {4'000'000, 65000}, {9'000'000, 65000}};
    for (const auto& [us, bytes] : toBytes)
        EXPECT_EQ(FileBytes(in, us), bytes) << us;
    EXPECT_EQ(MprisStateOf(in).LengthUs, 4'000'000) << "the play time, not the file's size";

    in.Length = 1000; // no audio at all
    EXPECT_EQ(MprisMicroseconds(in, 1000), 0);
    EXPECT_EQ(MprisStateOf(in).LengthUs, 0);
}

TEST(Mpris, EveryStartOfASongHasATrackIdOfItsOwnOutsideTheReservedPaths) {
    EXPECT_EQ(MprisTrackId(0), MprisNoTrack);
    std::set<std::string> ids;
    for (std::uint32_t n = 1; n <= 3; ++n) {
        const std::string id = MprisTrackId(n);
        EXPECT_EQ(id.rfind("/org/mpris", 0), std::string::npos) << id;
        EXPECT_EQ(id.front(), '/');
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 3u);
}

TEST(Mpris, WhatCanBeDoneFollowsTheListAndThePlayer) {
    struct TCase {
        std::size_t Rows;
        int LastPlayed;
        std::uint8_t State;
        std::int64_t DurationUs;
        bool Play, Previous, Seek;
    };
    const TCase cases[] = {
        {0, -1, 5, 0, false, false, false},     // nothing in the list
        {3, 0, 1, 10000000, true, false, true}, // playing the first row
        {3, 2, 1, 10000000, true, true, true},  // playing a later row
        {3, 2, 2, 10000000, true, true, false}, // paused: the player does not seek
        {3, 2, 1, 0, true, true, false},        // play time unknown: no times to seek to
        {3, 2, 0, 10000000, true, true, false}, // stopped
    };
    for (const TCase& c : cases) {
        TMprisInput in = PlayingSong();
        in.Rows = c.Rows;
        in.LastPlayed = c.LastPlayed;
        in.PlayerState = c.State;
        in.DurationUs = c.DurationUs;
        const TMprisState s = MprisStateOf(in);
        EXPECT_EQ(s.CanPlay, c.Play);
        EXPECT_EQ(s.CanPause, c.Play);
        EXPECT_EQ(s.CanGoNext, c.Play);
        EXPECT_EQ(s.CanGoPrevious, c.Previous);
        EXPECT_EQ(s.CanSeek, c.Seek);
    }
}

TEST(Mpris, OnlyWhatDiffersIsAnnounced) {
    const TMprisState before = MprisStateOf(PlayingSong());
    EXPECT_TRUE(ChangedMprisProperties(before, before).empty());

    TMprisInput paused = PlayingSong();
    paused.PlayerState = 2;
    EXPECT_EQ(ChangedMprisProperties(before, MprisStateOf(paused)),
              (std::vector<std::string>{"PlaybackStatus", "CanSeek"}));

    TMprisInput next = PlayingSong();
    next.SongsStarted = 2;
    next.FileName = "/music/Other.mp3";
    next.LastPlayed = 2;
    EXPECT_EQ(ChangedMprisProperties(before, MprisStateOf(next)), (std::vector<std::string>{"Metadata"}));

    TMprisInput lyric = PlayingSong();
    lyric.LyricLine = "a line";
    lyric.Position = 48000; // the position moves on by itself and is never announced
    EXPECT_EQ(ChangedMprisProperties(before, MprisStateOf(lyric)), (std::vector<std::string>{"Metadata"}));

    TMprisInput louder = PlayingSong();
    louder.Volume = 3000;
    EXPECT_EQ(ChangedMprisProperties(before, MprisStateOf(louder)), (std::vector<std::string>{"Volume"}));

    TMprisInput empty = PlayingSong();
    empty.Rows = 0;
    EXPECT_EQ(ChangedMprisProperties(before, MprisStateOf(empty)),
              (std::vector<std::string>{"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious"}));
}

TEST(Mpris, PlayResumesStartsOrPlaysTheStoppedSongAgain) {
    struct TCase {
        std::uint8_t State;
        std::uint32_t Started;
        std::size_t Rows;
        int LastPlayed;
        TMprisPlay Action;
    };
    const TCase cases[] = {
        {1, 1, 3, 1, TMprisPlay::Nothing},   {2, 1, 3, 1, TMprisPlay::Toggle}, {5, 0, 3, 0, TMprisPlay::Toggle},
        {0, 1, 3, 1, TMprisPlay::PlayAgain}, {0, 1, 3, 5, TMprisPlay::Toggle}, {0, 1, 0, 0, TMprisPlay::Nothing},
        {3, 1, 3, 1, TMprisPlay::Toggle},
    };
    for (const TCase& c : cases) {
        TMprisInput in = PlayingSong();
        in.PlayerState = c.State;
        in.SongsStarted = c.Started;
        in.Rows = c.Rows;
        in.LastPlayed = c.LastPlayed;
        EXPECT_EQ(MprisPlayAction(in), c.Action) << int(c.State) << " " << c.LastPlayed;
    }
}

TEST(Mpris, SeeksMoveWithinThePlayingSongOnly) {
    const TMprisInput in = PlayingSong(); // 1 s into 10 s, 16000 bytes a second
    TMprisSeek to = MprisSeekBy(in, 4'000'000);
    EXPECT_EQ(to.Action, TMprisSeek::Move);
    EXPECT_EQ(to.Position, 80000u);
    to = MprisSeekBy(in, -5'000'000);
    EXPECT_EQ(to.Action, TMprisSeek::Move);
    EXPECT_EQ(to.Position, 0u) << "a seek before the start goes to the start";
    EXPECT_EQ(MprisSeekBy(in, 9'000'000).Action, TMprisSeek::Next) << "at the end: the next song";

    const std::string id = MprisTrackId(in.SongsStarted);
    to = MprisSetPosition(in, id, 2'500'000);
    EXPECT_EQ(to.Action, TMprisSeek::Move);
    EXPECT_EQ(to.Position, 40000u);
    EXPECT_EQ(MprisSetPosition(in, id, 10'000'000).Position, 160000u);
    EXPECT_EQ(MprisSetPosition(in, MprisTrackId(in.SongsStarted - 1), 2'500'000).Action, TMprisSeek::Nothing)
        << "meant for the song before";
    EXPECT_EQ(MprisSetPosition(in, id, -1).Action, TMprisSeek::Nothing);
    EXPECT_EQ(MprisSetPosition(in, id, 10'000'001).Action, TMprisSeek::Nothing);

    TMprisInput paused = in;
    paused.PlayerState = 2;
    EXPECT_EQ(MprisSeekBy(paused, 1'000'000).Action, TMprisSeek::Nothing);
    EXPECT_EQ(MprisSetPosition(paused, id, 1'000'000).Action, TMprisSeek::Nothing);
}

TEST(Mpris, TheLyricLineIsTheOneTheDisplayShowedLast) {
    zv2::test::TTempDir dir;
    const std::string lrc = dir.File("song.lrc");
    std::ofstream(lrc) << "[ti:Song]\n[00:00.10]first\n[00:00.30]second\n";
    platform::TQueueDispatcher ui;
    lyrics::TLRCDisplay display(ui);
    std::vector<std::string> shown;
    display.Target = [&shown](const std::string& text) { shown.push_back(text); };
    display.LoadFile(lrc);
    display.Start();
    EXPECT_EQ(ShownLyricLine(display), "") << "the title is no lyric line";
    ui.AdvanceTime(100);
    ASSERT_EQ(shown.back(), "first");
    EXPECT_EQ(ShownLyricLine(display), "first");
    ui.AdvanceTime(300);
    ASSERT_EQ(shown.back(), "second");
    EXPECT_EQ(ShownLyricLine(display), "second");
    display.Clear();
    EXPECT_EQ(ShownLyricLine(display), "");
}

TEST(Mpris, TheSessionBusIsTheOneNamedOrTheUsersSocketAndNeverOneOfItsOwn) {
    auto exists = [](const std::string& path) { return path == "/run/user/7/bus"; };
    auto none = [](const std::string&) { return false; };
    EXPECT_EQ(SessionBusAddress("unix:path=/tmp/b", "/run/user/7", exists), "unix:path=/tmp/b");
    EXPECT_EQ(SessionBusAddress(nullptr, "/run/user/7", exists), "unix:path=/run/user/7/bus");
    EXPECT_EQ(SessionBusAddress("", "/run/user/7", exists), "unix:path=/run/user/7/bus");
    EXPECT_EQ(SessionBusAddress(nullptr, "/run/user/7", none), "");
    EXPECT_EQ(SessionBusAddress(nullptr, nullptr, exists), "");
}

TEST(Mpris, UnderTheNetworkGuardOnlyABusOnALocalSocketIsUsed) {
    const std::pair<const char*, bool> cases[] = {
        {"unix:path=/run/user/7/bus", true},
        {"unix:abstract=/tmp/dbus-x,guid=1;unix:path=/tmp/b", true},
        {"tcp:host=192.168.1.2,port=5000", false},
        {"unix:path=/tmp/b;tcp:host=10.0.0.1,port=1", false},
    };
    for (const auto& [address, allowed] : cases) {
        EXPECT_EQ(SessionBusAllowed(address, true), allowed) << address;
        EXPECT_TRUE(SessionBusAllowed(address, false)) << address;
    }
}
