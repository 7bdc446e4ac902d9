#include "platform/FileSystem.h"

#include "FileSizeLimit.h"
#include "TempDir.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <utility>

using zv2::platform::CopyFileAtomically;
using zv2::platform::ReadWholeFile;
using zv2::platform::RemoveStaleTemporaryFiles;
using zv2::platform::SafeFileName;
using zv2::platform::WriteFileAtomically;
using zv2::test::ReadFile;

TEST(SafeFileName, KeepsEveryNameInsideItsFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"Song.mp3", "Song.mp3"},
        {"../x.mp3", ".._x.mp3"},
        {"a/b.mp3", "a_b.mp3"},
        {"a\\b", "a_b"},
        {std::string("x\0y", 3), "x_y"},
        {"tab\there", "tab_here"},
        {".", "_"},
        {"..", "_"},
        {"", "_"},
        {"小星星.mp3", "小星星.mp3"},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(SafeFileName(name), safe) << name;
    const std::string longName =
        SafeFileName(std::string(100, 'a') + std::string(100, '\xE4') + "\xB8\xAD" + std::string(300, 'b'));
    EXPECT_LE(longName.size(), 255u);
}

namespace {

std::string Bytes(std::size_t size) {
    std::mt19937 random(7);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

TEST(FileSystem, ACopyHoldsEveryByteAndMayReplaceItsOwnSource) {
    zv2::test::TTempDir dir;
    const std::string song = Bytes(300000);
    std::ofstream(dir.File("a.mp3"), std::ios::binary) << song;
    std::ofstream(dir.File("old.mp3")) << "old";
    EXPECT_EQ(CopyFileAtomically(dir.File("a.mp3"), dir.File("new.mp3")), 0);
    EXPECT_EQ(ReadFile(dir.File("new.mp3")), song);
    EXPECT_EQ(CopyFileAtomically(dir.File("a.mp3"), dir.File("old.mp3")), 0);
    EXPECT_EQ(ReadFile(dir.File("old.mp3")), song);
    EXPECT_EQ(CopyFileAtomically(dir.File("a.mp3"), dir.File("a.mp3")), 0);
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), song);
    EXPECT_EQ(zv2::test::FileNames(dir.Path()).size(), 3u);
}

TEST(FileSystem, ACopyThatFailsLeavesTheTargetAsItWasAndNoPartialFile) {
    zv2::test::TTempDir dir;
    std::ofstream(dir.File("target.mp3")) << "old song";
    std::filesystem::create_directory(dir.File("folder"));
    // Reading fails after the target's temporary file was made.
    EXPECT_EQ(CopyFileAtomically(dir.File("folder"), dir.File("target.mp3")), EISDIR);
    EXPECT_EQ(CopyFileAtomically(dir.File("missing.mp3"), dir.File("target.mp3")), ENOENT);
    EXPECT_EQ(ReadFile(dir.File("target.mp3")), "old song");
    EXPECT_EQ(zv2::test::FileNames(dir.Path()).size(), 2u);
    std::ofstream(dir.File("a.mp3")) << "song";
    EXPECT_EQ(CopyFileAtomically(dir.File("a.mp3"), dir.File("no/such/folder/a.mp3")), ENOENT);
}

TEST(FileSystem, EveryNameTheFolderAllowsIsWrittenAndCopiedWhole) {
    zv2::test::TTempDir dir;
    const std::string longest = std::string(251, 'x') + ".mp3"; // 255 bytes
    const std::string song = Bytes(70000);
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(dir.File(longest), song, &error)) << error;
    EXPECT_EQ(ReadFile(dir.File(longest)), song);
    std::filesystem::create_directory(dir.File("disk"));
    EXPECT_EQ(CopyFileAtomically(dir.File(longest), dir.File("disk/" + longest)), 0);
    EXPECT_EQ(ReadFile(dir.File("disk/" + longest)), song);
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{longest, "disk"}));
    EXPECT_EQ(NamesIn(dir.File("disk")), std::set<std::string>{longest});
}

TEST(FileSystem, OnlyTemporaryFilesOfProcessesThatNoLongerRunAreRemoved) {
    zv2::test::TTempDir dir;
    // No process has a number above the largest pid_max Linux allows (2^22).
    const std::string gone = "99999999", running = std::to_string(::getpid());
    const std::set<std::string> removed = {".zv2-" + gone + "-0.tmp", ".zv2-" + gone + "-17.tmp"};
    const std::set<std::string> kept = {".zv2-" + running + "-0.tmp",
                                        ".zv2-" + gone + ".tmp",
                                        ".zv2-" + gone + "-.tmp",
                                        ".zv2-x-1.tmp",
                                        "zv2-" + gone + "-0.tmp",
                                        ".zv2-" + gone + "-0.tmp.mp3",
                                        "song.mp3",
                                        "Download.ini"};
    for (const auto& names : {removed, kept})
        for (const std::string& name : names)
            std::ofstream(dir.File(name)) << "x";
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path()), removed.size());
    EXPECT_EQ(NamesIn(dir.Path()), kept);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.File("no such folder")), 0u);
}

TEST(FileSystem, TheNamesACallerPicksGoWithTheStaleTemporaryFiles) {
    zv2::test::TTempDir dir;
    for (const char* name : {".zv2-99999999-0.tmp", "old.tmp", "old.tmp.mp3", "song.mp3"})
        std::ofstream(dir.File(name)) << "x";
    const auto picked = [](std::string_view name) { return name.ends_with(".tmp"); };
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path(), picked), 2u);
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"old.tmp.mp3", "song.mp3"}));
}

TEST(FileSystem, AWholeFileIsReadWhateverSizeItClaims) {
    zv2::test::TTempDir dir;
    const std::string song = Bytes(300000);
    ASSERT_TRUE(WriteFileAtomically(dir.File("song.mp3"), song));
    std::ofstream(dir.File("empty"));
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(dir.File("song.mp3"), bytes), 0);
    EXPECT_EQ(bytes, song);
    EXPECT_EQ(ReadWholeFile(dir.File("empty"), bytes), 0);
    EXPECT_EQ(bytes, "");
    // The kernel's own files claim no size at all.
    EXPECT_EQ(ReadWholeFile("/proc/self/status", bytes), 0);
    EXPECT_TRUE(bytes.starts_with("Name:") && bytes.ends_with("\n")) << bytes;
    EXPECT_EQ(ReadWholeFile(dir.File("missing"), bytes), ENOENT);
    EXPECT_EQ(bytes, "");
    bytes = "old";
    EXPECT_EQ(ReadWholeFile(dir.Path(), bytes), EISDIR);
    EXPECT_EQ(bytes, "");
}

TEST(FileSystem, AFileWrittenInPiecesHoldsThemAllInOrderOrIsNotWrittenAtAll) {
    zv2::test::TTempDir dir;
    const std::string big = Bytes(200000);
    std::string expected;
    const auto produce = [&](const zv2::platform::TWritePiece& write) {
        // Small pieces fill blocks; one larger than a block goes between them.
        for (int i = 0; i < 30000 && write("line " + std::to_string(i) + "\n"); ++i)
            if (i == 20000 && !write(big))
                return;
    };
    produce([&](std::string_view piece) {
        expected += piece;
        return true;
    });
    ASSERT_TRUE(WriteFileAtomically(dir.File("Download.ini"), produce));
    EXPECT_EQ(ReadFile(dir.File("Download.ini")), expected);

    std::ofstream(dir.File("old.ini")) << "old";
    int acceptedAfterAFailure = 0;
    std::string error;
    {
        const zv2::test::TFileSizeLimit limit(100000); // permissions would not stop root
        EXPECT_FALSE(WriteFileAtomically(
            dir.File("old.ini"),
            [&](const zv2::platform::TWritePiece& write) {
                bool failed = false;
                for (int i = 0; i < 30000; ++i) {
                    const bool written = write("line " + std::to_string(i) + "\n");
                    acceptedAfterAFailure += failed && written;
                    failed = failed || !written;
                }
            },
            &error));
    }
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(acceptedAfterAFailure, 0);
    EXPECT_EQ(ReadFile(dir.File("old.ini")), "old");
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"Download.ini", "old.ini"}));
}
