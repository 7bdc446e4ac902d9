#include "EventLog.h"
#include "FileServer.h"
#include "ResumeRecords.h"
#include "TempDir.h"
#include "download/untDownloadList.h"
#include "download/untSaveThread.h"
#include "platform/Dispatcher.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zv2::download;
using zv2::test::TEventLog;
using zv2::test::TTempDir;

using zv2::test::ReadFile;

namespace {

struct TWriterFixture : ::testing::Test {
    TMemoryPool Pool{4, 2048};
    TEventLog Log;
    TTempDir Dir;
    std::unique_ptr<TSaveThread> Writer;

    void Start(int openLimit, bool writeToFile = false) {
        Writer = std::make_unique<TSaveThread>(Pool, openLimit,
                                               TWriterCallbacks{Log.Recorder("opened"), Log.Recorder("progress"),
                                                                Log.Recorder("finished"), Log.Recorder("error")},
                                               0, writeToFile);
    }
    // Queues bytes [offset, offset + length) of `song` as one block in a pool buffer.
    void Block(std::uint32_t key, const std::string& song, std::int64_t offset, std::int32_t length) {
        char* buffer = Pool.GetBuffer();
        const auto available = std::min<std::int64_t>(length, static_cast<std::int64_t>(song.size()) - offset);
        std::memcpy(buffer, song.data() + offset, static_cast<std::size_t>(std::max<std::int64_t>(available, 0)));
        Writer->AddBlock({key, offset, length, buffer});
    }
    // Queues bytes [from, to) of `song` in blocks of the pool's size.
    void Blocks(std::uint32_t key, const std::string& song, std::int64_t from, std::int64_t to) {
        for (; from < to; from += Pool.BlockSize())
            Block(key, song, from, static_cast<std::int32_t>(std::min<std::int64_t>(Pool.BlockSize(), to - from)));
    }
};

bool IsTemporarySong(const std::string& name) {
    return name.rfind(kTemporarySongPrefix, 0) == 0;
}

} // namespace

TEST_F(TWriterFixture, SavesAFileWhoseBlocksCameOutOfOrderAndOverlappingAsServed) {
    Start(3);
    const std::string song = zv2::test::SongBytes(3072);
    ASSERT_TRUE(Writer->AddFile(7, Dir.File("Song.mp3"), 3072, 3));
    ASSERT_TRUE(Log.WaitFor("opened 7 3072"));
    // The three ranges of a 3072-byte file, the last first, each cut into blocks.
    Block(7, song, 2048, 1024);
    Block(7, song, 1025, 1027); // 1025 .. 2051 overlaps the third range
    Block(7, song, 0, 700);
    Block(7, song, 700, 325); // 700 .. 1024: the last missing bytes
    ASSERT_TRUE(Log.WaitFor("finished 7 3072"));
    EXPECT_EQ(ReadFile(Dir.File("Song.mp3")), song);
    EXPECT_FALSE(Log.Contains("error 7 0"));
    EXPECT_EQ(Writer->TakeSavedName(7), Dir.File("Song.mp3"));
    EXPECT_EQ(Pool.LentCount(), 0u) << "every block's buffer went back";
}

TEST_F(TWriterFixture, WaitsForTheLastMissingByteAndCountsOverlapOnce) {
    Start(3);
    const std::string song = zv2::test::SongBytes(100);
    ASSERT_TRUE(Writer->AddFile(1, Dir.File("a.mp3"), 100));
    Block(1, song, 0, 60);
    Block(1, song, 40, 59); // bytes 0 .. 98: 99 distinct bytes, 119 by sum
    Block(1, song, 99, 1);
    ASSERT_TRUE(Log.WaitFor("finished 1 100"));
    const auto entries = Log.Entries();
    const std::vector<std::string> expected{"opened 1 100", "progress 1 60", "progress 1 99", "progress 1 100",
                                            "finished 1 100"};
    EXPECT_EQ(entries, expected);
}

TEST(FreeFileName, NumbersTakenNamesBeforeTheExtension) {
    const std::set<std::string> taken{"/m/Song.mp3", "/m/Song0.mp3", "/m/Plain", "/m.d/x"};
    const auto exists = [&](const std::string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(FreeFileName("/m/New.mp3", exists), "/m/New.mp3");
    EXPECT_EQ(FreeFileName("/m/Song.mp3", exists), "/m/Song1.mp3");
    EXPECT_EQ(FreeFileName("/m/Plain", exists), "/m/Plain0");
    EXPECT_EQ(FreeFileName("/m.d/x", exists), "/m.d/x0") << "a dot of the folder is no extension";
}

TEST_F(TWriterFixture, NeverOverwritesAnExistingSong) {
    Start(3);
    std::ofstream(Dir.File("Song.mp3")) << "old";
    std::ofstream(Dir.File("Song0.mp3")) << "older";
    const std::string song = zv2::test::SongBytes(10);
    ASSERT_TRUE(Writer->AddFile(2, Dir.File("Song.mp3"), 10));
    Block(2, song, 0, 10);
    ASSERT_TRUE(Log.WaitFor("finished 2 10"));
    EXPECT_EQ(Writer->TakeSavedName(2), Dir.File("Song1.mp3"));
    EXPECT_EQ(ReadFile(Dir.File("Song1.mp3")), song);
    EXPECT_EQ(ReadFile(Dir.File("Song.mp3")), "old");
}

TEST_F(TWriterFixture, OpensOneFileMoreThanItsLimitAndTheNextWhenAPlaceFrees) {
    Start(3);
    for (std::uint32_t key = 1; key <= 5; ++key)
        ASSERT_TRUE(Writer->AddFile(key, Dir.File(std::to_string(key) + ".mp3"), 10));
    ASSERT_TRUE(Log.WaitFor("opened 4 10"));
    // A block written means a whole pass went by after the fourth opening.
    Block(1, zv2::test::SongBytes(10), 0, 5);
    ASSERT_TRUE(Log.WaitFor("progress 1 5"));
    EXPECT_FALSE(Log.Contains("opened 5 10"));
    EXPECT_EQ(Writer->OpenCount(), 4);
    Writer->RemoveFile(2);
    ASSERT_TRUE(Log.WaitFor("opened 5 10"));
}

TEST_F(TWriterFixture, ReportsADownloadWhoseSegmentsEndedWithBytesMissingAndSavesNothing) {
    Start(3);
    const std::string song = zv2::test::SongBytes(50);
    ASSERT_TRUE(Writer->AddFile(3, Dir.File("short.mp3"), 50, 2));
    Block(3, song, 0, 20);
    Writer->AddBlock(MakeSegmentEnd(3));
    Writer->AddBlock(MakeSegmentEnd(3));
    ASSERT_TRUE(Log.WaitFor("error 3 0"));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("short.mp3")));
}

TEST_F(TWriterFixture, AFailedSaveLeavesNoFileAndReportsAnError) {
    Start(3);
    std::ofstream(Dir.File("plain")) << "a file, not a folder";
    ASSERT_TRUE(Writer->AddFile(4, Dir.File("plain/sub/x.mp3"), 4));
    Block(4, "abcd", 0, 4);
    ASSERT_TRUE(Log.WaitFor("error 4 0"));
    EXPECT_FALSE(Log.Contains("finished 4 4"));
}

TEST_F(TWriterFixture, RefusesSizesItCannotHold) {
    Start(3);
    // Songs up to 512 MiB.
    EXPECT_FALSE(Writer->AddFile(5, Dir.File("big.mp3"), (std::int64_t{512} << 20) + 1));
    EXPECT_FALSE(Writer->AddFile(5, Dir.File("none.mp3"), 0));
    EXPECT_TRUE(Writer->AddFile(5, Dir.File("max.mp3"), std::int64_t{512} << 20));
}

TEST_F(TWriterFixture, SavesASongUnderTheLongestNameAndLeavesNoTemporaryFile) {
    Start(3);
    // 251 bytes and ".mp3": the longest name a folder holds.
    const std::string name = std::string(251, 'n') + ".mp3";
    const std::string song = zv2::test::SongBytes(3000);
    ASSERT_TRUE(Writer->AddFile(6, Dir.File(name), 3000));
    Block(6, song, 0, 2048);
    Block(6, song, 2048, 952);
    ASSERT_TRUE(Log.WaitFor("finished 6 3000"));
    EXPECT_EQ(ReadFile(Dir.File(name)), song);
    EXPECT_EQ(zv2::test::FileNames(Dir.Path()), std::vector<std::string>{name});
}

TEST_F(TWriterFixture, AFileRemovedBeforeItsLastBlockIsNeverSaved) {
    Start(3);
    const std::string song = zv2::test::SongBytes(100);
    ASSERT_TRUE(Writer->AddFile(8, Dir.File("gone.mp3"), 100));
    Block(8, song, 0, 60);
    ASSERT_TRUE(Log.WaitFor("progress 8 60"));
    Writer->RemoveFile(8);
    Block(8, song, 60, 40);
    ASSERT_TRUE(Writer->AddFile(9, Dir.File("next.mp3"), 10)); // a later file shows the block went by
    Block(9, song, 0, 10);
    ASSERT_TRUE(Log.WaitFor("finished 9 10"));
    EXPECT_EQ(zv2::test::FileNames(Dir.Path()), std::vector<std::string>{"next.mp3"});
    EXPECT_FALSE(Log.Contains("finished 8 100"));
}

namespace {

const TFileOrigin kOrigin{"http://127.0.0.1:8080/file/Song.mp3", "Tue, 08 Dec 2026 20:23:01 GMT", "\"a1-7\"", {}, {}};

// The bytes of `ranges` of the file at `path` and of `song` are the same.
bool SameBytes(const std::string& path, const std::string& song, const std::vector<TByteRange>& ranges) {
    const std::string bytes = ReadFile(path);
    return std::all_of(ranges.begin(), ranges.end(), [&](const TByteRange& r) {
        const auto at = static_cast<std::size_t>(r.Start), length = static_cast<std::size_t>(r.End - r.Start);
        return bytes.size() >= at + length && bytes.compare(at, length, song, at, length) == 0;
    });
}

} // namespace

// At full speed: the record follows the bytes on disk, the close keeps file
// and record, and a writer of a later run goes on with them.
TEST_F(TWriterFixture, AFileWrittenToFileIsRecordedKeptAtTheCloseAndContinuedLater) {
    const std::string song = zv2::test::SongBytes(100000, 3);
    Start(3, true);
    ASSERT_TRUE(Writer->AddFile(1, Dir.File("Song.mp3"), 100000, 1, kOrigin));
    Blocks(1, song, 0, 30000);
    Blocks(1, song, 60000, 70000);
    const auto recorded = zv2::test::WaitForRecord(Dir.Path(), [](const auto& r) { return r.Complete() == 40000; });
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->Record.Url, kOrigin.Url);
    EXPECT_EQ(recorded->Record.Name, "Song.mp3");
    EXPECT_EQ(recorded->Record.Size, 100000);
    EXPECT_EQ(recorded->Record.LastModified, kOrigin.LastModified);
    EXPECT_EQ(recorded->Record.ETag, kOrigin.ETag);
    EXPECT_EQ(recorded->Record.Ranges, (std::vector<TByteRange>{{0, 30000}, {60000, 70000}}));
    EXPECT_TRUE(SameBytes(recorded->Temporary, song, recorded->Record.Ranges));

    Blocks(1, song, 30000, 35000);
    ASSERT_TRUE(Log.WaitFor("progress 1 45000"));
    Writer.reset(); // the close: what arrived stays, recorded
    const TUnfinishedScan scan = ScanUnfinishedSongs(Dir.Path());
    ASSERT_EQ(scan.Songs.size(), 1u);
    const TUnfinishedSong& kept = scan.Songs[0];
    EXPECT_EQ(kept.Temporary, recorded->Temporary);
    EXPECT_EQ(kept.Record.Ranges, (std::vector<TByteRange>{{0, 35000}, {60000, 70000}}));
    EXPECT_TRUE(SameBytes(kept.Temporary, song, kept.Record.Ranges));

    // The next run, at the designed pace: only the rest comes.
    Start(3);
    TFileOrigin origin = kOrigin;
    origin.Temporary = kept.Temporary;
    origin.Complete = kept.Record.Ranges;
    ASSERT_TRUE(Writer->AddFile(2, Dir.File("Song.mp3"), 100000, 2, origin));
    ASSERT_TRUE(Log.WaitFor("progress 2 45000")) << "what it has counts from the start";
    Blocks(2, song, 35000, 60000);
    Blocks(2, song, 70000, 100000);
    ASSERT_TRUE(Log.WaitFor("finished 2 100000"));
    EXPECT_TRUE(ReadFile(Dir.File("Song.mp3")) == song);
    EXPECT_EQ(zv2::test::FileNames(Dir.Path()), std::vector<std::string>{"Song.mp3"}) << "no file or record left";
}

TEST_F(TWriterFixture, AtTheDesignedPaceTheCloseWritesWhatArrivedWithItsRecord) {
    const std::string song = zv2::test::SongBytes(200000, 4);
    Start(3);
    ASSERT_TRUE(Writer->AddFile(1, Dir.File("Song.mp3"), 200000, 3, kOrigin));
    Blocks(1, song, 0, 70000);
    Blocks(1, song, 140000, 141000);
    ASSERT_TRUE(Log.WaitFor("progress 1 71000"));
    EXPECT_TRUE(ScanUnfinishedSongs(Dir.Path()).Songs.empty()) << "in memory while the writer runs";
    Writer.reset();
    const TUnfinishedScan scan = ScanUnfinishedSongs(Dir.Path());
    ASSERT_EQ(scan.Songs.size(), 1u);
    EXPECT_EQ(scan.Songs[0].Record.Ranges, (std::vector<TByteRange>{{0, 70000}, {140000, 141000}}));
    EXPECT_EQ(scan.Songs[0].Record.ETag, kOrigin.ETag);
    EXPECT_TRUE(SameBytes(scan.Songs[0].Temporary, song, scan.Songs[0].Record.Ranges));
}

TEST_F(TWriterFixture, AnUnfinishedFileThatAnotherDownloadHoldsIsNotTaken) {
    std::ofstream(Dir.File(".zv2dl-held01"), std::ios::binary) << std::string(100, 'x');
    const int held = ::open(Dir.File(".zv2dl-held01").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    Start(3);
    TFileOrigin origin = kOrigin;
    origin.Temporary = Dir.File(".zv2dl-held01");
    origin.Complete = {{0, 100}};
    ASSERT_TRUE(Writer->AddFile(1, Dir.File("Song.mp3"), 1000, 1, origin));
    ASSERT_TRUE(Log.WaitFor("error 1 0"));
    Writer->RemoveFile(1);
    Writer.reset();
    EXPECT_EQ(ReadFile(Dir.File(".zv2dl-held01")), std::string(100, 'x')) << "left as it was";
    ::close(held);
}

// The writer's process is killed (SIGKILL) while it saves a large song: the
// song's name then holds nothing or the whole song, and the next start of the
// download list removes the temporary file the save left.
TEST(SaveThreadKilled, LeavesNoPartOfASongUnderItsNameAndTheNextStartClearsTheRest) {
    char self[PATH_MAX] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string child = std::filesystem::path(self).parent_path() / "save_song_child";
    constexpr std::size_t kSize = 96u << 20;
    const std::string song = zv2::test::SongBytes(kSize);
    bool caughtMidSave = false;
    // A kill may land after the save ended; a few tries catch one in the middle.
    for (int attempt = 0; attempt < 3 && !caughtMidSave; ++attempt) {
        TTempDir dir;
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE), 0);
        const std::string size = std::to_string(kSize);
        char* args[] = {const_cast<char*>(child.c_str()), const_cast<char*>(dir.Path().c_str()),
                        const_cast<char*>(size.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, child.c_str(), nullptr, nullptr, args, environ), 0);
        // Killed as soon as the save's temporary file appears.
        bool created = false;
        while (!created) {
            alignas(inotify_event) char events[4096];
            const ssize_t n = ::read(watch, events, sizeof events);
            ASSERT_GT(n, 0);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                created = created || (event->len > 0 && IsTemporarySong(event->name));
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(watch);

        const std::vector<std::string> left = zv2::test::FileNames(dir.Path());
        const bool songThere = std::filesystem::exists(dir.File("Song.mp3"));
        if (songThere) {
            EXPECT_EQ(std::filesystem::file_size(dir.File("Song.mp3")), kSize) << "a whole song or none";
            EXPECT_TRUE(ReadFile(dir.File("Song.mp3")) == song);
        }
        caughtMidSave = std::any_of(left.begin(), left.end(), IsTemporarySong);
        if (caughtMidSave) {
            EXPECT_FALSE(songThere);
        }

        // The next start: the download list over this folder.
        zv2::platform::TQueueDispatcher ui;
        TDownloadList::TOptions options;
        options.SavePath = dir.Path();
        TDownloadList next(ui, options);
        const std::vector<std::string> after = zv2::test::FileNames(dir.Path());
        EXPECT_TRUE(std::none_of(after.begin(), after.end(), IsTemporarySong)) << ::testing::PrintToString(after);
    }
    EXPECT_TRUE(caughtMidSave) << "no kill landed during a save";
}
