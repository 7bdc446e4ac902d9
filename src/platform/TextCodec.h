#pragma once
// Conversions between UTF-8 (the program's own text) and GBK, for the places
// where GBK bytes matter: pinyin initials, the lyric site, GBK lyric files;
// and between UTF-8 and UTF-16LE, for settings files saved as Unicode.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv2::platform {

// nullopt when the text holds a character GBK cannot express (or bad UTF-8).
std::optional<std::string> Utf8ToGbk(std::string_view utf8);
// nullopt when the bytes are not valid GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// The text with each byte sequence that is not well-formed UTF-8 replaced by
// U+FFFD (one replacement per maximal ill-formed part); valid text unchanged.
std::string ToValidUtf8(std::string_view bytes);

// UTF-8 as UTF-16LE bytes (no byte order mark). A byte that is not part of
// well-formed UTF-8 becomes the lone surrogate U+DC00 + byte, so any byte
// string survives the way there and back.
std::string Utf8ToUtf16Le(std::string_view utf8);
// UTF-16LE bytes (no byte order mark) as UTF-8. A lone surrogate U+DC80..U+DCFF
// gives back the byte it stands for (see above); any other lone surrogate
// becomes U+FFFD, and an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view utf16le);

// `text` with the ASCII letters A..Z in lower case; every other byte as it is.
std::string AsciiLower(std::string_view text);
// The value 0..15 of hexadecimal digit `c` (either case), or -1.
int HexDigitValue(char c);
// Every byte but ASCII letters, digits, "-._~" and those in `keep` as "%"
// and two lower-case hex digits (lower case survives the download engine,
// which lower-cases whole addresses).
std::string PercentEncode(std::string_view text, std::string_view keep = {});

// FNV-1a, 64 bits, of `bytes`: a fingerprint that tells apart bytes changed
// by accident (not by someone who wants two texts to agree).
std::uint64_t Fnv1a64(std::string_view bytes);
// The same as 16 lower-case hex digits, most significant first.
std::string Fnv1a64Hex(std::string_view bytes);

} // namespace zv2::platform
