#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace zv2::platform;

TEST(TextCodec, ChineseTextRoundTripsThroughGbk) {
    const std::string utf8 = "中文歌曲.mp3";
    auto gbk = Utf8ToGbk(utf8);
    ASSERT_TRUE(gbk);
    ASSERT_GE(gbk->size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>((*gbk)[0]), 0xD6); // 中 is 0xD6D0 in GBK
    EXPECT_EQ(static_cast<unsigned char>((*gbk)[1]), 0xD0);
    EXPECT_EQ(GbkToUtf8(*gbk), utf8);
}

TEST(TextCodec, UnconvertibleTextGivesNothing) {
    EXPECT_FALSE(Utf8ToGbk("\xF0\x9F\x8E\xB5 note")); // an emoji has no GBK code
    EXPECT_FALSE(Utf8ToGbk("\xFF\xFE"));
    EXPECT_FALSE(GbkToUtf8("\xD6")); // cut in the middle of a character
    EXPECT_EQ(Utf8ToGbk(""), std::string());
}

TEST(TextCodec, RecognisesWellFormedUtf8) {
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_TRUE(IsValidUtf8("歌词"));
    EXPECT_FALSE(IsValidUtf8("\xB8\xE8\xB4\xCA")); // 歌词 in GBK
    EXPECT_FALSE(IsValidUtf8("\xE6\xAD"));         // cut
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
}

TEST(TextCodec, Utf16LeRoundTripsEveryByteString) {
    EXPECT_EQ(Utf8ToUtf16Le("A中"), std::string("A\0\x2D\x4E", 4));
    EXPECT_EQ(Utf8ToUtf16Le("\xF0\x9F\x8E\xB5"), "\x3C\xD8\xB5\xDF"); // U+1F3B5 as a surrogate pair
    EXPECT_EQ(Utf16LeToUtf8("\x3C\xD8\xB5\xDF"), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8"
                                        "A\0",
                                        4)),
              "\xEF\xBF\xBD"
              "A");                                        // a lone high surrogate
    EXPECT_EQ(Utf16LeToUtf8(std::string("A\0B", 3)), "A"); // an odd last byte
    for (const std::string& bytes : {std::string("\xB8\xE8\xB4\xCA"), std::string("\xFF\xFE\x80", 3),
                                     std::string("a\0b", 3), std::string("\xED\xA0\x80")}) {
        EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(bytes)), bytes);
    }
}

TEST(TextCodec, ToValidUtf8KeepsWellFormedTextAndReplacesEachIllFormedPart) {
    const struct {
        std::string In, Out;
    } cases[] = {
        {"plain 中文 \xF0\x9F\x8E\xB5", "plain 中文 \xF0\x9F\x8E\xB5"},
        {"\x80", "\xEF\xBF\xBD"},
        {"\xE0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                 // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // above U+10FFFF
        {"\xE6\xAD", "\xEF\xBF\xBD"},                                             // cut at the end
        {"\xF0\x9F\x8E"
         "x",
         "\xEF\xBF\xBDx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToValidUtf8(c.In), c.Out);
}

TEST(TextCodec, Fnv1a64GivesThePublishedValues) {
    // The test vectors published with the FNV hash.
    EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(Fnv1a64("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(Fnv1a64Hex("foobar"), "85944171f73967e8");
}
