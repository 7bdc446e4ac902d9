#pragma once
// What the catalogue reads out of the music site's pages: the song items of a
// search result page, the file address on a song's download page, the charts
// of the chart overview and the songs of a chart page. Pure functions over
// page text (UTF-8); the markers are those the site serves (docs/catalogue-pages.md).
// Each walks its page once, by offset, and takes an optional stop flag: once
// another thread sets it, the scraper gives up at once, as if the page ended
// there.

#include "catalogue/untPageText.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::catalogue {

// One song item of a search result page, as found (not yet cleaned).
struct TSearchItem {
    std::string SongName; // "title=" of the "<a" tag holding "data-songdata"
    std::string SongLink; // its "href=": the song's site path
    std::string Artist;   // "title=" of the next "<a" tag holding "hidefocus"
};

// The next song item at or after the cursor, which moves past it: the first
// piece between "index-num" and "checkbox-item-hook" that holds "title"
// (pieces without it are skipped). Nothing when the page has no further item
// or the cursor's stop flag is set.
std::optional<TSearchItem> NextSearchItem(TPageCursor& page);

// The site path of a song's download page.
std::string DownloadPagePath(std::string_view songLink);

// Shown in place of a file address when the download page has none.
inline constexpr char kNoDownloadLink[] = "未获取链接！";

// The song file's address on its download page: `site` ("host[:port]")
// followed directly by the "downlink=" value of the first "<input" tag
// holding "downlink"; kNoDownloadLink when there is no such tag (or the
// stop flag was set before it was found).
std::string DownloadLinkOf(std::string_view downloadPage, std::string_view site,
                           const std::atomic<bool>* stop = nullptr);

// The path of the chart overview, with its leading "/" (the request line reads "GET //top").
inline constexpr char kChartOverviewPath[] = "/top";
inline constexpr int kChartCount = 17;
inline constexpr int kChartSongCount = 50;

struct TChartEntry {
    std::string Name; // link text, cleaned by CleanChartName
    std::string Link; // "href=": the chart's site path
};

// Exactly kChartCount entries from the part of the overview after "<dt>":
// each the next "<a" ... "</a>" piece holding "href="; missing charts give
// entries with empty texts, and so do those not reached before a stop.
std::vector<TChartEntry> ParseCharts(std::string_view page, const std::atomic<bool>* stop = nullptr);

struct TChartSong {
    std::string Name;   // after 'sname', cleaned by CleanChartName
    std::string Artist; // after 'author', cleaned by CleanChartArtist
};

// Exactly kChartSongCount entries: each from the next "<li" ... ">" tag
// holding "song-item-hook"; missing songs give entries with empty texts, and
// so do those not reached before a stop.
std::vector<TChartSong> ParseChartSongs(std::string_view page, const std::atomic<bool>* stop = nullptr);

// A chart's or a chart song's name as shown: every "\&#039;" (the site's
// escaped apostrophe, backslash included) becomes "'", then every bare
// "&#039;" too, then every "&amp;" becomes "&".
std::string CleanChartName(std::string_view text);

// A chart song's artist as shown: only "&amp;" becomes "&".
std::string CleanChartArtist(std::string_view text);

// One row of the chart song list.
struct TChartSongRow {
    int Index = 0; // the song's position on the chart page, from 1
    std::string Name;
    std::string Artist;
};

// The rows a chart delivery shows: each entry whose name is not blank, numbered
// by its position (a skipped entry leaves a gap).
std::vector<TChartSongRow> ChartSongRows(const std::vector<TChartSong>& songs);

} // namespace zv2::catalogue
