#include "app/untPinyin.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zv2::app {

namespace {

struct TInitialRange {
    std::uint16_t First; // inclusive
    std::uint16_t Last;  // inclusive
    char Letter;
};

constexpr std::array<TInitialRange, 23> kInitialRanges{{
    {0xB0A1, 0xB0C4, 'A'}, {0xB0C5, 0xB2C0, 'B'}, {0xB2C1, 0xB4ED, 'C'}, {0xB4EE, 0xB6E9, 'D'}, {0xB6EA, 0xB7A1, 'E'},
    {0xB7A2, 0xB8C0, 'F'}, {0xB8C1, 0xB9FD, 'G'}, {0xB9FE, 0xBBF6, 'H'}, {0xBBF7, 0xBFA5, 'J'}, {0xBFA6, 0xC0AB, 'K'},
    {0xC0AC, 0xC2E7, 'L'}, {0xC2E8, 0xC4C2, 'M'}, {0xC4C3, 0xC5B5, 'N'}, {0xC5B6, 0xC5BD, 'O'}, {0xC5BE, 0xC6D9, 'P'},
    {0xC6DA, 0xC8BA, 'Q'}, {0xC8BB, 0xC8F5, 'R'}, {0xC8F6, 0xCBF9, 'S'}, {0xCBFA, 0xCDD9, 'T'}, {0xCDDA, 0xCEF3, 'W'},
    {0xCEF4, 0xD188, 'X'}, {0xD189, 0xD4D0, 'Y'}, {0xD4D1, 0xD7F9, 'Z'},
}};

// Length of the UTF-8 sequence that a lead byte starts (1 for anything else,
// so that bad input still makes progress and fails in the converter).
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

char PinyinInitial(std::string_view gbk) {
    const auto byte = [&](std::size_t i) { return i < gbk.size() ? static_cast<unsigned char>(gbk[i]) : 0u; };
    const unsigned code = byte(0) * 256u + byte(1);
    const auto range = std::find_if(kInitialRanges.begin(), kInitialRanges.end(),
                                    [code](const TInitialRange& r) { return code <= r.Last; });
    if (range == kInitialRanges.end() || code < range->First)
        return ' ';
    return range->Letter;
}

char PinyinInitialOfUtf8(std::string_view utf8) {
    if (utf8.empty())
        return ' ';
    // Only the first character decides, so only it is converted.
    const auto first = utf8.substr(0, Utf8SequenceLength(static_cast<unsigned char>(utf8[0])));
    const auto gbk = platform::Utf8ToGbk(first);
    return gbk ? PinyinInitial(*gbk) : ' ';
}

} // namespace zv2::app
