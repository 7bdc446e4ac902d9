#pragma once
// Conversions between UTF-8 (the program's own text) and GBK, for the places
// where GBK bytes matter: pinyin initials, the lyric site, GBK lyric files.

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

} // namespace zv2::platform
