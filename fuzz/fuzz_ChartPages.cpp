// Feeds arbitrary bytes through the chart overview and chart page scrapers:
// nothing may crash, and each always gives its fixed number of entries.
#include "catalogue/untSitePages.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    if (zv2::catalogue::ParseCharts(page).size() != zv2::catalogue::kChartCount)
        std::abort();
    const auto songs = zv2::catalogue::ParseChartSongs(page);
    if (songs.size() != zv2::catalogue::kChartSongCount)
        std::abort();
    const auto rows = zv2::catalogue::ChartSongRows(songs);
    if (rows.size() > songs.size())
        std::abort();
    return 0;
}
