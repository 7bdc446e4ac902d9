#pragma once
// Text tools of the scrapers: they cut pieces out of an HTML page by plain
// text markers. Pure functions over byte strings; no HTML parsing, no entity
// decoding beyond what each function says.
//
// The cutting tools walk a page by offset (TPageCursor): after a cut the
// cursor stands at the end marker, so the next cut finds the next piece. The
// page is never copied nor shortened, and each byte is looked at a bounded
// number of times, so a page of any shape is cut up in time proportional to
// its size.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace zv2::catalogue {

// A page being cut up: the text and the offset the next cut starts at. It
// views the text without owning it: the text must outlive the cursor and
// every piece cut from it. With a stop flag, FindSection gives nothing more
// once the flag is set (another thread may set it at any time), as if the
// page ended there: how a worker's stop ends a scrape at once.
struct TPageCursor {
    explicit TPageCursor(std::string_view page, const std::atomic<bool>* stop = nullptr) : Page(page), Stop(stop) {}

    // What the next cut sees: the page from the cursor on.
    std::string_view Rest() const { return Page.substr(At); }
    bool StopRequested() const { return Stop != nullptr && Stop->load(std::memory_order_relaxed); }

    std::string_view Page;
    std::size_t At = 0;
    const std::atomic<bool>* Stop = nullptr;
};

// How far a cut piece reaches into its end marker.
enum class TCutEnd {
    FirstChar,  // through the first character of the end marker (search pages)
    WholeMarker // through the whole end marker (chart pages)
};

// Finds `start` at or after the cursor, moves the cursor to it, and finds
// `end` after it. The piece runs from the start marker to the end marker (as
// `how` says), and the cursor is left at the end marker. When `start` is
// missing the piece is empty and the cursor stays; when `end` is missing the
// piece is empty and the cursor stands at the start marker. The piece views
// the page.
std::string_view CutSection(TPageCursor& page, std::string_view start, std::string_view end,
                            TCutEnd how = TCutEnd::FirstChar);

// Cuts pieces until one holds `required` or a cut gives nothing; returns that
// piece (empty when none held it, or when the cursor's stop flag is set).
// Pieces without `required` are skipped. Once it gives nothing, it gives
// nothing again for the same markers.
std::string_view FindSection(TPageCursor& page, std::string_view start, std::string_view end, std::string_view required,
                             TCutEnd how = TCutEnd::FirstChar);

// The value after the first `name` (with its "=") in `text`: from the first
// double quote after the name to the next double quote, or to the end of the
// text when none follows. Empty when the name or the opening quote is missing.
std::string AttributeValue(std::string_view name, std::string_view text);

// Deletes every "&nbsp;", then the spaces at the end.
std::string CleanText(std::string_view text);

// The text after the first `open` up to the first `close` after it; empty
// when either is missing.
std::string TextBetween(std::string_view text, std::string_view open, std::string_view close);

// The value quoted with "'" after `key` and the first ":" after it:
// "'sname':'Song'" gives "Song". Empty when the key, the colon or a quote is missing.
std::string QuotedField(std::string_view text, std::string_view key);

// Every occurrence of `from` replaced by `to`, left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Blanks (spaces and control characters) removed at both ends.
std::string TrimBlanks(std::string_view text);

} // namespace zv2::catalogue
