#include "app/untCommandLine.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zv2::app {

using platform::HexDigitValue;

const char* const kUsage = "Usage: zv2player [--help] [--version] [QT-OPTION...] [FILE...]\n"
                           "Plays MP3 files on the computer or streams them to a ZV2 WiFi speaker, and\n"
                           "searches and downloads songs.\n"
                           "\n"
                           "  FILE       a music file (a path or a file:// URI) to add to the playlist;\n"
                           "             the first one plays. When the program already runs, the files\n"
                           "             go to that copy, which shows its window.\n"
                           "  --help     show this text\n"
                           "  --version  show the version\n"
                           "  --         every argument after it is a file\n"
                           "  QT-OPTION  an option of Qt, such as -style fusion or -platform xcb\n"
                           "\n"
                           "Settings, downloads and lyrics live in the program folder: $ZV2_HOME when\n"
                           "set, else the program's own folder when it may be written, else\n"
                           "$XDG_DATA_HOME/zv2player. See zv2player(1).\n";

const char* const kVersionText = "zv2player " ZV2_VERSION "\n";

const char* const kNoDisplayText = "zv2player: no display to show the window on: DISPLAY and WAYLAND_DISPLAY are not "
                                   "set (QT_QPA_PLATFORM=offscreen runs without one)\n";

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

// Qt's options that take the next argument as their value: QGuiApplication's
// (-platform, -platformpluginpath, -platformtheme, -plugin, -qwindowgeometry,
// -qwindowicon, -qwindowtitle, -session, and on X11 -display, -geometry,
// -title, -icon, -name, -visual), QApplication's (-style, -stylesheet) and
// QCoreApplication's -qmljsdebugger. Qt reads each also with two dashes.
constexpr std::string_view kValueOptions[] = {"platform",
                                              "platformpluginpath",
                                              "platformtheme",
                                              "plugin",
                                              "qwindowgeometry",
                                              "qwindowicon",
                                              "qwindowtitle",
                                              "session",
                                              "display",
                                              "geometry",
                                              "title",
                                              "icon",
                                              "name",
                                              "visual",
                                              "style",
                                              "stylesheet",
                                              "qmljsdebugger"};

// "-style" and "--style" are "style".
std::string_view OptionName(std::string_view arg) {
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    return arg;
}

bool TakesValue(std::string_view arg) {
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), OptionName(arg)) != std::end(kValueOptions);
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
    return "file://" + platform::PercentEncode(path, "/");
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& currentFolder) {
    TCommandLine line;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && (arg == "-h" || arg == "--help")) {
            line.Help = true;
            continue;
        }
        if (options && arg == "--version") {
            line.Version = true;
            continue;
        }
        if (options && arg.starts_with("-")) {
            line.ToolkitArguments.push_back(arg);
            if (TakesValue(arg) && i + 1 < args.size())
                line.ToolkitArguments.push_back(args[++i]);
            continue;
        }
        if (arg.empty())
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

bool HasDisplay(const TCommandLine& line, const TDisplayEnvironment& env) {
    if (!env.Display.empty() || !env.WaylandDisplay.empty() || !env.QtPlatform.empty())
        return true;
    const auto& qt = line.ToolkitArguments;
    for (std::size_t i = 0; i < qt.size(); ++i) {
        if (OptionName(qt[i]) == "platform")
            return i + 1 < qt.size() && !qt[i + 1].empty();
        if (TakesValue(qt[i]))
            ++i; // a value is no option, whatever it reads
    }
    return false;
}

} // namespace zv2::app
