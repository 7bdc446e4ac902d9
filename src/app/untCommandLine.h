#pragma once
// The program's command line: `zv2player [--help] [FILE|URI...]`. The files
// come from a user, or from the desktop's "Open with" (the menu entry passes
// paths, and some file managers pass file:// URIs). They are handed on as
// absolute paths, so a running copy with another working folder finds them
// too. Which of them are music files the playlist decides.

#include <optional>
#include <string>
#include <vector>

namespace zv2::app {

struct TCommandLine {
    bool Help = false;
    std::vector<std::string> Files; // absolute paths, in the order given
};

// Reads the arguments after the program name. "-h" and "--help" ask for the
// usage text; other arguments that start with "-" are options of the window
// toolkit and not files, up to a "--" after which everything is a file. A
// relative path is taken from `currentFolder` (skipped when that is empty);
// a URI ("scheme://...") that names no local file is skipped.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& currentFolder);

// The local path of a file:// URI ("file:///a%20b.mp3", "file://localhost/a"),
// its %XX escapes decoded; nothing for another scheme or host, a bad escape, or
// an escaped zero byte.
std::optional<std::string> LocalPathOfUri(const std::string& uri);

// The file:// URI of an absolute path, every byte but letters, digits, "-",
// ".", "_", "~" and "/" escaped as %XX ("/a b.mp3" gives "file:///a%20b.mp3"):
// what LocalPathOfUri reads back.
std::string FileUri(const std::string& path);

// The text that --help prints.
extern const char* const kUsage;

} // namespace zv2::app
