#include "FileServer.h"
#include "TempDir.h"
#include "download/untDownloadList.h"
#include "download/untTaskThread.h"
#include "platform/Dispatcher.h"
#include "tools/LocalMusicSite.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using namespace zv2::download;

TEST(DownloadTexts, FollowTheFormatsAndFallBackToZero) {
    EXPECT_EQ(ProgressText(42170, 100000), "42.17 %");
    EXPECT_EQ(ProgressText(3, 3), "100.00 %");
    EXPECT_EQ(ProgressText(3100, 3072), "0.00 %") << "above 100";
    EXPECT_EQ(ProgressText(0, 0), "0.00 %") << "undefined";
    EXPECT_EQ(ProgressText(-1, 10), "0.00 %");
    EXPECT_EQ(SpeedText(187250, 1000), "187.25 k/s");
    EXPECT_EQ(SpeedText(2000000, 1000), "0.00 k/s") << "above 1000 bytes per ms";
    EXPECT_EQ(SpeedText(5, 0), "0.00 k/s");
    EXPECT_EQ(SpeedText(0, 0), "0.00 k/s");
    EXPECT_EQ(ElapsedText(187250), "00:03:07.250");
    EXPECT_EQ(ElapsedText(0), "00:00:00.000");
    EXPECT_EQ(ElapsedText(257u * 3600000u + 61001u), "01:01:01.001") << "hours wrap at 256";
}

TEST(TargetPath, UsesTheSavePathOrTheMusicFolderBesideTheProgram) {
    EXPECT_EQ(TargetPath("/d/mp3", "/prog/", "Song.mp3"), "/d/mp3/Song.mp3");
    EXPECT_EQ(TargetPath("", "/prog/", "Song.mp3"), "/prog/Music/Song.mp3");
    EXPECT_EQ(TargetPath("  ", "/prog/", "Song.mp3"), "/prog/Music/Song.mp3");
}

namespace {

struct TListFixture : ::testing::Test {
    zv2::platform::TQueueDispatcher Ui;
    zv2::test::TTempDir Dir;
    zv2::test::TFileServer Server;
    std::vector<std::string> Songs;
    std::unique_ptr<TDownloadList> List;

    void Start(std::function<std::uint32_t()> tick = nullptr) {
        TDownloadList::TOptions options;
        options.SavePath = Dir.Path();
        options.ProgramFolder = Dir.Path() + "/";
        options.Timing = TEngineTiming::Fast();
        options.TickCount = std::move(tick);
        List = std::make_unique<TDownloadList>(Ui, options);
        List->OnSongDone = [this](const std::string& path) { Songs.push_back(path); };
    }
    // Runs the UI thread's queue until `done` holds (a minute at most).
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            Ui.WaitAndRun(100);
        }
        return true;
    }
    const TDownloadRow* Row(std::uint32_t key) const {
        for (const auto& row : List->Rows())
            if (row.Key == key)
                return &row;
        return nullptr;
    }
    void TearDown() override { List.reset(); }
};

// The peak resident memory of this process since ResetPeakMemory(), in bytes.
std::int64_t PeakMemory() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return -1;
}
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

TEST_F(TListFixture, AStartedSongIsRefusedASecondTimeAndKeysStayUnique) {
    Start([] { return 5000u; });
    // A song that never answers: the probe fails, the row stays listed.
    ASSERT_TRUE(List->StartFromSearchRow(0, "a", "http://127.0.0.1:1/a.mp3"));
    EXPECT_FALSE(List->StartFromSearchRow(0, "a", "http://127.0.0.1:1/a.mp3"));
    EXPECT_FALSE(List->StartFromSearchRow(1, "b", "http://127.0.0.1:1/b.mp3")) << "a marked search row";
    const std::uint32_t second = List->StartDownload("c.mp3", "http://127.0.0.1:1/c.mp3");
    ASSERT_EQ(List->Rows().size(), 2u);
    EXPECT_NE(List->Rows()[0].Key, second) << "two rows in one tick";
    EXPECT_EQ(List->Rows()[0].FileName, "a.mp3");
    const TDownloadRow& waiting = List->Rows()[0];
    EXPECT_EQ(waiting.Progress, "0.0%");
    EXPECT_EQ(waiting.SizeText, "1");
    EXPECT_EQ(waiting.Speed, "0 k/s");
    EXPECT_EQ(waiting.Elapsed, "00:00:00.000");
}

TEST_F(TListFixture, AFailedDownloadShowsTheFailedImageAndStaysQueued) {
    Start();
    const std::uint32_t key = List->StartDownload("gone.mp3", "http://127.0.0.1:1/gone.mp3");
    ASSERT_TRUE(RunUntil([&] { return Row(key) && Row(key)->Image == diFailed; }));
    EXPECT_EQ(Row(key)->Progress, "0.00 %");
    List->RefreshStatus();
    EXPECT_EQ(Row(key)->Progress, "0.00 %") << "the refresh leaves failed rows alone";
    EXPECT_TRUE(List->ClearErrors());
    EXPECT_TRUE(List->Rows().empty());
    EXPECT_FALSE(List->ClearErrors());
    EXPECT_TRUE(List->IsUrlQueued("http://127.0.0.1:1/gone.mp3"));
    EXPECT_TRUE(Songs.empty());
}

TEST_F(TListFixture, ARowShowsEachRetryOfAFailingSegmentBeforeItFails) {
    Server.AddFile("/bad.mp3", zv2::test::SongBytes(1000));
    Server.SetMode(zv2::test::TFileServer::TMode::CloseEarly);
    Start();
    const std::uint32_t key = List->StartDownload("bad.mp3", Server.Url("/bad.mp3"));
    std::vector<std::string> speeds;
    List->OnRowsChanged = [&] {
        if (const TDownloadRow* row = Row(key); row && (speeds.empty() || speeds.back() != row->Speed))
            speeds.push_back(row->Speed);
    };
    ASSERT_TRUE(RunUntil([&] { return Row(key) && Row(key)->Image == diFailed; }));
    const std::vector<std::string> retries = {"重试 1/3", "重试 2/3", "重试 3/3"};
    std::vector<std::string> shown;
    std::copy_if(speeds.begin(), speeds.end(), std::back_inserter(shown),
                 [](const std::string& speed) { return speed.rfind("重试", 0) == 0; });
    EXPECT_EQ(shown, retries);
}

TEST_F(TListFixture, AFinishedSongLeavesTheListForThePlaylist) {
    const std::string song = zv2::test::SongBytes(40000);
    const zv2::test::TLocalMusicSite site({{"Song.mp3", song}});
    Start();
    ASSERT_TRUE(List->StartFromSearchRow(0, "../Song", site.FileUrl("Song.mp3")));
    ASSERT_TRUE(RunUntil([&] { return !Songs.empty(); }));
    EXPECT_EQ(Songs[0], Dir.File(".._Song.mp3"));
    std::ifstream in(Songs[0], std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), song);
    EXPECT_TRUE(List->Rows().empty());
    EXPECT_FALSE(List->IsUrlQueued(site.FileUrl("Song.mp3"))) << "its record went to the playlist";
}

TEST_F(TListFixture, DeletingAllKeepsTheRecordsThatRefuseARestart) {
    Server.AddFile("/hang.mp3", zv2::test::SongBytes(30000));
    Server.SetMode(zv2::test::TFileServer::TMode::Hang);
    std::uint32_t now = 1000;
    Start([&now] { return now; });
    const std::uint32_t key = List->StartDownload("hang.mp3", Server.Url("/hang.mp3"));
    ASSERT_TRUE(RunUntil([&] { return Row(key)->Image == diDownloading; }));
    EXPECT_EQ(Row(key)->SizeText, "30000");
    now += 2000;
    List->RefreshStatus();
    EXPECT_EQ(Row(key)->Elapsed, "00:00:02.000");
    EXPECT_EQ(Row(key)->Progress, ProgressText(List->GetTaskProgress(key), 30000));
    List->DeleteAll();
    EXPECT_TRUE(List->Rows().empty());
    EXPECT_FALSE(List->StartFromSearchRow(0, "hang", Server.Url("/hang.mp3")));
}

TEST_F(TListFixture, ASongSavedWhileItsRowWasDeletedStillGoesToThePlaylist) {
    const std::string song = zv2::test::SongBytes(5000);
    const zv2::test::TLocalMusicSite site({{"late.mp3", song}});
    Start();
    const std::uint32_t key = List->StartDownload("late.mp3", site.FileUrl("late.mp3"));
    ASSERT_TRUE(RunUntil([&] { return Row(key)->Image == diDownloading; }));
    // The engine has saved the song and told the list (its task is gone, its
    // notice queued), but the UI thread has not seen it yet when the user
    // deletes the row.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((List->Engine()->TaskCount() > 0 || Ui.PendingCount() == 0) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(List->Engine()->TaskCount(), 0u);
    ASSERT_NE(Row(key), nullptr);
    List->DeleteTask(key);
    Ui.RunPending();
    EXPECT_EQ(Songs, std::vector<std::string>{Dir.File("late.mp3")});
    EXPECT_EQ(zv2::test::ReadFile(Dir.File("late.mp3")), song);
    EXPECT_EQ(Row(key), nullptr);
}

// A server that says a song is huge and sends 64 KiB of each range: three
// rows at once fail, and memory follows what arrived, not what was announced.
TEST_F(TListFixture, ALyingServerFailsItsRowsAndCostsWhatItSentNotWhatItAnnounced) {
    for (const std::int64_t announced : {std::int64_t{2000000000}, std::int64_t{500000000}}) {
        zv2::test::TFileServer liar;
        liar.SetLie(announced, 64 * 1024);
        Start();
        ResetPeakMemory();
        std::vector<std::uint32_t> keys;
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            keys.push_back(List->StartDownload(name, liar.Url(std::string("/") + name)));
        ASSERT_TRUE(RunUntil([&] {
            return std::all_of(keys.begin(), keys.end(),
                               [&](std::uint32_t key) { return Row(key)->Image == diFailed; });
        })) << announced;
        const std::int64_t peak = PeakMemory();
        std::printf("announced %lld bytes, three rows: peak resident memory %.1f MB\n",
                    static_cast<long long>(announced), static_cast<double>(peak) / 1e6);
        EXPECT_LT(peak, 100'000'000) << announced;
        EXPECT_TRUE(Songs.empty());
        List.reset();
    }
}

// What a run killed half way left in the download folder: at the next start a
// paused row, refused from the search list; deleting it takes its files.
TEST_F(TListFixture, AnUnfinishedDownloadIsAPausedRowAtTheStartAndItsDeletionTakesItsFiles) {
    const std::string temporary = Dir.File(".zv2dl-abc123");
    std::ofstream(temporary, std::ios::binary) << zv2::test::SongBytes(100);
    ASSERT_TRUE(WriteResumeRecord(temporary, {"http://127.0.0.1:1/song.mp3", "Song.mp3", 400, "Mon", "", {{0, 100}}}));
    std::ofstream(Dir.File(".zv2dl-bad123")) << "half";
    std::ofstream(Dir.File(".zv2dl-bad123.resume")) << "zv2 resume 1\nurl http://127.0.0.1:1/x.mp3\n";
    Start();
    ASSERT_EQ(List->Rows().size(), 1u);
    const TDownloadRow row = List->Rows()[0];
    EXPECT_EQ(row.Image, diPaused);
    EXPECT_EQ(row.FileName, "Song.mp3");
    EXPECT_EQ(row.Progress, "25.00 %");
    EXPECT_EQ(row.SizeText, "400");
    EXPECT_EQ(row.Speed, kUnfinishedText);
    EXPECT_FALSE(std::filesystem::exists(Dir.File(".zv2dl-bad123"))) << "a damaged record is never trusted";
    EXPECT_FALSE(std::filesystem::exists(Dir.File(".zv2dl-bad123.resume")));
    EXPECT_FALSE(List->StartFromSearchRow(0, "Song", "http://127.0.0.1:1/song.mp3"));
    List->RefreshStatus();
    EXPECT_EQ(List->Rows()[0].Progress, "25.00 %") << "the refresh leaves paused rows alone";
    List->DeleteTask(row.Key);
    EXPECT_TRUE(List->Rows().empty());
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_FALSE(std::filesystem::exists(ResumeRecordPath(temporary)));
}
