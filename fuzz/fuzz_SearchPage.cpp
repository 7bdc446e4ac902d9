// Feeds arbitrary bytes, as a fetched page, through the search page scraper:
// nothing may crash, every item found must move the cursor on, and the text handed on
// must be valid UTF-8 once the fetch has replaced bad sequences.
#include "catalogue/untPageText.h"
#include "catalogue/untSitePages.h"
#include "http/untHttpFetch.h"
#include "platform/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = zv2::platform::ToValidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!zv2::platform::IsValidUtf8(text))
        std::abort();
    zv2::catalogue::TPageCursor page(text);
    for (;;) {
        const std::size_t before = page.At;
        const auto item = zv2::catalogue::NextSearchItem(page);
        if (!item)
            break;
        if (page.At <= before)
            std::abort(); // an item that leaves the cursor where it was would repeat forever
        (void)zv2::catalogue::CleanText(item->SongName);
        (void)zv2::catalogue::CleanText(item->Artist);
    }
    return 0;
}
