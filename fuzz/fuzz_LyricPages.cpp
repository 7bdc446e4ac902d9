// Feeds arbitrary bytes through the lyric site's search page rule and the
// lyric file reply rule: nothing may crash, a link found is never empty nor
// holds a "<", and a body kept is part of the reply with a lyric line in it.
#include "lyrics/untLRCDisplay.h"
#include "lyrics/untLRCSvr.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> links;
    if (zv2::lyrics::ParseLyricResults(bytes, links) != (links.size() == 1))
        std::abort();
    for (const auto& link : links) {
        if (link.empty() || link.find('<') != std::string::npos)
            std::abort();
    }
    const auto body = zv2::lyrics::LyricFileBody({bytes, zv2::http::TFetchStatus::Complete});
    if (body && (bytes.find(*body) == std::string::npos ||
                 zv2::lyrics::ParseLRC(zv2::lyrics::DecodeLRCText(*body)).Lines.empty()))
        std::abort();
    if (zv2::lyrics::LyricFileBody({bytes, zv2::http::TFetchStatus::Aborted}))
        std::abort();
    return 0;
}
