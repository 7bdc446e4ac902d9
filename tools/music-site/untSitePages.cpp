#include "untSitePages.h"

#include "platform/TextCodec.h"

#include <filesystem>

namespace zv2::site {

namespace {

const char* const PageHead = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";

std::string StartPage(std::string_view title) {
    return std::string(PageHead) + "<title>" + EscapeHtml(title) + "</title>\n</head>\n<body>\n";
}

const char* const PageEnd = "</body>\n</html>\n";

// Bytes in one UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

} // namespace

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#039;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string CollapseSlashes(std::string_view path) {
    std::string collapsed;
    collapsed.reserve(path.size());
    for (const char c : path) {
        if (c != '/' || collapsed.empty() || collapsed.back() != '/')
            collapsed += c;
    }
    return collapsed;
}

std::string SongPath(const TSong& song) {
    return "/song/" + std::to_string(song.Id);
}

std::string FilePath(const TSong& song) {
    return "/file/" + platform::PercentEncode(song.Relative, "/");
}

std::string ChartPath(const TChart& chart) {
    return "/top/" + chart.Slug;
}

std::string LyricPath(const TLyric& lyric) {
    return "/lrc/" + platform::PercentEncode(lyric.Name);
}

std::string DownloadLinkValue(const TSong& song, std::string_view site) {
    return "/data/music/file?link=http://" + std::string(site) + FilePath(song);
}

std::string SearchPage(const std::vector<const TSong*>& found) {
    std::string page = StartPage("音乐搜索");
    page += "<div class=\"search-result-container\">\n<div class=\"search-info\">找到相关歌曲 " +
            std::to_string(found.size()) + " 首</div>\n<ul class=\"song-list\">\n";
    for (std::size_t i = 0; i < found.size() && i < SearchPageSize; ++i) {
        const TSong& song = *found[i];
        const std::string title = EscapeHtml(song.Title);
        page += "<li class=\"song-item clearfix\">\n";
        page += "<span class=\"index-num index-hook\">" + std::to_string(i + 1) + "</span>\n";
        page += "<span class=\"song-title\"><a href=\"" + SongPath(song) + "\" data-songdata='{ \"id\": \"" +
                std::to_string(song.Id) + "\" }' title=\"" + title + "\">" + title + "</a></span>\n";
        if (!song.Artist.empty()) {
            const std::string artist = EscapeHtml(song.Artist);
            page += "<span class=\"singer\"><span class=\"author_list\"><a hidefocus=\"true\" href=\"/search?key=" +
                    platform::PercentEncode(song.Artist) + "\" title=\"" + artist + "\">" + artist +
                    "</a></span></span>\n";
        }
        page += "<span class=\"checkbox-item-hook\"><input type=\"checkbox\"></span>\n</li>\n";
    }
    page += "</ul>\n</div>\n";
    return page + PageEnd;
}

std::string DownloadPage(const TSong& song, std::string_view site, std::uint64_t size) {
    std::string page = StartPage(song.Title + " - 下载");
    page += "<div class=\"song-info\">\n<h2>" + EscapeHtml(song.Title) + "</h2>\n";
    if (!song.Artist.empty())
        page += "<p class=\"artist\">歌手：" + EscapeHtml(song.Artist) + "</p>\n";
    page += "<p class=\"size\">大小：" + std::to_string(size) + " 字节，格式：MP3</p>\n</div>\n";
    page += "<input type=\"hidden\" name=\"file\" downlink=\"" + EscapeHtml(DownloadLinkValue(song, site)) + "\">\n";
    page += "<p><a class=\"download-button\" href=\"" + FilePath(song) + "\">下载</a></p>\n";
    return page + PageEnd;
}

std::string ChartOverviewPage(const std::vector<TChart>& charts) {
    std::string page = StartPage("音乐榜单");
    page += "<div class=\"top-list\">\n<dl>\n<dt>榜单</dt>\n";
    for (const TChart& chart : charts) {
        const std::string name = EscapeHtml(chart.Name);
        page += "<dd><a href=\"" + ChartPath(chart) + "\" title=\"" + name + "\">" + name + "</a></dd>\n";
    }
    page += "</dl>\n</div>\n";
    return page + PageEnd;
}

std::string ChartPage(const TChart& chart, const std::vector<const TSong*>& songs) {
    std::string page = StartPage(chart.Name);
    page += "<h2>" + EscapeHtml(chart.Name) + "</h2>\n<ul class=\"song-list\">\n";
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const TSong& song = *songs[i];
        page += "<li class=\"song-item-hook\" data-songitem=\"{'songItem':{'sid':'" + std::to_string(song.Id) +
                "','sname':'" + EscapeHtml(song.Title) + "','author':'" + EscapeHtml(song.Artist) + "'}}\">";
        page += "<span class=\"num\">" + std::to_string(i + 1) + "</span> <a href=\"" + SongPath(song) + "\">" +
                EscapeHtml(song.Title) + "</a></li>\n";
    }
    page += "</ul>\n";
    return page + PageEnd;
}

std::string NotFoundPage(std::string_view path) {
    return StartPage("404") + "<p>没有找到 " + EscapeHtml(path) + "</p>\n" + PageEnd;
}

std::string LyricSearchPage(std::string_view word, const std::vector<const TLyric*>& found, std::string_view site) {
    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=gbk\">\n<title>" +
                       EscapeHtml(word) + " - 歌词搜索</title>\n</head>\n<body>\n";
    if (found.empty())
        page += "<p>没有找到与“" + EscapeHtml(word) + "”相关的歌词。</p>\n";
    for (const TLyric* lyric : found) {
        const std::string link = "http://" + std::string(site) + LyricPath(*lyric);
        page += "<div class=\"lrc-item\">\n<b>" + EscapeHtml(std::filesystem::path(lyric->Name).stem().string()) +
                "</b><br>\n<a href=\"" + link + "\">LRC歌词来自：" + link + "</a>\n</div>\n";
    }
    page += PageEnd;
    return ToGbkLossy(page);
}

std::string ToGbkLossy(std::string_view utf8) {
    if (auto whole = platform::Utf8ToGbk(utf8))
        return *whole;
    std::string gbk;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = std::min(SequenceLength(static_cast<unsigned char>(utf8[at])), utf8.size() - at);
        const auto one = platform::Utf8ToGbk(utf8.substr(at, length));
        gbk += one ? *one : "?";
        at += length;
    }
    return gbk;
}

} // namespace zv2::site
