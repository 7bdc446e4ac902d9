#include "platform/FileSystem.h"

#include "TempDir.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

using zv2::platform::CopyFileAtomically;
using zv2::test::ReadFile;

namespace {

std::string Bytes(std::size_t size) {
    std::mt19937 random(7);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

std::size_t FilesIn(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
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
    EXPECT_EQ(FilesIn(dir.Path()), 3u);
}

TEST(FileSystem, ACopyThatFailsLeavesTheTargetAsItWasAndNoPartialFile) {
    zv2::test::TTempDir dir;
    std::ofstream(dir.File("target.mp3")) << "old song";
    std::filesystem::create_directory(dir.File("folder"));
    // Reading fails after the target's temporary file was made.
    EXPECT_EQ(CopyFileAtomically(dir.File("folder"), dir.File("target.mp3")), EISDIR);
    EXPECT_EQ(CopyFileAtomically(dir.File("missing.mp3"), dir.File("target.mp3")), ENOENT);
    EXPECT_EQ(ReadFile(dir.File("target.mp3")), "old song");
    EXPECT_EQ(FilesIn(dir.Path()), 2u);
    std::ofstream(dir.File("a.mp3")) << "song";
    EXPECT_EQ(CopyFileAtomically(dir.File("a.mp3"), dir.File("no/such/folder/a.mp3")), ENOENT);
}
