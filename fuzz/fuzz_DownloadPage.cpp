// Feeds arbitrary bytes, as a song's download page, through the link scraper:
// nothing may crash, and the result is either the site followed by a link or
// the "no link" text.
#include "catalogue/untSitePages.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const std::string link = zv2::catalogue::DownloadLinkOf(page, "127.0.0.1:8080");
    if (link != zv2::catalogue::kNoDownloadLink && !link.starts_with("127.0.0.1:8080"))
        std::abort();
    return 0;
}
