#include "untSiteLibrary.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace zv2::site {

using platform::AsciiLower;

namespace fs = std::filesystem;

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool HasExtension(const fs::path& path, std::string_view extension) {
    return AsciiLower(path.extension().string()) == extension;
}

std::vector<std::string> Words(std::string_view key) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < key.size()) {
        const auto start = key.find_first_not_of(" \t", at);
        if (start == std::string_view::npos)
            break;
        const auto end = std::min(key.find_first_of(" \t", start), key.size());
        words.push_back(AsciiLower(key.substr(start, end - start)));
        at = end;
    }
    return words;
}

// FNV-1a: a hash that stays the same from build to build, so a chart keeps its order.
std::uint64_t StableHash(std::string_view a, std::string_view b) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::string_view part : {a, std::string_view("\n"), b}) {
        for (const char c : part) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// The catalogue's titles and artists by relative path (ASCII letters in lower case).
using TCatalogue = std::map<std::string, std::pair<std::string, std::string>>;

TCatalogue ReadCatalogue(const std::string& file, std::vector<std::string>& warnings) {
    TCatalogue entries;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        warnings.push_back("cannot read the catalogue " + file);
        return entries;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#')
            continue;
        std::vector<std::string_view> fields;
        for (std::size_t at = 0;;) {
            const auto tab = text.find('\t', at);
            fields.push_back(Trim(text.substr(at, tab == std::string_view::npos ? text.npos : tab - at)));
            if (tab == std::string_view::npos)
                break;
            at = tab + 1;
        }
        if (fields.size() < 2 || fields.size() > 3 || fields[0].empty() || fields[1].empty()) {
            warnings.push_back(file + ":" + std::to_string(number) + ": expected FILE<TAB>TITLE[<TAB>ARTIST]");
            continue;
        }
        entries[AsciiLower(fields[0])] = {std::string(fields[1]), fields.size() == 3 ? std::string(fields[2]) : ""};
    }
    return entries;
}

} // namespace

void NamesFromFileName(std::string_view stem, std::string& title, std::string& artist) {
    const auto dash = stem.find(" - ");
    if (dash == std::string_view::npos || Trim(stem.substr(0, dash)).empty() || Trim(stem.substr(dash + 3)).empty()) {
        title = std::string(Trim(stem));
        artist.clear();
        return;
    }
    artist = std::string(Trim(stem.substr(0, dash)));
    title = std::string(Trim(stem.substr(dash + 3)));
}

void TSiteLibrary::Load(const std::string& musicDir, const std::string& catalogueFile, const std::string& lyricsDir,
                        std::vector<std::string>& warnings) {
    Songs_.clear();
    Lyrics_.clear();
    std::error_code error;
    std::vector<std::string> relatives;
    for (fs::recursive_directory_iterator it(musicDir, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && HasExtension(it->path(), ".mp3"))
            relatives.push_back(fs::relative(it->path(), musicDir, error).generic_string());
    }
    if (error)
        warnings.push_back("cannot read the music folder " + musicDir + ": " + error.message());
    std::sort(relatives.begin(), relatives.end());

    TCatalogue catalogue = catalogueFile.empty() ? TCatalogue() : ReadCatalogue(catalogueFile, warnings);
    for (const std::string& relative : relatives) {
        TSong song;
        song.Id = static_cast<int>(Songs_.size()) + 1;
        song.Relative = relative;
        song.Path = (fs::path(musicDir) / relative).string();
        if (const auto entry = catalogue.find(AsciiLower(relative)); entry != catalogue.end()) {
            song.Title = entry->second.first;
            song.Artist = entry->second.second;
            catalogue.erase(entry);
        } else {
            NamesFromFileName(fs::path(relative).stem().string(), song.Title, song.Artist);
        }
        Songs_.push_back(std::move(song));
    }
    for (const auto& [relative, names] : catalogue)
        warnings.push_back("the catalogue names a file that is not in the music folder: " + relative);

    if (lyricsDir.empty())
        return;
    for (fs::directory_iterator it(lyricsDir, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && HasExtension(it->path(), ".lrc"))
            Lyrics_.push_back({it->path().filename().string(), it->path().string()});
    }
    if (error)
        warnings.push_back("cannot read the lyric folder " + lyricsDir + ": " + error.message());
    std::sort(Lyrics_.begin(), Lyrics_.end(), [](const TLyric& a, const TLyric& b) { return a.Name < b.Name; });
}

const TSong* TSiteLibrary::SongById(int id) const {
    if (id < 1 || id > static_cast<int>(Songs_.size()))
        return nullptr;
    return &Songs_[static_cast<std::size_t>(id - 1)];
}

const TSong* TSiteLibrary::SongByRelative(std::string_view relative) const {
    const std::string wanted = AsciiLower(relative);
    for (const TSong& song : Songs_) {
        if (AsciiLower(song.Relative) == wanted)
            return &song;
    }
    return nullptr;
}

std::vector<const TSong*> TSiteLibrary::Search(std::string_view key, int format, std::size_t limit) const {
    std::vector<const TSong*> found;
    if (format == 1 || format == 2)
        return found; // RM and WMA: the library has none
    const std::vector<std::string> words = Words(key);
    for (const TSong& song : Songs_) {
        if (found.size() >= limit)
            break;
        const std::string title = AsciiLower(song.Title);
        const std::string artist = AsciiLower(song.Artist);
        const bool matches = std::all_of(words.begin(), words.end(), [&](const std::string& word) {
            return title.find(word) != std::string::npos || artist.find(word) != std::string::npos;
        });
        if (matches)
            found.push_back(&song);
    }
    return found;
}

const std::vector<TChart>& TSiteLibrary::Charts() {
    static const std::vector<TChart> charts = {
        {"new", "新歌榜"},
        {"hot", "热歌榜"},
        {"chinese", "华语金曲榜"},
        {"western", "欧美金曲榜"},
        {"classic", "经典老歌榜"},
        {"film", "影视金曲榜"},
        {"web", "网络歌曲榜"},
        {"ktv", "KTV热歌榜"},
        {"duet", "情歌对唱榜"},
        {"rock", "摇滚榜"},
        {"folk", "民谣榜"},
        {"children", "儿歌榜"},
        {"light", "轻音乐榜"},
        {"rock-and-roll", "Rock & Roll 精选"},
        {"editors", "Editor's Choice"},
        {"original", "原创音乐榜"},
        {"dance", "舞曲榜"},
    };
    return charts;
}

std::vector<const TSong*> TSiteLibrary::ChartSongs(const TChart& chart, std::size_t count) const {
    std::vector<const TSong*> order;
    for (const TSong& song : Songs_)
        order.push_back(&song);
    std::sort(order.begin(), order.end(), [&](const TSong* a, const TSong* b) {
        return StableHash(chart.Slug, a->Relative) < StableHash(chart.Slug, b->Relative);
    });
    std::vector<const TSong*> songs;
    for (std::size_t i = 0; !order.empty() && i < count; ++i)
        songs.push_back(order[i % order.size()]);
    return songs;
}

std::vector<const TLyric*> TSiteLibrary::FindLyrics(std::string_view word, std::size_t limit) const {
    const std::string wanted = AsciiLower(Trim(word));
    std::vector<const TLyric*> exact, partial;
    if (wanted.empty())
        return exact;
    for (const TLyric& lyric : Lyrics_) {
        const std::string stem = AsciiLower(fs::path(lyric.Name).stem().string());
        if (stem == wanted)
            exact.push_back(&lyric);
        else if (stem.find(wanted) != std::string::npos)
            partial.push_back(&lyric);
    }
    exact.insert(exact.end(), partial.begin(), partial.end());
    if (exact.size() > limit)
        exact.resize(limit);
    return exact;
}

const TLyric* TSiteLibrary::LyricByName(std::string_view name) const {
    const std::string wanted = AsciiLower(name);
    for (const TLyric& lyric : Lyrics_) {
        if (AsciiLower(lyric.Name) == wanted)
            return &lyric;
    }
    return nullptr;
}

} // namespace zv2::site
