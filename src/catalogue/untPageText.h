#pragma once
// Text tools of the scrapers: they cut pieces out of an HTML page by plain
// text markers. Pure functions over byte strings; no HTML parsing, no entity
// decoding beyond what each function says.
//
// The cutting tools consume the page from the front: after a cut the page
// begins at the end marker, so the next cut finds the next piece.

#include <string>
#include <string_view>

namespace zv2::catalogue {

// How far a cut piece reaches into its end marker.
enum class TCutEnd {
    FirstChar,  // through the first character of the end marker (search pages)
    WholeMarker // through the whole end marker (chart pages)
};

// Finds `start` in `page`; drops everything before it; finds `end` after it.
// The piece runs from the start marker to the end marker (as `how` says), and
// the page is left beginning at the end marker. When `start` is missing the
// piece is empty and the page unchanged; when `end` is missing the piece is
// empty and the page begins at the start marker.
std::string CutSection(std::string& page, std::string_view start, std::string_view end,
                       TCutEnd how = TCutEnd::FirstChar);

// Cuts pieces until one holds `required` or a cut gives nothing; returns that
// piece (empty when none held it). Pieces without `required` are skipped.
std::string FindSection(std::string& page, std::string_view start, std::string_view end, std::string_view required,
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
