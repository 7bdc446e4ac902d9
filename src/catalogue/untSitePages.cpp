#include "catalogue/untSitePages.h"

#include "catalogue/untPageText.h"

namespace zv2::catalogue {

std::optional<TSearchItem> NextSearchItem(TPageCursor& page) {
    const std::string_view item = FindSection(page, "index-num", "checkbox-item-hook", "title");
    if (item.empty())
        return std::nullopt;
    TSearchItem found;
    TPageCursor tags(item, page.Stop);
    const std::string_view songTag = FindSection(tags, "<a", ">", "data-songdata");
    if (!songTag.empty()) {
        found.SongLink = AttributeValue("href=", songTag);
        found.SongName = AttributeValue("title=", songTag);
    }
    const std::string_view artistTag = FindSection(tags, "<a", ">", "hidefocus");
    if (!artistTag.empty())
        found.Artist = AttributeValue("title=", artistTag);
    return found;
}

std::string DownloadPagePath(std::string_view songLink) {
    return std::string(songLink) + "/download";
}

std::string DownloadLinkOf(std::string_view downloadPage, std::string_view site, const std::atomic<bool>* stop) {
    TPageCursor page(downloadPage, stop);
    const std::string_view tag = FindSection(page, "<input", ">", "downlink");
    if (tag.empty())
        return kNoDownloadLink;
    return std::string(site) + AttributeValue("downlink=", tag);
}

// In both chart scrapers a cut that gives nothing would give nothing again
// (same markers, same rest of the page), so the entries after it stay empty.

std::vector<TChartEntry> ParseCharts(std::string_view page, const std::atomic<bool>* stop) {
    const auto dt = page.find("<dt>");
    TPageCursor work(dt == std::string_view::npos ? std::string_view{} : page.substr(dt), stop);
    std::vector<TChartEntry> charts(kChartCount);
    for (TChartEntry& chart : charts) {
        const std::string_view piece = FindSection(work, "<a", "</a>", "href=", TCutEnd::WholeMarker);
        if (piece.empty())
            break;
        chart.Link = AttributeValue("href=", piece);
        chart.Name = CleanChartName(TextBetween(piece, ">", "<"));
    }
    return charts;
}

std::vector<TChartSong> ParseChartSongs(std::string_view page, const std::atomic<bool>* stop) {
    TPageCursor work(page, stop);
    std::vector<TChartSong> songs(kChartSongCount);
    for (TChartSong& song : songs) {
        const std::string_view piece = FindSection(work, "<li", ">", "song-item-hook", TCutEnd::WholeMarker);
        if (piece.empty())
            break;
        song.Name = CleanChartName(QuotedField(piece, "'sname'"));
        song.Artist = CleanChartArtist(QuotedField(piece, "'author'"));
    }
    return songs;
}

std::string CleanChartName(std::string_view text) {
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "\\&#039;", "'"), "&#039;", "'"), "&amp;", "&");
}

std::string CleanChartArtist(std::string_view text) {
    return ReplaceAll(text, "&amp;", "&");
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
