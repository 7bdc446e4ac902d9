#pragma once
// Small file and folder queries, the safe file name of an outside name, and
// the one safe way this program replaces a file.

#include <functional>
#include <string>
#include <string_view>

namespace zv2::platform {

bool FileExists(const std::string& path);      // a regular file (or a link to one)
bool DirectoryExists(const std::string& path); // a folder (or a link to one)

// A file name that stays in its folder: "/", "\", NUL and control characters
// become "_"; "", "." and ".." become "_"; at most 240 bytes, cut at a UTF-8
// character boundary. For names that come from outside (a song's name).
std::string SafeFileName(std::string_view name);

// Reads the whole file `path` into `bytes` with one read for a file that
// keeps its size. Gives 0, or the errno of the step that failed (`bytes` is
// empty then).
int ReadWholeFile(const std::string& path, std::string& bytes);

// Writes `data` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. On failure the old file is untouched, the temporary
// file is removed and `error` (when given) says what failed.
// The temporary files of this and of CopyFileAtomically are named
// ".zv2-<pid>-<n>.tmp" in the target's folder: short, so that a target with
// any valid name (up to 255 bytes) can be written.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error = nullptr);
// The same with data that `produce` hands to `write` piece by piece (`write`
// gives false once a write failed); small pieces are written in blocks.
using TWritePiece = std::function<bool(std::string_view piece)>;
bool WriteFileAtomically(const std::string& path, const std::function<void(const TWritePiece& write)>& produce,
                         std::string* error = nullptr);

// Copies the file `source` to `target` the same way: a temporary file beside
// `target`, flushed, then renamed over it. A failed or cut copy leaves no
// partial file under the target's name and an existing target untouched.
// Gives 0, or the errno of the step that failed. `source` and `target` may be
// the same file.
int CopyFileAtomically(const std::string& source, const std::string& target);

// Removes the temporary files of the two above that a process which no longer
// runs left in `folder` (a write cut short by a crash or a kill). Files of
// running processes, this one included, stay. `alsoRemove`, when given, picks
// more names to remove in the same one pass over the folder (the leftovers of
// a caller's own older ways of writing). Gives how many were removed.
std::size_t RemoveStaleTemporaryFiles(const std::string& folder,
                                      const std::function<bool(std::string_view name)>& alsoRemove = {});

} // namespace zv2::platform
