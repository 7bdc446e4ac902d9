#include "TempDir.h"
#include "download/untResumeRecord.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace zv2::download;
using zv2::test::TTempDir;

namespace {

TResumeRecord SomeRecord() {
    TResumeRecord record;
    record.Url = "http://127.0.0.1:8080/file/Some Song.mp3";
    record.Name = "Some Song.mp3";
    record.Size = 3000;
    record.LastModified = "Tue, 08 Dec 2026 20:23:01 GMT";
    record.ETag = "\"6930-3000\"";
    record.Ranges = {{0, 1000}, {1500, 2000}};
    return record;
}

// `lines` ended by the check line that a sound record carries: FNV-1a of
// everything before it.
std::string Signed(const std::string& lines) {
    char check[32];
    std::snprintf(check, sizeof check, "check %016llx\n",
                  static_cast<unsigned long long>(zv2::platform::Fnv1a64(lines)));
    return lines + check;
}

} // namespace

TEST(ResumeRecord, ReadsBackWhatItWrote) {
    for (TResumeRecord record : {SomeRecord(), TResumeRecord{
                                                   "u",
                                                   "a.mp3",
                                                   1,
                                                   "",
                                                   "x",
                                                   {{0, 1}},
                                               }}) {
        std::string why;
        const auto read = ParseResumeRecord(FormatResumeRecord(record), why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(read->Url, record.Url);
        EXPECT_EQ(read->Name, record.Name);
        EXPECT_EQ(read->Size, record.Size);
        EXPECT_EQ(read->LastModified, record.LastModified);
        EXPECT_EQ(read->ETag, record.ETag);
        EXPECT_EQ(read->Ranges, record.Ranges);
    }
    EXPECT_EQ(SomeRecord().Complete(), 1500);
}

TEST(ResumeRecord, AnUnsoundRecordIsRefusedAndSaysWhy) {
    const std::string sound = FormatResumeRecord(SomeRecord());
    const std::string head = "zv2 resume 1\nurl u\nname a.mp3\nsize 3000\nlast-modified x\netag \n";
    TResumeRecord beyond = SomeRecord(), overlapping = SomeRecord(), unsorted = SomeRecord(), huge = SomeRecord(),
                  slash = SomeRecord(), control = SomeRecord();
    beyond.Ranges.push_back({2500, 3001});
    overlapping.Ranges = {{0, 1000}, {999, 2000}};
    unsorted.Ranges = {{1500, 2000}, {0, 1000}};
    huge.Size = (std::int64_t{512} << 20) + 1;
    slash.Name = "../x.mp3";
    control.ETag = "\"a\rb\"";
    std::string garbledCheck = sound;
    garbledCheck[sound.find("url ") + 5] ^= 1;
    std::string manyRanges = head;
    for (int i = 0; i < 1025; ++i)
        manyRanges += "range " + std::to_string(2 * i) + " " + std::to_string(2 * i + 1) + "\n";
    struct TCase {
        std::string Text;
        const char* Why; // a word of the reason
    };
    const TCase cases[] = {
        {sound.substr(0, sound.size() / 2), "cut short"},
        {sound.substr(0, sound.size() - 1), "cut short"},
        {"\x7f"
         "ELF\x02\x01 garbage \xff\xfe\n",
         "not a resume record"},
        {"", "not a resume record"},
        {garbledCheck, "checksum"},
        {Signed("zv2 resume 2\nurl u\n"), "version"},
        {FormatResumeRecord(beyond), "range"},
        {FormatResumeRecord(overlapping), "overlap"},
        {FormatResumeRecord(unsorted), "overlap"},
        {FormatResumeRecord(huge), "size"},
        {Signed(head + "range 10 5\n"), "range"},
        {Signed(head + "range 5 x\n"), "range"},
        {Signed(head + "range 1 2 3\n"), "range"},
        {Signed(head + "speed 1 2\n"), "range"},
        {Signed("zv2 resume 1\nurl u\nname a.mp3\n"), "size"},
        {Signed(manyRanges), "too many"},
        {FormatResumeRecord(slash), "name"},
        {FormatResumeRecord(control), "etag"},
        {std::string(kLongestResumeRecord + 1, 'z'), "too long"},
    };
    for (const TCase& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseResumeRecord(c.Text, why)) << c.Text.substr(0, 80);
        EXPECT_NE(why.find(c.Why), std::string::npos) << why << " for " << c.Text.substr(0, 80);
    }
}

// A download folder after runs that ended every way: the start keeps what a
// later run can go on with and clears the rest.
TEST(ScanUnfinishedSongs, KeepsSoundUnfinishedDownloadsAndRemovesTheRest) {
    TTempDir dir;
    const auto make = [&](const std::string& name, std::size_t bytes) {
        std::ofstream(dir.File(name), std::ios::binary) << std::string(bytes, 's');
        return dir.File(name);
    };
    TResumeRecord record = SomeRecord();
    const std::string good = make(".zv2dl-good01", 2000);
    ASSERT_TRUE(WriteResumeRecord(good, record));
    // Damaged: a changed byte.
    const std::string damaged = make(".zv2dl-bad001", 2000);
    std::string text = FormatResumeRecord(record);
    text[text.find("size ") + 5] = '9';
    std::ofstream(ResumeRecordPath(damaged), std::ios::binary) << text;
    // Sound, but its file lacks bytes the record names (cut by a full disk, say).
    ASSERT_TRUE(WriteResumeRecord(make(".zv2dl-short1", 1999), record));
    make(".zv2dl-plain1", 10);                                                     // a save's file, no record
    std::ofstream(dir.File(".zv2dl-gone01.resume")) << FormatResumeRecord(record); // its file went
    std::ofstream(dir.File(".zv2dl-long-name")) << "not ours: another length";
    std::ofstream(dir.File("Song.mp3")) << "a song";
    // A download alive in another process holds its file locked: even a bad record stays.
    const std::string live = make(".zv2dl-LIVE00", 5);
    std::ofstream(ResumeRecordPath(live)) << "being written";
    const int held = ::open(live.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    const TUnfinishedScan scan = ScanUnfinishedSongs(dir.Path());
    ASSERT_EQ(scan.Songs.size(), 1u);
    EXPECT_EQ(scan.Songs[0].Temporary, good);
    EXPECT_EQ(scan.Songs[0].Record.Ranges, record.Ranges);
    EXPECT_EQ(scan.Songs[0].Record.Url, record.Url);
    ASSERT_EQ(scan.Discarded.size(), 2u);
    EXPECT_EQ(scan.Discarded[0].rfind(".zv2dl-bad001.resume: ", 0), 0u) << scan.Discarded[0];
    EXPECT_EQ(scan.Discarded[1].rfind(".zv2dl-short1.resume: ", 0), 0u) << scan.Discarded[1];
    EXPECT_EQ(scan.Removed, 3);
    EXPECT_EQ(zv2::test::FileNames(dir.Path()),
              (std::vector<std::string>{".zv2dl-LIVE00", ".zv2dl-LIVE00.resume", ".zv2dl-good01",
                                        ".zv2dl-good01.resume", ".zv2dl-long-name", "Song.mp3"}));

    // Discarding leaves what a download alive holds.
    DiscardUnfinishedSong(live);
    DiscardUnfinishedSong(good);
    EXPECT_EQ(zv2::test::FileNames(dir.Path()),
              (std::vector<std::string>{".zv2dl-LIVE00", ".zv2dl-LIVE00.resume", ".zv2dl-long-name", "Song.mp3"}));
    ::close(held);
    EXPECT_TRUE(ScanUnfinishedSongs(dir.File("missing")).Songs.empty());
}
