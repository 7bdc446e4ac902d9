#include "lyrics/untLRCDisplay.h"

#include "platform/Dispatcher.h"
#include "platform/TextCodec.h"

#include "FileSizeLimit.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace zv2::lyrics;
using zv2::platform::TQueueDispatcher;

namespace {

using TTimedText = std::pair<int, std::string>;

std::vector<TTimedText> Flatten(const std::vector<TLyricEntry>& lines) {
    std::vector<TTimedText> out;
    for (const auto& line : lines)
        out.emplace_back(line.Time, *line.Text);
    return out;
}

std::vector<TTimedText> ParseLines(std::string_view text) {
    return Flatten(ParseLRC(text).Lines);
}

class TTempFolder {
public:
    TTempFolder() {
        char name[] = "/tmp/zv2-lrc-XXXXXX";
        Path_ = ::mkdtemp(name);
    }
    ~TTempFolder() { std::filesystem::remove_all(Path_); }
    std::string Write(const std::string& name, std::string_view bytes) const {
        const auto path = (Path_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

private:
    std::filesystem::path Path_;
};

std::string Gbk(std::string_view utf8) {
    return zv2::platform::Utf8ToGbk(utf8).value();
}

} // namespace

TEST(ParseTime, ReadsMinutesSecondsAndHundredths) {
    EXPECT_EQ(ParseTime("01:02.34"), 62340);
    EXPECT_EQ(ParseTime("01:02"), 62000);
    EXPECT_EQ(ParseTime("00:01.5"), 1050);
    EXPECT_EQ(ParseTime("10:00.00"), 600000);
    EXPECT_EQ(ParseTime("02.50"), 2500); // no minutes
}

TEST(ParseTime, ReadsThreeDigitFractionsAsMilliseconds) {
    EXPECT_EQ(ParseTime("00:01.123"), 1123);
    EXPECT_EQ(ParseTime("00:01.050"), 1050);
    EXPECT_EQ(ParseTime("00:01.12345"), 1123);
}

TEST(ParseTime, CountsUnreadablePartsAsZeroAndKeepsTheOthers) {
    EXPECT_EQ(ParseTime("xx:02.50"), 2500);
    EXPECT_EQ(ParseTime("01:yy.50"), 60500);
    EXPECT_EQ(ParseTime("01:02.zz"), 62000);
    EXPECT_EQ(ParseTime("01:02."), 62000);
    EXPECT_EQ(ParseTime(""), 0);
    EXPECT_EQ(ParseTime("chorus"), 0);
}

TEST(ParseTime, HoldsHugeValuesToTheIntegerRange) {
    EXPECT_EQ(ParseTime("2000000000:00.00"), 2147483647);
    EXPECT_EQ(ParseTime("-2000000000:00.00"), -2147483647 - 1);
    EXPECT_EQ(ParseTime("99999999999:01"), 1000); // minutes too large to be an integer count 0
}

TEST(ParseLRC, OrdersLinesByTimeKeepingTheFileOrderOfEqualTimes) {
    EXPECT_EQ(ParseLines("[00:30.00]third\n[00:10.00]first\n[00:20.00]second\n[00:05.00]zero\n"),
              (std::vector<TTimedText>{{5000, "zero"}, {10000, "first"}, {20000, "second"}, {30000, "third"}}));
    EXPECT_EQ(ParseLines("[00:02.00]b\n[00:01.00]x\n[00:02.00]c\n[00:02.00]d\n"),
              (std::vector<TTimedText>{{1000, "x"}, {2000, "b"}, {2000, "c"}, {2000, "d"}}));
}

TEST(ParseLRC, GivesOneEntryPerTimeTagOfALine) {
    const auto lines = ParseLines("[00:10.00][01:10.00]chorus\n[00:20.00]verse\n");
    EXPECT_EQ(lines, (std::vector<TTimedText>{{10000, "chorus"}, {20000, "verse"}, {70000, "chorus"}}));
}

TEST(ParseLRC, TakesTheTextAfterTheLastBracketAndEveryBracketAsATag) {
    // A bracket in the lyric makes a tag of its own, and the text after it is the line's text.
    EXPECT_EQ(ParseLines("[00:03.00]hello [world] again\n"),
              (std::vector<TTimedText>{{0, " again"}, {3000, " again"}}));
    // Two "[" before one "]" make two tags: "00:01[00:02" (seconds unreadable) and "00:02".
    EXPECT_EQ(ParseLines("[00:01[00:02]x\n"), (std::vector<TTimedText>{{0, "x"}, {2000, "x"}}));
    // A line without "[" is no lyric line; an unclosed tag makes no entry.
    EXPECT_TRUE(ParseLines("just text\n[00:04.00\n").empty());
}

TEST(ParseLRC, TheOffsetTagMovesEveryLineOfTheFileAPositiveOneEarlier) {
    struct TCase {
        const char* Text;
        int Offset;
        std::vector<TTimedText> Lines;
    };
    const TCase cases[] = {
        {"[offset:500]\n[00:01.00]a\n[00:02.00]b\n", 500, {{500, "a"}, {1500, "b"}}},
        {"[00:01.00]before\n[offset:500]\n[00:02.00]after\n", 500, {{500, "before"}, {1500, "after"}}},
        {"[offset:-1500]\n[00:01.00]a\n", -1500, {{2500, "a"}}},
        {"[offset:+300]\n[00:01.00]a\n", 300, {{700, "a"}}},
        {"[OFFSET: 250 ]\n[00:01.00]a\n", 250, {{750, "a"}}},
        {"[offset:2000]\n[00:01.00]a\n", 2000, {{-1000, "a"}}},           // due at once
        {"[offset:100]\n[00:01.00]a\n[offset:200]\n", 200, {{800, "a"}}}, // the last tag counts
        {"[offset:700]\n[offset:soon]\n[00:01.00]a\n", 0, {{1000, "a"}}}, // no number: none
        {"[00:01.00]a\n", 0, {{1000, "a"}}},
    };
    for (const TCase& c : cases) {
        const TLRCContent content = ParseLRC(c.Text);
        EXPECT_EQ(content.Offset, c.Offset) << c.Text;
        EXPECT_EQ(Flatten(content.Lines), c.Lines) << c.Text;
    }
}

TEST(WithLRCOffset, SetsTheOffsetTagAndKeepsEveryOtherByteOfTheFile) {
    struct TCase {
        std::string Before;
        int Offset;
        std::string After;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const TCase cases[] = {
        // Without a tag: a new line before the first lyric line, ended as the file's lines are.
        {"[ti:Song]\n[ar:Me]\n[00:01.00]one\n", 500, "[ti:Song]\n[ar:Me]\n[offset:500]\n[00:01.00]one\n"},
        {"[00:01.00]one\r\n[00:02.00]two", 500, "[offset:500]\r\n[00:01.00]one\r\n[00:02.00]two"},
        {"\n\n[00:01.00]a\n", -500, "\n\n[offset:-500]\n[00:01.00]a\n"},
        {bom + "[00:01.00]one\n", 500, bom + "[offset:500]\n[00:01.00]one\n"},
        {"[ti:only]", 500, "[ti:only]\n[offset:500]\n"},
        {"", 500, "[offset:500]\n"},
        // With tags: each becomes the new value, in its place.
        {"[ti:x]\r\n[offset:100]\r\n[00:01.00]one\r\n", -500, "[ti:x]\r\n[offset:-500]\r\n[00:01.00]one\r\n"},
        {"[00:01.00]a\n[Offset: 9 ]\n[00:02.00]b\n[offset:x]", 1000,
         "[00:01.00]a\n[offset:1000]\n[00:02.00]b\n[offset:1000]"},
        // GBK stays GBK.
        {Gbk("[ti:春天]\n[00:01.00]春天来了\n"), 500, Gbk("[ti:春天]\n[offset:500]\n[00:01.00]春天来了\n")},
    };
    for (const TCase& c : cases) {
        const std::string after = WithLRCOffset(c.Before, c.Offset);
        EXPECT_EQ(after, c.After) << c.Before;
        EXPECT_EQ(ParseLRC(DecodeLRCText(after)).Offset, c.Offset) << c.Before;
    }
}

TEST(ParseLRC, ReadsTagsInAnyCaseAndLowerCasesEverything) {
    const auto content = ParseLRC("[TI:Song]\n[AR:The Band]\n[Al:First Album]\n[BY:Someone]\n[00:01.00]Hello World\n");
    EXPECT_EQ(content.Title, "song");
    EXPECT_EQ(content.ArtistText, "艺术家：the band");
    EXPECT_EQ(content.AlbumText, "专辑：first album");
    EXPECT_EQ(content.AuthorText, "歌词制作：someone");
    EXPECT_EQ(Flatten(content.Lines), (std::vector<TTimedText>{{1000, "hello world"}}));
}

TEST(ParseLRC, TakesTheTagValueFromTheFirstColonToTheNextBracket) {
    EXPECT_EQ(ParseLRC("[ti:a:b]tail\n").Title, "a:b");
    EXPECT_EQ(ParseLRC("[ti:open\n").Title, "open");
    EXPECT_EQ(ParseLRC("[ti]\n").Title, "");
}

TEST(ParseLRC, ReadsCrLfAndLfFilesAlike) {
    const std::string lf = "[ti:t]\n[00:01.00]one\n\n[00:02.00]two\n[00:03.00]three";
    const std::string crlf = "[ti:t]\r\n[00:01.00]one\r\n\r\n[00:02.00]two\r\n[00:03.00]three";
    EXPECT_EQ(ParseLines(crlf), ParseLines(lf));
    EXPECT_EQ(ParseLines(lf).size(), 3u);
    EXPECT_EQ(ParseLRC(crlf).Title, "t");
}

TEST(ParseLRC, GivesNoLinesForAFileWithoutLyrics) {
    EXPECT_TRUE(ParseLRC("").Lines.empty());
    EXPECT_TRUE(ParseLRC("[ti:only a title]\n\n\r\n").Lines.empty());
}

TEST(DecodeLRCText, KeepsUtf8WithoutItsByteOrderMarkAndConvertsGbk) {
    EXPECT_EQ(DecodeLRCText("[00:01.00]月亮"), "[00:01.00]月亮");
    EXPECT_EQ(DecodeLRCText("\xEF\xBB\xBF[00:01.00]月亮"), "[00:01.00]月亮");
    EXPECT_EQ(DecodeLRCText(Gbk("[ti:月亮代表我的心]\r\n[00:01.00]你问我爱你有多深\r\n")),
              "[ti:月亮代表我的心]\r\n[00:01.00]你问我爱你有多深\r\n");
}

TEST(DecodeLRCText, ReplacesBytesThatAreNeitherUtf8NorGbkAndKeepsTheOtherLines) {
    const std::string bytes = Gbk("[00:01.00]你好\n") + "[00:02.00]\x80\xFF\n" + Gbk("[00:03.00]再见\n");
    const auto text = DecodeLRCText(bytes);
    EXPECT_TRUE(zv2::platform::IsValidUtf8(text));
    EXPECT_EQ(text, "[00:01.00]你好\n[00:02.00]\xEF\xBF\xBD\xEF\xBF\xBD\n[00:03.00]再见\n");
    EXPECT_EQ(DecodeLRCText("\xEF\xBB\xBF"
                            "ab\xC3"),
              "ab\xEF\xBF\xBD");
}

TEST(DecodeLRCText, ProtectsGbkCharactersWhoseSecondByteLooksLikeABracketOrALetter) {
    // 圓 is B6 41 ("A" as second byte), 嘯 is 87 5B ("["), 員 is 86 54 ("T").
    const auto content = ParseLRC(DecodeLRCText(Gbk("[TI:員]\n[00:01.00]圓月嘯\n")));
    EXPECT_EQ(content.Title, "員");
    EXPECT_EQ(Flatten(content.Lines), (std::vector<TTimedText>{{1000, "圓月嘯"}}));
}

class LRCDisplayTest : public ::testing::Test {
protected:
    LRCDisplayTest() {
        Display.Target = [this](const std::string& text) { Shown.push_back(text); };
    }
    // Runs the timer for `ms` milliseconds and returns what it showed.
    std::vector<std::string> Run(int ms) {
        Shown.clear();
        Dispatcher.AdvanceTime(ms);
        return Shown;
    }

    TTempFolder Folder;
    TQueueDispatcher Dispatcher;
    TLRCDisplay Display{Dispatcher};
    std::vector<std::string> Shown;
};

TEST_F(LRCDisplayTest, ReadsUtf8FilesWithAndWithoutBomAndGbkFilesAlike) {
    const std::string text = "[ti:月亮]\n[ar:歌手]\n[00:01.00]第一句\n";
    for (const auto& bytes : {text, "\xEF\xBB\xBF" + text, Gbk(text)}) {
        Display.LoadFile(Folder.Write("song.lrc", bytes));
        EXPECT_EQ(Display.Title(), "月亮");
        EXPECT_EQ(Display.ArtistText(), "艺术家：歌手");
        ASSERT_EQ(Display.Lines().size(), 1u);
        EXPECT_EQ(*Display.Lines()[0].Text, "第一句");
    }
}

TEST_F(LRCDisplayTest, ShowsTheTitleOnStartAndEachLineWhenTheClockReachesIt) {
    Display.LoadFile(Folder.Write("a.lrc", "[ti:title]\n[00:01.00]one\n[00:01.50]two\n"));
    Display.Start();
    EXPECT_EQ(Shown, std::vector<std::string>{"title"});
    EXPECT_TRUE(Display.Running());
    // The clock starts at 100 ms, so the line at 1000 ms shows on the ninth tick.
    EXPECT_TRUE(Run(800).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"one"});
    EXPECT_EQ(Display.Clock(), 1000);
    EXPECT_TRUE(Run(400).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"two"});
}

TEST_F(LRCDisplayTest, ShowsAtMostOneLinePerTickAndFollowsTheFileTimes) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:00.10]a\n[00:00.12]b\n[00:00.14]c\n[00:00.50]d\n"));
    Display.Start();
    EXPECT_EQ(Run(100), std::vector<std::string>{"a"});
    EXPECT_EQ(Run(100), std::vector<std::string>{"b"});
    EXPECT_EQ(Display.Clock(), 120);
    EXPECT_EQ(Run(100), std::vector<std::string>{"c"});
    // The clock was set back to 140 by "c", so "d" at 500 comes four ticks later.
    EXPECT_TRUE(Run(300).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"d"});
}

TEST_F(LRCDisplayTest, StopsAfterTheLastLineAndLeavesItShown) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:00.20]only\n"));
    Display.Start();
    EXPECT_EQ(Run(100), std::vector<std::string>{"only"});
    EXPECT_TRUE(Display.Running());
    EXPECT_TRUE(Run(100).empty());
    EXPECT_FALSE(Display.Running());
    EXPECT_TRUE(Run(10000).empty());
}

TEST_F(LRCDisplayTest, SetClockBackwardsDoesNotRepeatShownLines) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:01.00]one\n[00:02.00]two\n[00:03.00]three\n"));
    Display.Start();
    Run(1900);
    EXPECT_EQ(Display.NextLine(), 2);
    Display.SetClock(500);
    EXPECT_EQ(Display.NextLine(), 2);
    // From 500 the clock needs 25 ticks to reach "three" at 3000; "one" and "two" stay behind.
    EXPECT_TRUE(Run(2400).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"three"});
}

TEST_F(LRCDisplayTest, SetClockForwardShowsOneDueLinePerTickAndTheClockThenFollowsTheFile) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:01.00]one\n[00:02.00]two\n[00:30.00]far\n"));
    Display.Start();
    Display.SetClock(10000);
    EXPECT_EQ(Run(100), std::vector<std::string>{"one"});
    EXPECT_EQ(Display.Clock(), 1000);
    EXPECT_TRUE(Run(100).empty());
    // The owner sets the clock again (it does so every second) and the next due line follows.
    Display.SetClock(10000);
    EXPECT_EQ(Run(100), std::vector<std::string>{"two"});
}

TEST_F(LRCDisplayTest, PauseStopsTheLinesAndStartGoesOnWithTheTitle) {
    Display.LoadFile(Folder.Write("a.lrc", "[ti:t]\n[00:00.50]a\n[00:01.00]b\n"));
    Display.Start();
    EXPECT_EQ(Run(400), std::vector<std::string>{"a"});
    Display.Pause();
    EXPECT_FALSE(Display.Running());
    EXPECT_TRUE(Run(5000).empty());
    Display.SetClock(600);
    Shown.clear();
    Display.Start();
    EXPECT_EQ(Shown, std::vector<std::string>{"t"});
    EXPECT_TRUE(Run(300).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"b"});
}

TEST_F(LRCDisplayTest, LoadingANewFileWhileRunningRestartsAtItsFirstLine) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:00.20]a1\n[00:00.40]a2\n"));
    Display.Start();
    Run(300);
    const auto path = Folder.Write("b.lrc", "[00:00.20]b1\n[00:00.30]b2\n");
    Display.LoadFile(path);
    EXPECT_EQ(Display.FileName(), path);
    EXPECT_EQ(Display.Clock(), 100);
    EXPECT_EQ(Display.NextLine(), 0);
    EXPECT_EQ(Run(100), std::vector<std::string>{"b1"});
    EXPECT_EQ(Run(100), std::vector<std::string>{"b2"});
}

TEST_F(LRCDisplayTest, ReportsLoadFailureForMissingOrEmptyFiles) {
    Display.LoadFile(Folder.Write("a.lrc", "[00:01.00]a\n"));
    Display.LoadFile("/nonexistent/zv2/none.lrc");
    EXPECT_TRUE(Display.Lines().empty());
    EXPECT_FALSE(Display.Parse());
    Display.Start();
    EXPECT_EQ(Shown, std::vector<std::string>{"加载歌词失败"});
    EXPECT_FALSE(Display.Running());

    Shown.clear();
    Display.LoadFile(Folder.Write("empty.lrc", ""));
    EXPECT_TRUE(Display.Parse());
    Display.Start();
    EXPECT_EQ(Shown, std::vector<std::string>{"加载歌词失败"});
}

TEST_F(LRCDisplayTest, RaisesAnErrorForAFileThatExistsButCannotBeRead) {
    Display.LoadFile(Folder.Write("a.lrc", "[ti:old]\n[00:01.00]a\n"));
    // A regular file whose first bytes cannot be read.
    EXPECT_THROW(Display.LoadFile("/proc/self/mem"), std::system_error);
    EXPECT_TRUE(Display.Lines().empty());
    EXPECT_EQ(Display.Title(), "");
}

TEST_F(LRCDisplayTest, AnOffsetOfHalfASecondShowsEachLineHalfASecondEarlier) {
    Display.LoadFile(Folder.Write("a.lrc", "[offset:500]\n[00:01.00]one\n[00:02.00]two\n"));
    Display.Start();
    // The clock starts at 100 ms: "one", due at 500 ms, shows on the fourth tick.
    EXPECT_TRUE(Run(300).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"one"});
    EXPECT_TRUE(Run(900).empty());
    EXPECT_EQ(Run(100), std::vector<std::string>{"two"});
}

TEST_F(LRCDisplayTest, MovingTheLinesShowsTheLineDueNowAndWritesTheOffsetIntoTheFile) {
    const std::string path = Folder.Write("a.lrc", "[ti:t]\r\n[00:01.00]one\r\n[00:02.00]two\r\n[00:03.00]three\r\n");
    Display.LoadFile(path);
    Display.Start();
    EXPECT_EQ(Run(900), std::vector<std::string>{"one"});
    EXPECT_EQ(Run(600), std::vector<std::string>{}) << "at 1.6 s";

    // Half a second earlier: "two" was due at 1.5 s, and shows at once.
    Shown.clear();
    std::string error;
    EXPECT_TRUE(Display.MoveLines(500, &error)) << error;
    EXPECT_EQ(Shown, std::vector<std::string>{"two"});
    EXPECT_EQ(Display.Offset(), 500);
    EXPECT_EQ(zv2::test::ReadFile(path),
              "[ti:t]\r\n[offset:500]\r\n[00:01.00]one\r\n[00:02.00]two\r\n[00:03.00]three\r\n");
    EXPECT_EQ(Run(1000), std::vector<std::string>{"three"}) << "due at 2.5 s";

    // Twice later: -500 in the file, and a new load reads the lines where they now are.
    EXPECT_TRUE(Display.MoveLines(-500));
    EXPECT_TRUE(Display.MoveLines(-500));
    EXPECT_EQ(Display.Offset(), -500);
    EXPECT_NE(zv2::test::ReadFile(path).find("\r\n[offset:-500]\r\n"), std::string::npos);
    Display.LoadFile(path);
    EXPECT_EQ(Flatten(Display.Lines()), (std::vector<TTimedText>{{1500, "one"}, {2500, "two"}, {3500, "three"}}));
}

TEST_F(LRCDisplayTest, WithoutLinesNothingMovesAndAFileThatCannotBeWrittenIsReported) {
    EXPECT_FALSE(Display.MoveLines(500));
    const std::string path = Folder.Write("a.lrc", "[00:01.00]one\n");
    Display.LoadFile(path);
    std::string error;
    {
        const zv2::test::TFileSizeLimit limit(1); // permissions would not stop root
        EXPECT_FALSE(Display.MoveLines(500, &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Display.Offset(), 500) << "the lines move for this song all the same";
    EXPECT_EQ(zv2::test::ReadFile(path), "[00:01.00]one\n") << "the file stays as it was";
    EXPECT_FALSE(SaveLRCOffset(path + ".missing", 500, &error));
}

TEST_F(LRCDisplayTest, WorksWithoutATarget) {
    Display.Target = nullptr;
    Display.LoadFile(Folder.Write("a.lrc", "[00:00.10]a\n"));
    Display.Start();
    Run(200);
    EXPECT_EQ(Display.NextLine(), 1);
}
