#include "app/untCommandLine.h"

#include "platform/TextCodec.h"

#include <cctype>

namespace zv2::app {

using platform::HexDigitValue;

const char* const kUsage = "Usage: zv2player [--help] [FILE...]\n"
                           "Plays MP3 files on the computer or streams them to a ZV2 WiFi speaker, and\n"
                           "searches and downloads songs.\n"
                           "\n"
                           "  FILE     a music file (a path or a file:// URI) to add to the playlist; the\n"
                           "           first one plays. When the program already runs, the files go to\n"
                           "           that copy, which shows its window.\n"
                           "  --help   show this text\n"
                           "\n"
                           "Settings, downloads and lyrics live in the program folder: $ZV2_HOME when\n"
                           "set, else the program's own folder when it may be written, else\n"
                           "$XDG_DATA_HOME/zv2player. See zv2player(1).\n";

namespace {

// `prefix` is lower case; the scheme and host of a URI are not case sensitive.
bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// "scheme://...": a URI, never a relative path.
bool IsUri(const std::string& arg) {
    const auto colon = arg.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(arg[0])))
        return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(arg[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

} // namespace

std::optional<std::string> LocalPathOfUri(const std::string& uri) {
    if (!StartsWithNoCase(uri, "file://"))
        return std::nullopt;
    // A query or a fragment is no part of the path.
    const std::string rest = uri.substr(7, uri.find_first_of("?#", 7) - 7);
    const auto slash = rest.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
        return std::nullopt;
    std::string path;
    for (std::size_t i = slash; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? HexDigitValue(rest[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(rest[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

std::string FileUri(const std::string& path) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(uri.size() + path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        // ASCII only, whatever the locale says of other bytes.
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (letterOrDigit || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            uri += c;
        } else {
            uri += '%';
            uri += Digits[byte >> 4];
            uri += Digits[byte & 0xF];
        }
    }
    return uri;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& currentFolder) {
    TCommandLine line;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && (arg == "-h" || arg == "--help")) {
            line.Help = true;
            continue;
        }
        if ((options && arg.starts_with("-")) || arg.empty())
            continue;
        if (IsUri(arg)) {
            if (auto path = LocalPathOfUri(arg))
                line.Files.push_back(std::move(*path));
        } else if (arg.starts_with("/")) {
            line.Files.push_back(arg);
        } else if (!currentFolder.empty()) {
            line.Files.push_back(currentFolder + (currentFolder.ends_with("/") ? "" : "/") + arg);
        }
    }
    return line;
}

} // namespace zv2::app
