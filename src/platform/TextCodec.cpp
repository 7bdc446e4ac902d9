#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>

namespace zv2::platform {

namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t written = 0;
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = out.data() + written;
        std::size_t dstLeft = out.size() - written;
        const std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        written = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        ok = false; // EILSEQ or EINVAL: a character that cannot be converted, or cut input
        break;
    }
    ::iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(written);
    return out;
}

// The length of the well-formed UTF-8 character at `i` (setting `cp`), or 0
// when the bytes there are not one: a stray or cut byte, an overlong form, a
// surrogate or a value past U+10FFFF.
std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + extra >= text.size())
        return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return extra + 1;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    return Convert("GBK", "UTF-8", utf8);
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    return Convert("UTF-8", "GBK", gbk);
}

std::string ToValidUtf8(std::string_view bytes) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = byte(i);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (which excludes
        // overlong forms, surrogates and code points above U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t good = length == 0 ? 0 : 1;
        while (good > 0 && good < length && i + good < bytes.size()) {
            const unsigned char next = byte(i + good);
            const bool fits = good == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
            if (!fits)
                break;
            ++good;
        }
        if (length > 0 && good == length) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out.append(replacement);
            i += good == 0 ? 1 : good;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t length = Utf8CharAt(text, i, cp);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    const auto put = [&out](char32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>((unit >> 8) & 0xFF);
    };
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        const std::size_t length = Utf8CharAt(utf8, i, cp);
        if (length == 0) {
            put(0xDC00 + static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        i += length;
        if (cp < 0x10000) {
            put(cp);
        } else {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        }
    }
    return out;
}

std::string Utf16LeToUtf8(std::string_view utf16le) {
    const std::size_t units = utf16le.size() / 2;
    const auto unitAt = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(utf16le[2 * k]) |
                                     (static_cast<unsigned char>(utf16le[2 * k + 1]) << 8));
    };
    std::string out;
    out.reserve(units * 3 / 2);
    for (std::size_t k = 0; k < units; ++k) {
        char32_t cp = unitAt(k);
        if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < units && unitAt(k + 1) >= 0xDC00 && unitAt(k + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(k + 1) - 0xDC00);
            ++k;
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            out += static_cast<char>(cp - 0xDC00);
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::uint64_t Fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string Fnv1a64Hex(std::string_view bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::uint64_t hash = Fnv1a64(bytes);
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[static_cast<std::size_t>(i)] = Digits[hash & 0xF];
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentEncode(std::string_view text, std::string_view keep) {
    static const char* const digits = "0123456789abcdef";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~").find(c) != std::string_view::npos ||
                           keep.find(c) != std::string_view::npos;
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += digits[byte >> 4];
            encoded += digits[byte & 15];
        }
    }
    return encoded;
}

} // namespace zv2::platform
