#include "catalogue/untSitePages.h"

#include "catalogue/untPageText.h"

namespace zv2::catalogue {

namespace {

std::string DecodeChartText(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "&#039;", "'"), "&amp;", "&");
}

} // namespace

std::optional<TSearchItem> NextSearchItem(std::string& page) {
    std::string item = FindSection(page, "index-num", "checkbox-item-hook", "title");
    if (item.empty())
        return std::nullopt;
    TSearchItem found;
    const std::string songTag = FindSection(item, "<a", ">", "data-songdata");
    if (!songTag.empty()) {
        found.SongLink = AttributeValue("href=", songTag);
        found.SongName = AttributeValue("title=", songTag);
    }
    const std::string artistTag = FindSection(item, "<a", ">", "hidefocus");
    if (!artistTag.empty())
        found.Artist = AttributeValue("title=", artistTag);
    return found;
}

std::string DownloadPagePath(std::string_view songLink) {
    return std::string(songLink) + "/download";
}

std::string DownloadLinkOf(std::string_view downloadPage, std::string_view site) {
    std::string page(downloadPage);
    const std::string tag = FindSection(page, "<input", ">", "downlink");
    if (tag.empty())
        return kNoDownloadLink;
    return std::string(site) + AttributeValue("downlink=", tag);
}

std::vector<TChartEntry> ParseCharts(std::string_view page) {
    const auto dt = page.find("<dt>");
    std::string work(dt == std::string_view::npos ? std::string_view{} : page.substr(dt));
    std::vector<TChartEntry> charts(kChartCount);
    for (TChartEntry& chart : charts) {
        const std::string piece = FindSection(work, "<a", "</a>", "href=", TCutEnd::WholeMarker);
        chart.Link = AttributeValue("href=", piece);
        chart.Name = DecodeChartText(TextBetween(piece, ">", "<"));
    }
    return charts;
}

std::vector<TChartSong> ParseChartSongs(std::string_view page) {
    std::string work(page);
    std::vector<TChartSong> songs(kChartSongCount);
    for (TChartSong& song : songs) {
        const std::string piece = FindSection(work, "<li", ">", "song-item-hook", TCutEnd::WholeMarker);
        song.Name = DecodeChartText(QuotedField(piece, "'sname'"));
        song.Artist = ReplaceAll(QuotedField(piece, "'author'"), "&amp;", "&");
    }
    return songs;
}

std::vector<TChartSongRow> ChartSongRows(const std::vector<TChartSong>& songs) {
    std::vector<TChartSongRow> rows;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        if (!TrimBlanks(songs[i].Name).empty())
            rows.push_back({static_cast<int>(i + 1), songs[i].Name, songs[i].Artist});
    }
    return rows;
}

} // namespace zv2::catalogue
