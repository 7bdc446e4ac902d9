#pragma once
// The pinyin initial of a Chinese file name, for the playlist's jump by
// initial letter. Level-1 characters of GB2312 are ordered by pinyin, so a
// range of GBK codes maps to one initial letter.

#include <string_view>

namespace zv2::app {

// The initial of the first character of `gbk` (GBK bytes): 'A'..'Z' for a
// level-1 character (I, U and V never occur), otherwise ' '. The character's
// code is the first byte * 256 + the second byte (0 for a one-byte text).
char PinyinInitial(std::string_view gbk);

// The same for UTF-8 text: the first character is converted to GBK first; one
// that GBK cannot express counts as not being a level-1 character.
char PinyinInitialOfUtf8(std::string_view utf8);

} // namespace zv2::app
