#pragma once
// An INI file with the rules of the private-profile functions: section and key
// names match without regard to ASCII case, the first of duplicate sections or
// keys wins, blanks around names and values do not count, a value in one pair
// of matching double or single quotes is read without them, and everything the
// program does not touch (other sections, other keys, comments, odd lines) is
// kept as it was. The file is read whole when the object is made and written
// whole by Save(), through a temporary file that is renamed over the old one,
// so a crash never leaves a half-written file.
//
// Encodings: a file that starts with a UTF-16LE byte order mark is read in
// full and saved whole in UTF-16LE again; one with a UTF-8 byte order mark
// keeps it; any other file is 8-bit text whose bytes (UTF-8, GBK, ...) are
// taken as they are. The text seen through this class is UTF-8 for the
// Unicode files and the file's own bytes otherwise. A file whose lines end in
// CR LF is saved with CR LF; new files get LF.
//
// A value written is always read back exactly: one with blanks at either end,
// or one that is itself in a pair of matching quotes, is stored in double
// quotes. A value (or name) holding a line break cannot be stored on its line
// and is refused.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::platform {

class TIniFile {
public:
    // Reads `path` when it exists; a missing or unreadable file gives an empty
    // document (LoadError() tells which).
    explicit TIniFile(std::string path);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // Parses text instead of a file (the path is kept for Save()).
    static std::unique_ptr<TIniFile> FromText(std::string path, std::string_view text);

    const std::string& Path() const { return Path_; }
    // Empty when the file was read or did not exist; otherwise why it was not read.
    const std::string& LoadError() const { return LoadError_; }

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // A missing value, or one that is not a whole decimal 32-bit integer, gives `def`.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    // Read as an integer with the default 1 or 0; any non-zero value is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool SectionExists(std::string_view section) const;
    // Number of distinct keys in the section (0 when it does not exist).
    std::size_t KeyCount(std::string_view section) const;
    // Calls `each` with every distinct key of the section and its value as
    // Find gives it (from the key's first line), in the order of the file.
    // The views stand until the document changes.
    void ForEachKey(std::string_view section,
                    const std::function<void(std::string_view key, std::string_view value)>& each) const;

    // False (and nothing changes) when the value or a name holds a line break,
    // the key holds "=" or the section "]".
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseSection(std::string_view section);

    // The file's bytes as Save() writes them, in the file's encoding.
    std::string Text() const;
    // Writes the document to Path(). On failure returns false and sets `error`
    // (the old file is untouched then).
    bool Save(std::string* error = nullptr) const;

private:
    enum class TEncoding { Bytes, Utf8WithBom, Utf16Le };
    struct TSection;
    TSection* FindSection(std::string_view section) const;
    // Hands the file's bytes to `put` piece by piece, in the file's encoding
    // (UTF-8 for a UTF-16 file), until it gives false.
    void Emit(const std::function<bool(std::string_view)>& put) const;
    void Parse(std::string bytes);

    std::string Path_;
    std::string LoadError_;
    TEncoding Encoding_ = TEncoding::Bytes;
    std::string LineBreak_ = "\n";
    std::string Source_;                // the text as read (UTF-8 for a UTF-16 file): the lines read stand in it
    std::vector<std::string> Preamble_; // lines before the first section
    std::vector<std::unique_ptr<TSection>> Sections_;
};

} // namespace zv2::platform
