#pragma once
// The program folder: where Download.ini, Music/ and LRCs/ live, and what
// names the program's single instance. Always ends with "/".
//
// - ZV2_HOME, when set, names it (a relative one from the folder the program
//   was started in);
// - otherwise the executable's folder, when this user may write there (a
//   build tree, a portable copy) and it is not under a system folder (/usr,
//   /opt, /bin, /sbin): nothing is ever written beside an installed binary,
//   not even by root;
// - otherwise $XDG_DATA_HOME/zv2player (by default ~/.local/share/zv2player),
//   made on first use.

#include <string>

namespace zv2::platform {

// The environment values the choice depends on.
struct TFolderEnvironment {
    std::string Zv2Home;       // $ZV2_HOME
    std::string XdgDataHome;   // $XDG_DATA_HOME (ignored unless an absolute path)
    std::string Home;          // $HOME, or the user's home folder
    std::string CurrentFolder; // the working folder at start (absolute)
};

// The choice above for an executable in `exeFolder`. It only asks whether
// `exeFolder` is writable (access(2), so a read-only mount counts) and makes
// nothing.
std::string ChooseProgramFolder(const std::string& exeFolder, const TFolderEnvironment& env);

// The choice for this process, with the chosen folder made (mode 0700 for the
// folders it creates) when it does not exist yet.
std::string ProgramFolder();

} // namespace zv2::platform
