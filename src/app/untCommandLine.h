#pragma once
// The program's command line: `zv2player [--help] [--version] [Qt options]
// [FILE|URI...]`. The files come from a user, or from the desktop's "Open
// with" (the menu entry passes paths, and some file managers pass file://
// URIs). They are handed on as absolute paths, so a running copy with another
// working folder finds them too. Which of them are music files the playlist
// decides. Qt's own options, with their values, go to Qt and nowhere else.

#include <optional>
#include <string>
#include <vector>

namespace zv2::app {

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Files; // absolute paths, in the order given
    // The options for Qt, each with its value, in the order given: what the
    // program hands to QApplication besides its own name.
    std::vector<std::string> ToolkitArguments;
};

// Reads the arguments after the program name. "-h" and "--help" ask for the
// usage text, "--version" for the version. Other arguments that start with
// "-" are options of Qt and not files, up to a "--" after which everything is
// a file. Qt's options that take a value ("-style fusion", "-platform xcb",
// "-display :1", "-geometry 548x346", "-stylesheet a.qss", "-session id", ...,
// also written with "--") take the argument after them along. A relative path
// is taken from `currentFolder` (skipped when that is empty); a URI
// ("scheme://...") that names no local file is skipped.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& currentFolder);

// What decides whether there is a display to show the window on.
struct TDisplayEnvironment {
    std::string Display;        // $DISPLAY
    std::string WaylandDisplay; // $WAYLAND_DISPLAY
    std::string QtPlatform;     // $QT_QPA_PLATFORM
};

// True when Qt has a display or a platform to show the window on: DISPLAY or
// WAYLAND_DISPLAY is set, or a platform was chosen (QT_QPA_PLATFORM, or
// "-platform" on the command line). Without one Qt would abort.
bool HasDisplay(const TCommandLine& line, const TDisplayEnvironment& env);

// The local path of a file:// URI ("file:///a%20b.mp3", "file://localhost/a"),
// its %XX escapes decoded; nothing for another scheme or host, a bad escape, or
// an escaped zero byte.
std::optional<std::string> LocalPathOfUri(const std::string& uri);

// The file:// URI of an absolute path, every byte but letters, digits, "-",
// ".", "_", "~" and "/" escaped as %xx ("/a b.mp3" gives "file:///a%20b.mp3"):
// what LocalPathOfUri reads back.
std::string FileUri(const std::string& path);

// The texts that --help, --version and a start without a display print.
extern const char* const kUsage;
extern const char* const kVersionText;
extern const char* const kNoDisplayText;

} // namespace zv2::app
