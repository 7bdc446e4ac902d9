// Feeds arbitrary bytes, cut into arbitrary chunks, through the segment
// reader and the size probe's reply rule: nothing may crash, no chunk may
// yield more body than it held, and the body must arrive contiguously and
// never beyond the range.
#include "download/untSegmentReader.h"
#include "download/untTaskThread.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    // The first bytes choose the range and the chunk size.
    const std::int64_t start = data[0] * 7, length = data[1] * 13;
    const std::size_t chunk = 1 + data[2] % 64;
    const std::string_view reply(reinterpret_cast<const char*>(data) + 3, size - 3);
    (void)zv2::download::ParseProbeReply(reply);

    zv2::download::TSegmentReader reader(start, length);
    std::vector<char> buffer(2048);
    std::int64_t next = start;
    for (std::size_t at = 0; at < reply.size(); at += chunk) {
        const std::size_t n = std::min(chunk, reply.size() - at);
        std::memcpy(buffer.data(), reply.data() + at, n);
        std::size_t body = 0;
        std::int64_t offset = 0;
        const auto state = reader.Take(buffer.data(), n, body, offset);
        if (body > n || (body > 0 && offset != next))
            std::abort();
        next += static_cast<std::int64_t>(body);
        if (state != zv2::download::TSegmentReader::TState::More)
            break;
    }
    if (next - start > length + 1)
        std::abort();
    return 0;
}
