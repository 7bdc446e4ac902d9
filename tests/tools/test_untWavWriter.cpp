#include "untWavWriter.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using zv2::speaker::TWavWriter;

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

} // namespace

TEST(WavWriter, SizesAreFilledInWhenFinished) {
    zv2::test::TTempDir dir;
    TWavWriter writer;
    ASSERT_TRUE(writer.Open(dir.File("a.wav"), 44100, 2));
    const std::uint8_t pcm[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(writer.Write(pcm, 4));
    ASSERT_TRUE(writer.Write(pcm + 4, 4));
    ASSERT_TRUE(writer.Finish());
    const auto wav = ReadFile(dir.File("a.wav"));
    ASSERT_EQ(wav.size(), 52u);
    EXPECT_EQ(Le32(wav, 4), 44u);
    EXPECT_EQ(Le32(wav, 40), 8u);
    EXPECT_EQ(Le32(wav, 16), 16u);
    EXPECT_EQ(wav[20], 1); // PCM
    EXPECT_EQ(wav[32], 4); // block align
    EXPECT_TRUE(std::equal(pcm, pcm + 8, wav.begin() + 44));
    EXPECT_FALSE(writer.Finish()) << "finished once";
}

TEST(WavWriter, OddDataGetsAPadByteThatIsNotCountedAsData) {
    zv2::test::TTempDir dir;
    {
        TWavWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("odd.wav"), 44100, 2));
        const std::uint8_t pcm[] = {9, 9, 9};
        ASSERT_TRUE(writer.Write(pcm, 3));
    } // the destructor finishes the file
    const auto wav = ReadFile(dir.File("odd.wav"));
    ASSERT_EQ(wav.size(), 48u);
    EXPECT_EQ(Le32(wav, 40), 3u);
    EXPECT_EQ(Le32(wav, 4), 40u);
    EXPECT_EQ(wav.back(), 0);
}
