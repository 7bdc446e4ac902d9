// Feeds arbitrary bytes through the lyric decoder and parser: nothing may
// crash, the text must come out as UTF-8 and the lines sorted by time; the
// same bytes with an offset set must read back with that offset.
#include "lyrics/untLRCDisplay.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto text = zv2::lyrics::DecodeLRCText(bytes);
    if (!zv2::platform::IsValidUtf8(text))
        std::abort();
    const auto content = zv2::lyrics::ParseLRC(text);
    const auto byTime = [](const zv2::lyrics::TLyricEntry& a, const zv2::lyrics::TLyricEntry& b) {
        return a.Time < b.Time;
    };
    if (!std::is_sorted(content.Lines.begin(), content.Lines.end(), byTime))
        std::abort();
    for (const auto& line : content.Lines) {
        if (!line.Text || line.Text->find('\n') != std::string::npos)
            std::abort();
    }
    const auto moved = zv2::lyrics::WithLRCOffset(bytes, -1234);
    if (zv2::lyrics::ParseLRC(zv2::lyrics::DecodeLRCText(moved)).Offset != -1234)
        std::abort();
    (void)zv2::lyrics::ParseTime(bytes);
    return 0;
}
