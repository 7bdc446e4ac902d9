#include "app/untSpeakerList.h"

#include <gtest/gtest.h>

using namespace zv2::app;
using zv2::platform::TIniFile;

namespace {

std::vector<TSpeakerRow> ReadRows(std::string_view text, const std::string& main = "127.0.0.2") {
    auto ini = TIniFile::FromText("x.ini", text);
    TSpeakerList list;
    list.Read(*ini, main);
    return list.Rows();
}

} // namespace

TEST(SpeakerList, ReadsTheSectionDroppingOrMendingBadRows) {
    const std::string head = "[ZV2Address]\nIP=127.0.0.2\n[ZV2Speakers]\n";
    struct TCase {
        const char* What;
        std::string Section;
        std::vector<TSpeakerRow> Rows;
    };
    const TCase cases[] = {
        {"no section: one speaker, the main one", "", {{"127.0.0.2", 3000, true}}},
        {"three good rows",
         "Count=3\nIP0=127.0.0.2\nVolume0=3000\nOn0=1\nIP1=127.0.0.3\nVolume1=1500\nOn1=1\n"
         "IP2=127.0.0.4\nVolume2=0\nOn2=0\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 1500, true}, {"127.0.0.4", 0, false}}},
        {"an address that does not parse is dropped",
         "Count=4\nIP0=127.0.0.2\nIP1=speaker.local\nIP2=127.0.0.256\nIP3=127.0.0.3\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}}},
        {"volumes out of range are clamped, unreadable ones are full",
         "Count=3\nIP0=127.0.0.3\nVolume0=5000\nIP1=127.0.0.4\nVolume1=-7\nIP2=127.0.0.5\nVolume2=loud\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}, {"127.0.0.4", 0, true}, {"127.0.0.5", 3000, true}}},
        {"a repeated address counts once, the first row wins",
         "Count=3\nIP0=127.0.0.3\nVolume0=100\nIP1= 127.0.0.3 \nVolume1=200\nIP2=127.0.0.2\nOn2=0\n",
         {{"127.0.0.2", 3000, false}, {"127.0.0.3", 100, true}}},
        {"the main speaker's row moves to the top; one is made when missing",
         "Count=2\nIP0=127.0.0.3\nIP1=127.0.0.2\nVolume1=1200\n",
         {{"127.0.0.2", 1200, true}, {"127.0.0.3", 3000, true}}},
        {"rows beyond the count and rows without an address are not read",
         "Count=2\nVolume0=10\nIP1=127.0.0.3\nIP2=127.0.0.4\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}}},
        {"a huge count reads what is there",
         "Count=2147483647\nIP0=127.0.0.3\nJunk=1\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}}},
        {"rows beyond the most that are read",
         "Count=300\nIP0=127.0.0.3\nIP299=127.0.0.4\n",
         {{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}}},
        {"a negative count reads nothing", "Count=-3\nIP0=127.0.0.3\n", {{"127.0.0.2", 3000, true}}},
    };
    for (const auto& c : cases) {
        const std::string text = c.Section.empty() ? "[ZV2Address]\nIP=127.0.0.2\n" : head + c.Section;
        EXPECT_EQ(ReadRows(text), c.Rows) << c.What;
    }
}

TEST(SpeakerList, AFileFromBeforeReadsAsItsOneSpeakerEvenWithAnOddAddress) {
    EXPECT_EQ(ReadRows("[ZV2Address]\nIP=speaker\n", "speaker"), (std::vector<TSpeakerRow>{{"speaker", 3000, true}}));
}

TEST(SpeakerList, AddsEachAddressOnceAndKeepsTheMainSpeaker) {
    TSpeakerList list("127.0.0.2");
    EXPECT_TRUE(list.Add(" 127.0.0.3", true));
    EXPECT_FALSE(list.Add("127.0.0.3", false)) << "listed already";
    EXPECT_FALSE(list.Add("127.0.0.2", true)) << "the main speaker";
    EXPECT_FALSE(list.Add("nowhere", true));
    EXPECT_TRUE(list.Add("127.0.0.4", false));
    EXPECT_FALSE(list.Remove(0)) << "the main speaker stays";
    EXPECT_FALSE(list.Remove(3));
    EXPECT_TRUE(list.SetVolume(1, 4000));
    EXPECT_TRUE(list.Remove(2));
    EXPECT_EQ(list.Rows(), (std::vector<TSpeakerRow>{{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}}));

    // "连接设备" to a listed speaker: it becomes the main one, listed once.
    list.SetMain("127.0.0.3");
    EXPECT_EQ(list.Rows(), (std::vector<TSpeakerRow>{{"127.0.0.3", 3000, true}}));
}

TEST(SpeakerList, WritesEveryRowAndReadsThemBack) {
    TSpeakerList list("127.0.0.2");
    list.Add("127.0.0.3", true);
    list.Add("127.0.0.4", false);
    list.SetVolume(1, 1500);
    auto ini = TIniFile::FromText("x.ini", "[ZV2Speakers]\nIP9=127.0.0.9\n");
    list.Write(*ini);
    EXPECT_EQ(ini->Text(), "[ZV2Speakers]\nCount=3\nIP0=127.0.0.2\nVolume0=3000\nOn0=1\nIP1=127.0.0.3\nVolume1=1500\n"
                           "On1=1\nIP2=127.0.0.4\nVolume2=3000\nOn2=0\n");
    EXPECT_EQ(ReadRows(ini->Text()), list.Rows());
}
