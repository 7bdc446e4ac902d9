#include "app/untSearchTab.h"

#include "app/untSettings.h"
#include "catalogue/untPageText.h"

namespace zv2::app {

std::string EncodeSearchKey(std::string_view key) {
    constexpr std::string_view kept = "*@._-$!'()";
    constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(key.size() * 3);
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            kept.find(c) != std::string_view::npos) {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

bool IsBlankKey(std::string_view key) {
    return catalogue::TrimBlanks(key).empty();
}

std::string TrimmedKey(std::string_view key) {
    return catalogue::TrimBlanks(key);
}

std::string SearchAddress(std::string_view searchURL, std::string_view key, int filter) {
    std::string url = std::string(searchURL) + EncodeSearchKey(key);
    if (filter != 0)
        url.append("&lm=").append(std::to_string(filter - 1));
    return url;
}

bool HistoryTakesKey(const std::vector<std::string>& items, std::string_view key) {
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        if (items[i] == key)
            return false;
    }
    return true;
}

bool ChoosesClearHistory(int index, int count, std::string_view text) {
    return count > 0 && index == count - 1 && text == kClearHistoryItem;
}

std::string SearchingCaption(std::string_view key) {
    return "正在搜索:" + std::string(key);
}

std::string SearchFinishedCaption(int rows) {
    return "搜索完成，共找到记录条数：" + std::to_string(rows);
}

TSearchMenuState SearchMenuState(bool searching, const TSearchRowView& row) {
    TSearchMenuState state;
    state.DownLoad = row.Selected;
    state.StopSearch = searching;
    state.CopyURL = row.Selected && !catalogue::TrimBlanks(row.SongLink).empty();
    state.SearchArtist = row.Selected && !catalogue::TrimBlanks(row.Artist).empty();
    state.SearchAlum = row.Selected && !catalogue::TrimBlanks(row.Album).empty();
    return state;
}

TTopNMenuState TopNMenuState(bool rowSelected, std::string_view artist) {
    return {rowSelected, rowSelected && !artist.empty()};
}

} // namespace zv2::app
