#pragma once
// The songs, charts and lyric files a local music site serves: read once from
// a folder of MP3 files (and a folder of LRC files), read-only afterwards, so
// any number of server threads may query it at the same time.
//
// A song's title and artist come from its file name, "Artist - Title.mp3"
// ("Title.mp3" gives no artist), unless the catalogue file names them. The
// catalogue file is UTF-8 text, one song per line, fields separated by tabs:
//     FILE<TAB>TITLE[<TAB>ARTIST]
// FILE is the path below the music folder; blank lines and lines beginning
// with "#" are skipped. Songs the catalogue does not list keep the names their
// file names give.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::site {

struct TSong {
    int Id = 0;           // 1.., the number in the song's site path "/song/<Id>"
    std::string Title;    // UTF-8
    std::string Artist;   // UTF-8, empty when unknown
    std::string Relative; // path below the music folder, "/" separated
    std::string Path;     // full path of the file
};

struct TChart {
    std::string Slug; // the chart's site path is "/top/<Slug>"
    std::string Name; // UTF-8
};

struct TLyric {
    std::string Name; // file name, "<Title>.lrc"
    std::string Path; // full path of the file
};

class TSiteLibrary {
public:
    // Reads the folders (the music folder with its subfolders, the lyric folder
    // without) and the catalogue file (empty: none). Problems (an unreadable
    // folder, a bad catalogue line) are added to `warnings`; what could be read
    // is served.
    void Load(const std::string& musicDir, const std::string& catalogueFile, const std::string& lyricsDir,
              std::vector<std::string>& warnings);

    const std::vector<TSong>& Songs() const { return Songs_; }
    const TSong* SongById(int id) const;
    // The song whose relative path equals `relative` without regard to the
    // case of ASCII letters (the download engine lower-cases whole addresses).
    const TSong* SongByRelative(std::string_view relative) const;

    // Songs whose title or artist holds every blank-separated word of `key`,
    // ASCII letters compared without case, in library order, at most `limit`.
    // `format` is the search's format filter ("&lm="): 0 MP3, 1 RM, 2 WMA;
    // -1 or an unknown value filters nothing. The library holds MP3 files only.
    std::vector<const TSong*> Search(std::string_view key, int format, std::size_t limit) const;

    // The 17 charts, and the songs of one: the library in an order of the
    // chart's own, repeated until `count` songs (none when the library is empty).
    static const std::vector<TChart>& Charts();
    std::vector<const TSong*> ChartSongs(const TChart& chart, std::size_t count) const;

    // Lyric files whose name (without ".lrc") equals `word`, then those that
    // hold it, ASCII letters compared without case; at most `limit`.
    std::vector<const TLyric*> FindLyrics(std::string_view word, std::size_t limit) const;
    const TLyric* LyricByName(std::string_view name) const;

private:
    std::vector<TSong> Songs_;
    std::vector<TLyric> Lyrics_;
};

// Title and artist from a file name without its extension: "Artist - Title".
void NamesFromFileName(std::string_view stem, std::string& title, std::string& artist);

} // namespace zv2::site
