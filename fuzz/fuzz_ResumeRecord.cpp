// Feeds arbitrary bytes to the resume record's reader: nothing may crash, a
// refusal says why, and a record it takes must hold what it promises (ranges
// inside the size, sorted and apart) and be taken again once written anew.
#include "download/untResumeRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zv2::download;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto record = ParseResumeRecord(text, why);
    if (!record) {
        if (why.empty())
            std::abort();
        return 0;
    }
    std::int64_t end = -1;
    for (const TByteRange& range : record->Ranges) {
        if (range.Start <= end || range.Start >= range.End || range.End > record->Size)
            std::abort();
        end = range.End;
    }
    if (!ParseResumeRecord(FormatResumeRecord(*record), why))
        std::abort();
    return 0;
}
