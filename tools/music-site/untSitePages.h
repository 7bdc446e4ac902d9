#pragma once
// The pages of the local music site and lyric site, as text: pure functions,
// no sockets. The markers the program's scrapers look for are listed in
// docs/catalogue-pages.md; every page here holds exactly those.
//
// `site` is the address the client used to reach the site ("host:port" from
// its Host line), so the links a page hands out lead back to this server.

#include "untSiteLibrary.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::site {

// Most songs one search page lists.
constexpr std::size_t SearchPageSize = 20;
// Songs on one chart page.
constexpr std::size_t ChartSize = 50;
// Most lyric results one lyric search page lists.
constexpr std::size_t LyricResults = 10;

// "&" "<" ">" '"' "'" as "&amp;" "&lt;" "&gt;" "&quot;" "&#039;".
std::string EscapeHtml(std::string_view text);
// Runs of "/" as one: the fetchers ask for "//top", "//song/1/download".
std::string CollapseSlashes(std::string_view path);

// Site paths.
std::string SongPath(const TSong& song);    // "/song/<Id>"
std::string FilePath(const TSong& song);    // "/file/<relative path, percent-encoded>"
std::string ChartPath(const TChart& chart); // "/top/<Slug>"
std::string LyricPath(const TLyric& lyric); // "/lrc/<name, percent-encoded>"

// The value of the download page's "downlink=" attribute. The program puts
// the site's host in front of it and the download engine drops everything up
// to "http://", so the file's full address (with the port) follows that:
// "/data/music/file?link=http://<site>/file/...".
std::string DownloadLinkValue(const TSong& song, std::string_view site);

// UTF-8 pages.
std::string SearchPage(const std::vector<const TSong*>& found);
std::string DownloadPage(const TSong& song, std::string_view site, std::uint64_t size);
std::string ChartOverviewPage(const std::vector<TChart>& charts);
std::string ChartPage(const TChart& chart, const std::vector<const TSong*>& songs);
std::string NotFoundPage(std::string_view path);

// The lyric site's result page, in GBK bytes: per result "LRC歌词来自：" and
// the address of the LRC file, up to the next "<".
std::string LyricSearchPage(std::string_view word, const std::vector<const TLyric*>& found, std::string_view site);

// UTF-8 to GBK; a character GBK lacks becomes "?".
std::string ToGbkLossy(std::string_view utf8);

} // namespace zv2::site
