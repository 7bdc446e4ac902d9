#include "app/untSettings.h"

#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

using namespace zv2::app;
using zv2::platform::TIniFile;

namespace {

const std::string kFolder = "/opt/zv2/";

TSettingsData Read(std::string_view text, const std::set<std::string>& existing = {}) {
    auto ini = TIniFile::FromText("x.ini", text);
    return ReadSettings(*ini, kFolder, "127.0.0.1:8089",
                        [&](const std::string& path) { return existing.count(path) > 0; });
}

} // namespace

TEST(Settings, NoFileGivesEveryDefault) {
    const auto d = Read("");
    EXPECT_EQ(d.IP, kDefaultSpeakerAddress);
    EXPECT_EQ(d.SearchURL, "http://127.0.0.1:8089/search?key=");
    EXPECT_EQ(d.SavePath, "/opt/zv2/Music");
    EXPECT_TRUE(d.Music.empty());
    EXPECT_TRUE(d.SearchItems.empty());
    EXPECT_EQ(d.LastPlayed, 0);
    EXPECT_TRUE(d.AutoPlay);
    EXPECT_EQ(d.Filter, 0);
    EXPECT_FALSE(d.QuitConfirm);
    EXPECT_EQ(d.MaxTasks, 5);
    EXPECT_EQ(d.ThreadsPeerTask, 3);
    EXPECT_EQ(d.LRCPath, "/opt/zv2/LRCs/");
    EXPECT_TRUE(d.AutoLyrics);
    EXPECT_TRUE(d.SpeakerMode) << "the speaker, as every start did before the choice was kept";
    EXPECT_EQ(d.Volume, 1500);
}

TEST(Settings, TaskLimitsKeepTheLowByteAndReplaceZeroOrTooMuchByTheLimit) {
    EXPECT_EQ(Read("[Download]\nMaxTasks=0\n").MaxTasks, 5);
    EXPECT_EQ(Read("[Download]\nMaxTasks=261\n").MaxTasks, 5); // low byte 5
    EXPECT_EQ(Read("[Download]\nMaxTasks=258\n").MaxTasks, 2); // low byte 2
    EXPECT_EQ(Read("[Download]\nMaxTasks=6\n").MaxTasks, 5);
    EXPECT_EQ(Read("[Download]\nMaxTasks=-1\n").MaxTasks, 5); // low byte 255
    EXPECT_EQ(Read("[Download]\nThreadsPeerTask=2\n").ThreadsPeerTask, 2);
    EXPECT_EQ(Read("[Download]\nThreadsPeerTask=4\n").ThreadsPeerTask, 3);
    EXPECT_EQ(Read("[Download]\nThreadsPeerTask=abc\n").ThreadsPeerTask, 3);
}

TEST(Settings, OutOfRangeValuesAreIgnoredOrKeptForTheirControls) {
    EXPECT_EQ(Read("[Search]\nFilter=7\n").Filter, 0);
    EXPECT_EQ(Read("[Search]\nFilter=3\n").Filter, 3);
    EXPECT_EQ(Read("[Search]\nFilter=-1\n").Filter, 0);
    // The volume slider limits the volume; the file's value is passed on as read.
    EXPECT_EQ(Read("[History]\nVolume=5000\n").Volume, 5000);
    EXPECT_EQ(Read("[History]\nVolume=99999999999\n").Volume, 1500);
    EXPECT_FALSE(Read("[History]\nAutoPlay=0\n").AutoPlay);
    EXPECT_TRUE(Read("[General]\nQuitConfirm=5\n").QuitConfirm);
    EXPECT_FALSE(Read("[General]\nAutoLyrics=0\n").AutoLyrics);
}

// A switch is read with its default when the value is missing or not a
// number, and written back as 1 or 0.
TEST(Settings, SwitchesKeepTheirDefaultUnlessTheFileSaysOtherwiseAndAreWrittenAsOneOrZero) {
    struct TCase {
        const char* Section;
        const char* Key;
        const char* Value; // nullptr: no line
        bool TSettingsData::*Field;
        bool Expected;
    };
    const TCase cases[] = {
        {"General", "SpeakerMode", nullptr, &TSettingsData::SpeakerMode, true},
        {"General", "SpeakerMode", "0", &TSettingsData::SpeakerMode, false},
        {"General", "SpeakerMode", "x", &TSettingsData::SpeakerMode, true},
        {"Download", "FullSpeed", nullptr, &TSettingsData::FullSpeed, false},
        {"Download", "FullSpeed", "1", &TSettingsData::FullSpeed, true},
        {"Download", "FullSpeed", "x", &TSettingsData::FullSpeed, false},
    };
    for (const TCase& c : cases) {
        const std::string line = c.Value ? std::string(c.Key) + "=" + c.Value + "\n" : "";
        const auto d = Read("[" + std::string(c.Section) + "]\n" + line);
        EXPECT_EQ(d.*c.Field, c.Expected) << c.Key << " " << line;
        auto ini = TIniFile::FromText("x.ini", "");
        WriteSettings(*ini, d);
        EXPECT_EQ(ini->ReadString(c.Section, c.Key, ""), c.Expected ? "1" : "0") << c.Key << " " << line;
    }
}

TEST(Settings, PlaylistDropsFilesThatVanishedAndKeepsTheOrder) {
    const char* text = "[MusicList]\nMusicCount=3\nMusic0=/m/a.mp3\nMusic1=/m/gone.mp3\nMusic2=/m/c.mp3\n";
    const auto d = Read(text, {"/m/a.mp3", "/m/c.mp3"});
    EXPECT_EQ(d.Music, (std::vector<std::string>{"/m/a.mp3", "/m/c.mp3"}));

    auto ini = TIniFile::FromText("x.ini", text);
    WriteSettings(*ini, d);
    EXPECT_EQ(ini->ReadInteger("MusicList", "MusicCount", -1), 2);
    EXPECT_EQ(ini->ReadString("MusicList", "Music1", ""), "/m/c.mp3");
    EXPECT_FALSE(ini->Find("MusicList", "Music2")); // the section was erased first
}

TEST(Settings, PlaylistCountsThatDoNotMatchTheKeysLoseNothing) {
    // A gap in the keys skips one index; a huge count costs no more than the keys there are.
    const auto d = Read("[MusicList]\nMusicCount=2147483647\nMusic0=/a\nMusic2=/c\n", {"/a", "/c"});
    EXPECT_EQ(d.Music, (std::vector<std::string>{"/a", "/c"}));
    EXPECT_TRUE(Read("[MusicList]\nMusicCount=-3\nMusic0=/a\n", {"/a"}).Music.empty());
    EXPECT_EQ(Read("[MusicList]\nMusicCount=1\nMusic0=/a\nMusic1=/b\n", {"/a", "/b"}).Music.size(), 1u);
}

TEST(Settings, PlaylistKeysCountByTheirNumberAsWrittenWhereverTheyStand) {
    // Any case and blanks around the key as the reader reads it, the first of
    // duplicates; no sign, leading zero or blank inside the number.
    const auto d = Read("[MusicList]\nMusic2=/c\nmusic0=/a\nMUSIC0=/dup\nMusic01=/zero\nMusic+1=/plus\nMusic-0=/minus\n"
                        "Music 3=/blank\n Music1 = \"/b\" \nMusicCount=4\n[SearchList]\nSearchItem1=y\nSEARCHITEM0=x\n"
                        "SearchCount=2\n",
                        {"/a", "/b", "/c", "/dup", "/zero", "/plus", "/minus", "/blank"});
    EXPECT_EQ(d.Music, (std::vector<std::string>{"/a", "/b", "/c"}));
    EXPECT_EQ(d.SearchItems, (std::vector<std::string>{"x", "y"}));
}

TEST(Settings, APlaylistSectionAsWrittenNeedNotBeWrittenAgain) {
    const std::set<std::string> files = {"/a", "/b"};
    const std::pair<const char*, bool> sections[] = {
        {"[MusicList]\nMusicCount=2\nMusic0=/a\nMusic1=/b\n", true},
        {"[MusicList]\nmusiccount=2\nMUSIC0=/a\nMusic1= /b\n", true}, // as the reader reads it
        {"[MusicList]\nMusicCount=0\n", true},
        {"", false},                                                     // the count is missing
        {"[MusicList]\nMusicCount=2\nMusic0=/a\nMusic1=/gone\n", false}, // a file vanished
        {"[MusicList]\nMusicCount=3\nMusic0=/a\nMusic2=/b\n", false},    // a gap
        {"[MusicList]\nMusicCount=1\nMusic0=/a\nMusic1=/b\n", false},    // a key beyond the count
        {"[MusicList]\nMusicCount=1\nMusic0=/a\nNote=x\n", false},       // a key of another kind
    };
    for (const auto& [text, asWritten] : sections)
        EXPECT_EQ(Read(text, files).MusicAsWritten, asWritten) << text;

    // Without the playlist, a save leaves its section as it stands.
    auto ini = TIniFile::FromText("x.ini", "[MusicList]\nMusicCount=1\nMusic0=/a\n; mine\n");
    TSettingsData d;
    WriteSettings(*ini, d, false);
    EXPECT_TRUE(ini->Text().starts_with("[MusicList]\nMusicCount=1\nMusic0=/a\n; mine\n")) << ini->Text();
}

TEST(Settings, SearchHistorySkipsBlankItemsAndIsSavedWithoutTheClearItem) {
    const auto d = Read("[SearchList]\nSearchCount=4\nSearchItem0=beyond\nSearchItem1=   \nSearchItem2=周杰伦\n"
                        "SearchItem3=\n");
    EXPECT_EQ(d.SearchItems, (std::vector<std::string>{"beyond", "周杰伦"}));

    TSettingsData three;
    three.SearchItems = {"a", "b", "c"};
    auto ini = TIniFile::FromText("x.ini", "");
    WriteSettings(*ini, three);
    EXPECT_EQ(ini->ReadInteger("SearchList", "SearchCount", -1), 3);
    EXPECT_EQ(ini->ReadString("SearchList", "SearchItem2", ""), "c");
    EXPECT_FALSE(ini->Find("SearchList", "SearchItem3"));
    EXPECT_EQ(ini->Text().find(kClearHistoryItem), std::string::npos);
}

TEST(Settings, SearchUrlIsReadButNeverWritten) {
    auto ini = TIniFile::FromText("x.ini", "[Search]\nSearchURL=http://example.test/find?q=\n");
    const auto d = ReadSettings(*ini, kFolder, "h", [](const std::string&) { return false; });
    EXPECT_EQ(d.SearchURL, "http://example.test/find?q=");
    auto fresh = TIniFile::FromText("x.ini", "");
    WriteSettings(*fresh, d);
    EXPECT_FALSE(fresh->Find("Search", "SearchURL"));
    WriteSettings(*ini, d);
    EXPECT_EQ(ini->ReadString("Search", "SearchURL", ""), "http://example.test/find?q="); // kept as it was
}

TEST(Settings, SavePathMustBeAnExistingFolder) {
    zv2::test::TTempDir dir;
    auto ini = TIniFile::FromText("x.ini", "[General]\nSavePath=" + dir.Path() + "\n");
    EXPECT_EQ(ReadSettings(*ini, kFolder, "h", [](const std::string&) { return false; }).SavePath, dir.Path());
    EXPECT_EQ(Read("[General]\nSavePath=/no/such/folder\n").SavePath, "/opt/zv2/Music");
}

TEST(Settings, AFirstSaveWritesEveryKeyInTheSaveOrder) {
    TSettingsData d;
    d.SavePath = "/h/Music";
    d.LRCPath = "/h/LRCs/";
    auto ini = TIniFile::FromText("x.ini", "");
    WriteSettings(*ini, d);
    EXPECT_EQ(ini->Text(),
              "[ZV2Address]\nIP=10.10.100.254\n"
              "[ZV2Speakers]\nCount=1\nIP0=10.10.100.254\nVolume0=3000\nOn0=1\n"
              "[MusicList]\nMusicCount=0\n"
              "[SearchList]\nSearchCount=0\n"
              "[General]\nSavePath=/h/Music\nQuitConfirm=0\nLRCPath=/h/LRCs/\nAutoLyrics=1\nSpeakerMode=1\n"
              "[History]\nLastPlayed=0\nAutoPlay=1\nVolume=1500\n"
              "[Search]\nFilter=0\n"
              "[Download]\nMaxTasks=5\nThreadsPeerTask=3\nFullSpeed=0\n");
}

TEST(Settings, ABinaryFileGivesTheDefaults) {
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 131 + 7) % 256);
    const auto d = Read(junk);
    EXPECT_EQ(d.IP, kDefaultSpeakerAddress);
    EXPECT_TRUE(d.Music.empty());
    EXPECT_EQ(d.MaxTasks, 5);
    EXPECT_EQ(d.Volume, 1500);
    EXPECT_TRUE(d.AutoPlay);
}

TEST(Settings, PlaylistPathsWithBlanksOrQuotesReadBackExactlyAndALineBreakInjectsNothing) {
    TSettingsData d;
    d.IP = "127.0.0.1";
    d.Music = {" /m/lead.mp3", "/m/trail.mp3\t", "\"/m/quoted.mp3\"", "/m/a\n[ZV2Address]\nIP=10.0.0.9", "/m/b.mp3"};
    auto ini = TIniFile::FromText("x.ini", "");
    WriteSettings(*ini, d);
    const std::set<std::string> existing(d.Music.begin(), d.Music.end());
    const auto back = Read(ini->Text(), existing);
    EXPECT_EQ(back.IP, "127.0.0.1");
    EXPECT_EQ(back.Music,
              (std::vector<std::string>{" /m/lead.mp3", "/m/trail.mp3\t", "\"/m/quoted.mp3\"", "/m/b.mp3"}));
}

TEST(Settings, AWindowsFileInUtf16WithQuotedValuesLoadsEveryValue) {
    std::string file = "\xFF\xFE";
    for (char16_t unit : std::u16string_view(u"[General]\r\nSavePath=\"/tmp\"\r\nQuitConfirm=\"1\"\r\n"
                                             u"[Download]\r\nMaxTasks='2'\r\n[History]\r\nVolume=\"1200\"\r\n")) {
        file += static_cast<char>(unit & 0xFF);
        file += static_cast<char>(unit >> 8);
    }
    const auto d = Read(file);
    EXPECT_EQ(d.SavePath, "/tmp");
    EXPECT_TRUE(d.QuitConfirm);
    EXPECT_EQ(d.MaxTasks, 2);
    EXPECT_EQ(d.Volume, 1200);
}

TEST(Settings, WhatACrashedSaveLeftIsRemovedAndNothingElse) {
    zv2::test::TTempDir home;
    const std::vector<std::string> leftovers = {"Download.ini.tmp4242", ".zv2-99999999-0.tmp"};
    const std::vector<std::string> kept = {"Download.ini", "Download.ini.tmp", "Download.ini.tmpx", "Download.ini.bak"};
    for (const auto& names : {leftovers, kept})
        for (const std::string& name : names)
            std::ofstream(home.File(name)) << "[MusicList]\nMusicCount=1\n";
    RemoveUnfinishedSaves(home.Path() + "/");
    for (const std::string& name : leftovers)
        EXPECT_FALSE(std::filesystem::exists(home.File(name))) << name;
    for (const std::string& name : kept)
        EXPECT_TRUE(std::filesystem::exists(home.File(name))) << name;
}
