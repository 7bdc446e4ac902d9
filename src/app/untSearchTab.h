#pragma once
// The decisions of the search and Top-N tabs, without a window: how a key
// becomes a search address, how the search history changes, which captions
// the window and the search button show, and which pop-up menu items are
// enabled. The window (untFrmMainSearch.cpp) binds its controls to these.

#include <string>
#include <string_view>
#include <vector>

namespace zv2::app {

// Captions of the search button.
inline constexpr char kStartSearchCaption[] = "开始搜索";
inline constexpr char kStopSearchCaption[] = "停止搜索";
// Shown when a chart is clicked while another list is being fetched.
inline constexpr char kTopNBusyText[] = "正在获取其他列表中，请稍候。";
inline constexpr char kTopNBusyCaption[] = "提示";

// The key's UTF-8 bytes for a URL: A-Z a-z 0-9 and * @ . _ - $ ! ' ( ) as they
// are, a space as "+", every other byte as "%" and two lower-case hex digits.
std::string EncodeSearchKey(std::string_view key);

// True when the key holds nothing but blanks: such a key starts no search.
bool IsBlankKey(std::string_view key);

// The key without its leading and trailing blanks (the artist and album
// items search for it so).
std::string TrimmedKey(std::string_view key);

// The search address: `searchURL`, the encoded key, and for a format filter
// (the index of "不过滤", "MP3", "RM", "WMA ") other than 0, "&lm=" and the
// index minus 1.
std::string SearchAddress(std::string_view searchURL, std::string_view key, int filter);

// The history is the items of the search box: keys, newest first, and the
// clear entry (kClearHistoryItem) as the last item. True when `key` (exact,
// as typed) is none of the items before the last: it is then inserted first.
bool HistoryTakesKey(const std::vector<std::string>& items, std::string_view key);
// True when choosing item `index` with the box's `text` clears the history.
bool ChoosesClearHistory(int index, int count, std::string_view text);

// Window captions while a search runs and when it has ended with `rows` rows.
std::string SearchingCaption(std::string_view key);
std::string SearchFinishedCaption(int rows);

// The selected row of the search list, as its columns show it.
struct TSearchRowView {
    bool Selected = false;
    std::string Artist;   // "歌手"
    std::string Album;    // "专辑"
    std::string SongLink; // "下载地址"
};

struct TSearchMenuState {
    bool DownLoad = false, StopSearch = false, CopyURL = false, SearchArtist = false, SearchAlum = false,
         ClearSearchList = true;
};
TSearchMenuState SearchMenuState(bool searching, const TSearchRowView& row);

struct TTopNMenuState {
    bool SearchSong = false, SearchSinger = false;
};
// `artist` is the selected row's "歌手/出处" column.
TTopNMenuState TopNMenuState(bool rowSelected, std::string_view artist);

} // namespace zv2::app
