#include "EventLog.h"
#include "FileServer.h"
#include "TempDir.h"
#include "download/untSaveThread.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

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

    void Start(int openLimit) {
        Writer = std::make_unique<TSaveThread>(Pool, openLimit,
                                               TWriterCallbacks{Log.Recorder("opened"), Log.Recorder("progress"),
                                                                Log.Recorder("finished"), Log.Recorder("error")},
                                               0);
    }
    // Queues bytes [offset, offset + length) of `song` as one block in a pool buffer.
    void Block(std::uint32_t key, const std::string& song, std::int64_t offset, std::int32_t length) {
        char* buffer = Pool.GetBuffer();
        const auto available = std::min<std::int64_t>(length, static_cast<std::int64_t>(song.size()) - offset);
        std::memcpy(buffer, song.data() + offset, static_cast<std::size_t>(std::max<std::int64_t>(available, 0)));
        Writer->AddBlock({"", key, offset, length, buffer});
    }
};

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
    EXPECT_FALSE(Writer->AddFile(5, Dir.File("big.mp3"), std::int64_t{1} << 31));
    EXPECT_FALSE(Writer->AddFile(5, Dir.File("none.mp3"), 0));
    EXPECT_TRUE(Writer->AddFile(5, Dir.File("max.mp3"), (std::int64_t{1} << 31) - 1));
}
