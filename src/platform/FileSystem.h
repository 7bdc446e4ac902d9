#pragma once
// Small file and folder queries, the safe file name of an outside name, and
// the one safe way this program replaces a file.

#include <string>
#include <string_view>

namespace zv2::platform {

bool FileExists(const std::string& path);      // a regular file (or a link to one)
bool DirectoryExists(const std::string& path); // a folder (or a link to one)

// Writes `data` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. On failure the old file is untouched, the temporary
// file is removed and `error` (when given) says what failed.
// A file name that stays in its folder: "/", "\", NUL and control characters
// become "_"; "", "." and ".." become "_"; at most 240 bytes, cut at a UTF-8
// character boundary. For names that come from outside (a song's name).
std::string SafeFileName(std::string_view name);

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error = nullptr);

} // namespace zv2::platform
