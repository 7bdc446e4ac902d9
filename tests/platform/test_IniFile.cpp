#include "platform/IniFile.h"

#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using zv2::platform::TIniFile;

TEST(IniFile, MatchesSectionsAndKeysWithoutRegardToCase) {
    auto ini = TIniFile::FromText("x.ini", "[History]\nVolume=1200\n[general]\nSavePath = /music \n");
    EXPECT_EQ(ini->ReadInteger("HISTORY", "volume", 0), 1200);
    EXPECT_EQ(ini->ReadString("General", "SAVEPATH", ""), "/music");
    EXPECT_EQ(ini->ReadString("General", "Missing", "def"), "def");
    EXPECT_EQ(ini->ReadString("Nowhere", "Volume", "def"), "def");
}

TEST(IniFile, IntegersThatAreNotWholeDecimalNumbersGiveTheDefault) {
    auto ini = TIniFile::FromText("x.ini", "[a]\nneg=-12\nplus=+7\njunk=12abc\nempty=\nhuge=99999999999\nhex=0x10\n");
    EXPECT_EQ(ini->ReadInteger("a", "neg", 0), -12);
    EXPECT_EQ(ini->ReadInteger("a", "plus", 0), 7);
    EXPECT_EQ(ini->ReadInteger("a", "junk", 5), 5);
    EXPECT_EQ(ini->ReadInteger("a", "empty", 5), 5);
    EXPECT_EQ(ini->ReadInteger("a", "huge", 5), 5);
    EXPECT_EQ(ini->ReadInteger("a", "hex", 5), 5);
}

TEST(IniFile, BooleansAreIntegersWhereAnyNonZeroValueIsTrue) {
    auto ini = TIniFile::FromText("x.ini", "[a]\non=1\noff=0\ntwo=2\nword=yes\n");
    EXPECT_TRUE(ini->ReadBool("a", "on", false));
    EXPECT_FALSE(ini->ReadBool("a", "off", true));
    EXPECT_TRUE(ini->ReadBool("a", "two", false));
    EXPECT_TRUE(ini->ReadBool("a", "word", true));
    EXPECT_FALSE(ini->ReadBool("a", "word", false));
    EXPECT_TRUE(ini->ReadBool("a", "missing", true));
}

TEST(IniFile, WritingKeepsCommentsOtherSectionsAndTheFirstOfDuplicates) {
    const char* text =
        "; made by hand\n[Other]\nkeep=me\n\n[History]\n; volume below\nVolume=10\nvolume=20\n\n[Tail]\nx=1\n";
    auto ini = TIniFile::FromText("x.ini", text);
    EXPECT_EQ(ini->ReadInteger("History", "Volume", 0), 10);
    ini->WriteInteger("history", "VOLUME", 3000);
    ini->WriteString("History", "LastPlayed", "4");
    ini->WriteString("New", "k", "v");
    EXPECT_EQ(ini->Text(), "; made by hand\n[Other]\nkeep=me\n\n[History]\n; volume below\nVolume=3000\nvolume=20\n"
                           "LastPlayed=4\n\n[Tail]\nx=1\n[New]\nk=v\n");
}

TEST(IniFile, ThousandsOfKeysReadAndWrittenInAnyCaseKeepTheirPlaces) {
    auto ini = TIniFile::FromText("x.ini", "[MusicList]\nmusic0=first\nMUSIC0=second\n\n[Tail]\nx=1\n");
    // Each new key goes before the blank line, moving it down.
    for (int i = 1; i < 3000; ++i)
        ASSERT_TRUE(ini->WriteString("musiclist", "Music" + std::to_string(i), std::to_string(i)));
    ini->WriteString("MusicList", "Music0", "zero");
    EXPECT_EQ(ini->KeyCount("MusicList"), 3000u);
    EXPECT_EQ(ini->ReadString("MusicList", "MUSIC0", ""), "zero");
    for (int i = 1; i < 3000; ++i)
        ASSERT_EQ(ini->ReadInteger("MusicList", "mUsIc" + std::to_string(i), 0), i);
    std::string expected = "[MusicList]\nmusic0=zero\nMUSIC0=second\n";
    for (int i = 1; i < 3000; ++i)
        expected += "Music" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    EXPECT_EQ(ini->Text(), expected + "\n[Tail]\nx=1\n");
}

TEST(IniFile, EachKeyIsVisitedOnceInFileOrderWithTheValueFindGives) {
    auto ini = TIniFile::FromText("x.ini", "[a]\n; c=comment\nb = 'two' \nA=1\nB=dup\nodd line\n[A]\nc=3\n[d]\n");
    ini->WriteString("a", "new", " x ");
    std::vector<std::pair<std::string, std::string>> seen;
    ini->ForEachKey("A", [&](std::string_view key, std::string_view value) { seen.emplace_back(key, value); });
    using TSeen = decltype(seen);
    EXPECT_EQ(seen, (TSeen{{"b", "two"}, {"A", "1"}, {"new", " x "}}));
    seen.clear();
    ini->ForEachKey("d", [&](std::string_view key, std::string_view value) { seen.emplace_back(key, value); });
    ini->ForEachKey("none", [&](std::string_view key, std::string_view value) { seen.emplace_back(key, value); });
    EXPECT_TRUE(seen.empty());
}

TEST(IniFile, EraseSectionRemovesEveryCopyOfIt) {
    auto ini = TIniFile::FromText("x.ini", "[MusicList]\nMusic0=a\n[Other]\nx=1\n[musiclist]\nMusic1=b\n");
    ini->EraseSection("MUSICLIST");
    EXPECT_FALSE(ini->SectionExists("MusicList"));
    EXPECT_EQ(ini->Text(), "[Other]\nx=1\n");
    ini->WriteInteger("MusicList", "MusicCount", 0);
    EXPECT_EQ(ini->KeyCount("MusicList"), 1u);
}

TEST(IniFile, ReadsCrLfFilesAndBinaryJunkWithoutTrouble) {
    std::string junk = "[History]\r\nVolume=700\r\n";
    junk += std::string("\0\xff\xfe[\x01=\n=\n[]\n]]]=[[[\n", 20);
    junk += "[Download]\r\nMaxTasks=3\r\n";
    auto ini = TIniFile::FromText("x.ini", junk);
    EXPECT_EQ(ini->ReadInteger("History", "Volume", 0), 700);
    EXPECT_EQ(ini->ReadInteger("Download", "MaxTasks", 0), 3);
}

TEST(IniFile, SaveCreatesTheFileAndAFailedSaveKeepsTheOldOne) {
    zv2::test::TTempDir dir;
    const std::string path = dir.Path() + "/Download.ini";
    {
        TIniFile ini(path);
        EXPECT_TRUE(ini.LoadError().empty());
        ini.WriteInteger("History", "Volume", 1500);
        std::string error;
        ASSERT_TRUE(ini.Save(&error)) << error;
    }
    TIniFile again(path);
    EXPECT_EQ(again.ReadInteger("History", "Volume", 0), 1500);

    if (::geteuid() != 0) { // root may write anywhere, so the read-only case only holds for users
        ::chmod(dir.Path().c_str(), 0500);
        again.WriteInteger("History", "Volume", 1);
        std::string error;
        EXPECT_FALSE(again.Save(&error));
        EXPECT_FALSE(error.empty());
        ::chmod(dir.Path().c_str(), 0700);
    }
    const std::string missingFolder = dir.Path() + "/no/such/folder/Download.ini";
    TIniFile elsewhere(missingFolder);
    elsewhere.WriteInteger("History", "Volume", 1);
    std::string error;
    EXPECT_FALSE(elsewhere.Save(&error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    EXPECT_EQ(TIniFile(path).ReadInteger("History", "Volume", 0), 1500);
}

using zv2::test::ReadFile;

namespace {

// UTF-16LE bytes of a text, as a Windows editor saves it (the compiler does the encoding).
std::string Utf16Le(std::u16string_view text, bool bom = true) {
    std::string out = bom ? std::string("\xFF\xFE") : std::string();
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

} // namespace

TEST(IniFile, AValueInOnePairOfMatchingQuotesIsReadWithoutThem) {
    const struct {
        const char* Line;
        const char* Value;
    } cases[] = {
        {R"(v="D:\My Music")", R"(D:\My Music)"},
        {"v='single'", "single"},
        {R"(v = "  blanks kept inside  "  )", "  blanks kept inside  "},
        {R"(v="")", ""},
        {R"(v="""")", R"("")"}, // only one pair goes
        {R"(v=")", R"(")"},
        {R"(v="open)", R"("open)"},
        {R"(v="mixed')", R"("mixed')"},
        {R"(v=in "the" middle)", R"(in "the" middle)"},
    };
    for (const auto& c : cases) {
        auto ini = TIniFile::FromText("x.ini", std::string("[a]\n") + c.Line + "\n");
        EXPECT_EQ(ini->ReadString("a", "v", "def"), c.Value) << c.Line;
    }
    auto ini = TIniFile::FromText("x.ini", "[History]\nVolume=\"1200\"\nAutoPlay='0'\n");
    EXPECT_EQ(ini->ReadInteger("History", "Volume", 1500), 1200);
    EXPECT_FALSE(ini->ReadBool("History", "AutoPlay", true));
}

TEST(IniFile, EveryValueWrittenReadsBackExactly) {
    const std::string values[] = {"plain",      " leading", "trailing\t", "\"quoted\"", "'single'",        "\"",
                                  " \"both\" ", "\"open",   "",           "中文 ",      "\xB8\xE8\xB4\xCA"};
    for (const char* start : {"", "\xFF\xFE"}) {
        auto ini = TIniFile::FromText("x.ini", start);
        for (std::size_t i = 0; i < std::size(values); ++i)
            ASSERT_TRUE(ini->WriteString("MusicList", "Music" + std::to_string(i), values[i]));
        auto again = TIniFile::FromText("x.ini", ini->Text());
        for (std::size_t i = 0; i < std::size(values); ++i)
            EXPECT_EQ(again->Find("MusicList", "Music" + std::to_string(i)), values[i]) << i;
    }
}

TEST(IniFile, AValueWithALineBreakIsRefusedAndInjectsNothing) {
    auto ini = TIniFile::FromText("x.ini", "[ZV2Address]\nIP=127.0.0.1\n");
    const std::string before = ini->Text();
    EXPECT_FALSE(ini->WriteString("MusicList", "Music0", "/m/a\n[ZV2Address]\nIP=10.0.0.9"));
    EXPECT_FALSE(ini->WriteString("MusicList", "Music0", "/m/a\rb"));
    EXPECT_FALSE(ini->WriteString("MusicList", "Mu=sic", "x"));
    EXPECT_FALSE(ini->WriteString("Music]List", "Music0", "x"));
    EXPECT_EQ(ini->Text(), before);
    EXPECT_FALSE(ini->SectionExists("MusicList"));
}

TEST(IniFile, AUtf16FileIsReadInFullAndSavedWholeInUtf16) {
    zv2::test::TTempDir dir;
    const std::string path = dir.File("Download.ini");
    std::ofstream(path, std::ios::binary)
        << Utf16Le(u"; 设置\r\n[General]\r\nSavePath=\"/home/用户/My Music\"\r\n[History]\r\nVolume=1200\r\n");
    {
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadString("General", "SavePath", ""), "/home/用户/My Music");
        EXPECT_EQ(ini.ReadInteger("History", "Volume", 0), 1200);
        ini.WriteInteger("History", "Volume", 3000);
        ini.WriteString("MusicList", "Music0", "/音乐/歌.mp3");
        ASSERT_TRUE(ini.Save());
    }
    EXPECT_EQ(ReadFile(path), Utf16Le(u"; 设置\r\n[General]\r\nSavePath=\"/home/用户/My Music\"\r\n[History]\r\n"
                                      u"Volume=3000\r\n[MusicList]\r\nMusic0=/音乐/歌.mp3\r\n"));
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("MusicList", "Music0", ""), "/音乐/歌.mp3");
}

TEST(IniFile, AUtf16FileWhoseTextStartsWithAByteOrderMarkKeepsItAsText) {
    const std::string text = Utf16Le(u"\uFEFF[History]\r\nVolume=1\r\n");
    auto ini = TIniFile::FromText("x.ini", text);
    ini->WriteInteger("Download", "MaxTasks", 2);
    EXPECT_EQ(ini->Text(), text + Utf16Le(u"[Download]\r\nMaxTasks=2\r\n", false));
}

TEST(IniFile, EightBitFilesKeepTheirLineEndsAndBytes) {
    // "歌词" in GBK, and a GBK character whose second byte is "\".
    const std::string gbk = "\xB8\xE8\xB4\xCA\x81\x5C";
    auto crlf = TIniFile::FromText("x.ini", "[SearchList]\r\nSearchItem0=" + gbk + "\r\n\r\n[History]\r\nVolume=1\r\n");
    EXPECT_EQ(crlf->ReadString("SearchList", "SearchItem0", ""), gbk);
    crlf->WriteInteger("History", "Volume", 2);
    crlf->WriteInteger("History", "LastPlayed", 3);
    EXPECT_EQ(crlf->Text(), "[SearchList]\r\nSearchItem0=" + gbk + "\r\n\r\n[History]\r\nVolume=2\r\nLastPlayed=3\r\n");

    auto bom = TIniFile::FromText("x.ini", "\xEF\xBB\xBF[History]\nVolume=5\n");
    EXPECT_EQ(bom->ReadInteger("History", "Volume", 0), 5);
    bom->WriteInteger("History", "Volume", 6);
    EXPECT_EQ(bom->Text(), "\xEF\xBB\xBF[History]\nVolume=6\n");
}
