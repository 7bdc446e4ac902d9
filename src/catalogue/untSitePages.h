#pragma once
// What the catalogue reads out of the music site's pages: the song items of a
// search result page, the file address on a song's download page, the charts
// of the chart overview and the songs of a chart page. Pure functions over
// page text (UTF-8); the markers are those the site serves (docs/catalogue-pages.md).

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

// Takes the next song item off the front of `page`: the first piece between
// "index-num" and "checkbox-item-hook" that holds "title" (pieces without it
// are skipped). Nothing when the page has no further item.
std::optional<TSearchItem> NextSearchItem(std::string& page);

// The site path of a song's download page.
std::string DownloadPagePath(std::string_view songLink);

// Shown in place of a file address when the download page has none.
inline constexpr char kNoDownloadLink[] = "未获取链接！";

// The song file's address on its download page: `site` ("host[:port]")
// followed directly by the "downlink=" value of the first "<input" tag
// holding "downlink"; kNoDownloadLink when there is no such tag.
std::string DownloadLinkOf(std::string_view downloadPage, std::string_view site);

// The path of the chart overview, with its leading "/" (the request line reads "GET //top").
inline constexpr char kChartOverviewPath[] = "/top";
inline constexpr int kChartCount = 17;
inline constexpr int kChartSongCount = 50;

struct TChartEntry {
    std::string Name; // link text, with "&#039;" as "'" and "&amp;" as "&"
    std::string Link; // "href=": the chart's site path
};

// Exactly kChartCount entries from the part of the overview after "<dt>":
// each the next "<a" ... "</a>" piece holding "href="; missing charts give
// entries with empty texts.
std::vector<TChartEntry> ParseCharts(std::string_view page);

struct TChartSong {
    std::string Name;   // after 'sname', "&#039;" as "'" and "&amp;" as "&"
    std::string Artist; // after 'author', "&amp;" as "&" (nothing else replaced)
};

// Exactly kChartSongCount entries: each from the next "<li" ... ">" tag
// holding "song-item-hook"; missing songs give entries with empty texts.
std::vector<TChartSong> ParseChartSongs(std::string_view page);

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
