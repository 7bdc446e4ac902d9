#pragma once
// LRC lyrics: a parser (free functions over text) and TLRCDisplay, which shows
// the lines of one lyric file one at a time, in step with playback, as the
// caption of one label of the main window.
//
// Text is UTF-8 throughout. Lyric files on disk come in UTF-8 (with or without
// a byte order mark) or in GBK; DecodeLRCText turns either into UTF-8 before
// anything looks at the bytes, because GBK trail bytes can be "[", "]" or
// ASCII letters.

#include "platform/Dispatcher.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::lyrics {

struct TLyricEntry {
    std::int32_t Time = 0; // milliseconds from the start of the song
    // Shared by every entry of one line: a line may carry many time tags.
    std::shared_ptr<const std::string> Text;
};

// What one lyric file holds. The tag texts carry their Chinese prefixes.
struct TLRCContent {
    std::string Title;
    std::string ArtistText;         // "艺术家：" + the [ar:] value, or empty
    std::string AlbumText;          // "专辑：" + the [al:] value, or empty
    std::string AuthorText;         // "歌词制作：" + the [by:] value, or empty
    std::int32_t Offset = 0;        // ms of the [offset:] tag: how much earlier every line shows
    std::vector<TLyricEntry> Lines; // sorted by time; equal times keep the file's order
};

// A tag text "mm:ss.ff" in milliseconds. Each part that is not a decimal
// integer counts 0. A fraction of one or two digits counts hundredths
// ("1:02.5" is 62050); one of three digits counts milliseconds, longer ones
// are cut to milliseconds. The result is held to the 32-bit range.
std::int32_t ParseTime(std::string_view tag);

// Parses LRC text (UTF-8, lines ending in LF or CR LF). Every line is
// lower-cased (ASCII letters) before it is read, lyric texts included. Tag
// lines ([al:], [ar:], [by:], [ti:], [offset:]) are recognised anywhere in a
// line; every other line gives one entry per bracketed tag in it, timed by
// ParseTime of the tag less the file's offset: the value of its last
// [offset:] line (0 when that is no number), which moves every line of the
// file, a positive one earlier.
TLRCContent ParseLRC(std::string_view text);

// The bytes of a lyric file as UTF-8: a UTF-8 byte order mark is dropped;
// valid UTF-8 stays as it is; otherwise the bytes are read as GBK; bytes that
// are neither become U+FFFD.
std::string DecodeLRCText(std::string_view bytes);

// The bytes of a lyric file with its offset set to `offsetMs`: each [offset:]
// line (as ParseLRC finds them) becomes "[offset:N]", or, without one, such a
// line goes in before the first lyric line. Every other byte stays, so the
// file keeps its encoding (UTF-8, with or without a byte order mark, or GBK)
// and its line ends.
std::string WithLRCOffset(std::string_view bytes, std::int32_t offsetMs);

// Sets the offset in the lyric file at `path` by WithLRCOffset, replacing the
// file whole (a temporary file, flushed, renamed): it is never left half
// written. False, with `error` saying why, when it cannot be read or written.
bool SaveLRCOffset(const std::string& path, std::int32_t offsetMs, std::string* error = nullptr);

// Shows a lyric file on a label, driven by a 100 ms timer of the dispatcher.
// UI thread only. The owner sets Target, then per song: LoadFile, Start and
// SetClock(elapsed ms); Pause on pause; SetClock then Start on resume; SetClock
// after a seek. The display runs out by itself after the last line.
class TLRCDisplay {
public:
    explicit TLRCDisplay(platform::IDispatcher& dispatcher);
    TLRCDisplay(const TLRCDisplay&) = delete;
    TLRCDisplay& operator=(const TLRCDisplay&) = delete;

    // Sets the label's caption; may be left empty (nothing is shown then).
    std::function<void(const std::string&)> Target;

    // Remembers `path`, parses it, then sets the clock to 100 ms and the next
    // line to the first. Throws std::system_error when the file exists but
    // cannot be read (the previous lines are gone by then).
    void LoadFile(const std::string& path);
    // Reads FileName() into the tags and lines. False (and no lines) when the
    // file does not exist. Throws like LoadFile.
    bool Parse();
    // With lines: shows the title and starts the timer. Without: shows "加载歌词失败".
    void Start();
    // With lines: stops the timer.
    void Pause();
    // The playback time in ms; lines already shown stay shown.
    void SetClock(std::int32_t ms);
    // Goes on at `ms` into the song, as for a file loaded while the song
    // plays: the clock is set to `ms`, the lines due before it are passed
    // over, and the last of them (the line being sung) is shown.
    void SkipTo(std::int32_t ms);
    // Moves every line `earlierMs` earlier (later when negative) at once: the
    // line due at the clock is shown, and the file gets the new offset
    // (SaveLRCOffset). Nothing without lines; false when the file could not
    // be written (the lines have moved all the same, for this song).
    bool MoveLines(std::int32_t earlierMs, std::string* error = nullptr);
    // One timer step: 100 ms on, and at most one due line shown.
    void Tick();
    void ShowLine(const std::string& text);
    // Drops every line.
    void Clear();

    std::int32_t Clock() const { return Clock_; }
    std::int32_t NextLine() const { return NextLine_; }
    bool Running() const { return Timer_->Enabled(); }
    const std::string& FileName() const { return FileName_; }
    const std::string& Title() const { return Content_.Title; }
    const std::string& ArtistText() const { return Content_.ArtistText; }
    const std::string& AlbumText() const { return Content_.AlbumText; }
    const std::string& AuthorText() const { return Content_.AuthorText; }
    std::int32_t Offset() const { return Content_.Offset; }
    const std::vector<TLyricEntry>& Lines() const { return Content_.Lines; }

private:
    std::unique_ptr<platform::ITimer> Timer_;
    std::int32_t Clock_ = 0;
    std::int32_t NextLine_ = 0;
    std::string FileName_;
    TLRCContent Content_;
};

} // namespace zv2::lyrics
