// Feeds arbitrary bytes, as a fetched page, through the search page scraper:
// nothing may crash, every pass must consume the page, and the text handed on
// must be valid UTF-8 once the fetch has replaced bad sequences.
#include "catalogue/untPageText.h"
#include "catalogue/untSitePages.h"
#include "http/untHttpFetch.h"
#include "platform/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string page = zv2::platform::ToValidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!zv2::platform::IsValidUtf8(page))
        std::abort();
    for (int pass = 0; pass < 1000; ++pass) {
        const std::size_t before = page.size();
        const auto item = zv2::catalogue::NextSearchItem(page);
        if (!item)
            break;
        if (page.size() >= before)
            std::abort(); // an item that leaves the page as it was would repeat forever
        (void)zv2::catalogue::CleanText(item->SongName);
        (void)zv2::catalogue::CleanText(item->Artist);
    }
    return 0;
}
