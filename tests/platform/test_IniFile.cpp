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
