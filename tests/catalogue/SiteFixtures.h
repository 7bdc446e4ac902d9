#pragma once
// Small pages in the music site's shape, made by the tests: search result
// pages, download pages, the chart overview and chart pages.

#include <string>
#include <string_view>
#include <vector>

namespace zv2::test {

struct TFixtureSong {
    std::string Name;
    std::string Artist; // empty: the item has no artist tag
    std::string Link;   // the song's site path, "/song/101"
};

// One song item: "index-num", the song tag, the artist tag, "checkbox-item-hook".
inline std::string SearchItem(const TFixtureSong& song) {
    std::string item = "<li><span class=\"index-num\">1</span>\n"
                       "<a href=\"" +
                       song.Link + "\" data-songdata='{}' title=\"" + song.Name + "\">" + song.Name + "</a>\n";
    if (!song.Artist.empty())
        item += "<span class=\"author\"><a hidefocus=\"true\" href=\"/artist\" title=\"" + song.Artist + "\">" +
                song.Artist + "</a></span>\n";
    return item + "<span class=\"checkbox-item-hook\"></span></li>\n";
}

inline std::vector<TFixtureSong> NumberedSongs(int count) {
    std::vector<TFixtureSong> songs;
    for (int i = 1; i <= count; ++i)
        songs.push_back(
            {"Song " + std::to_string(i), "Artist " + std::to_string(i), "/song/" + std::to_string(100 + i)});
    return songs;
}

inline std::string SearchPage(const std::vector<TFixtureSong>& songs) {
    std::string page = "<html><head><meta charset=\"utf-8\"></head><body><ul class=\"song-list\">\n";
    for (const auto& song : songs)
        page += SearchItem(song);
    return page + "</ul></body></html>\n";
}

inline std::string DownloadPage(const std::string& fileLink) {
    return "<html><body><form><input type=\"hidden\" name=\"x\" value=\"1\">"
           "<input class=\"btn\" downlink=\"" +
           fileLink + "\" type=\"button\"></form></body></html>\n";
}

inline std::string ChartOverview(const std::vector<std::pair<std::string, std::string>>& charts) {
    std::string page = "<html><body><a href=\"/home\">首页</a><dl><dt>榜单</dt>\n";
    for (const auto& [name, link] : charts)
        page += "<dd><a href=\"" + link + "\">" + name + "</a></dd>\n";
    return page + "</dl></body></html>\n";
}

inline std::string ChartPage(const std::vector<std::pair<std::string, std::string>>& songs) {
    std::string page = "<html><body><ul>\n";
    for (const auto& [name, artist] : songs)
        page += "<li class=\"song-item-hook\" data-songitem=\"{'songItem':{'sid':1,'sname':'" + name + "','author':'" +
                artist + "'}}\"><span>" + name + "</span></li>\n";
    return page + "</ul></body></html>\n";
}

// `head`, then `piece` over and over up to at least `size` bytes: the
// worst-case pages of the scrapers, such as a chart page of "<li>" only.
inline std::string RepeatedPiece(std::string_view piece, std::size_t size, std::string_view head = {}) {
    std::string run(piece);
    while (!run.empty() && run.size() < size)
        run += run; // by doubling: a few copies, not millions of small appends
    if (!piece.empty())
        run.resize((size + piece.size() - 1) / piece.size() * piece.size());
    return std::string(head) + run;
}

} // namespace zv2::test
