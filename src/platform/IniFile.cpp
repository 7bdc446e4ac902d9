#include "platform/IniFile.h"

#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace zv2::platform {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// FNV-1a over the lower-case bytes, with a final mix so that the low bits,
// which pick the slot, depend on every byte.
std::uint32_t KeyHash(std::string_view key) {
    std::uint32_t h = 2166136261u;
    for (char c : key) {
        h ^= static_cast<unsigned char>(LowerAscii(c));
        h *= 16777619u;
    }
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    return h;
}

std::string_view Trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool IsBlank(std::string_view s) {
    return Trim(s).empty();
}

constexpr std::string_view Utf16LeBom = "\xFF\xFE";
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

bool InQuotes(std::string_view value) {
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
}

// A value as it stands in the file (trimmed) to the value it means.
std::string_view Unquote(std::string_view stored) {
    return InQuotes(stored) ? stored.substr(1, stored.size() - 2) : stored;
}

// A value to the form that reads back as the same value.
std::string Quote(std::string_view value) {
    if (Trim(value) != value || InQuotes(value))
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Calls `each` with every line of `text`, without its LF or CR LF.
template <class TEach> void ForEachLine(std::string_view text, TEach each) {
    for (std::size_t pos = 0; pos < text.size();) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        each(line);
    }
}

// A section line: "[" first after blanks.
bool IsSectionLine(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    return !trimmed.empty() && trimmed.front() == '[';
}

} // namespace

struct TIniFile::TSection {
    // A line as it is written out: a part of the file's text as read, or a
    // text of its own once the program wrote it. A key line ("key = value")
    // knows where its "=" is; its key and value are the trimmed parts around
    // it (the value as it stands in the file, maybe in quotes).
    struct TLine {
        std::string_view Text;
        std::size_t Equals = std::string::npos; // npos for lines that are not keys
        std::unique_ptr<char[]> Own;            // what Text shows, for a written line

        bool IsKey() const { return Equals != std::string::npos; }
        std::string_view Key() const { return Trim(Text.substr(0, Equals)); }
        std::string_view Value() const { return Trim(Text.substr(Equals + 1)); }
        // Makes this the line "key=value"; either may be a part of the line as it was.
        void Write(std::string_view key, std::string_view value) {
            const std::size_t size = key.size() + 1 + value.size();
            auto text = std::make_unique_for_overwrite<char[]>(size);
            std::copy(key.begin(), key.end(), text.get());
            text[key.size()] = '=';
            std::copy(value.begin(), value.end(), text.get() + key.size() + 1);
            Own = std::move(text);
            Text = std::string_view(Own.get(), size);
            Equals = key.size();
        }
    };
    // A slot of the key index: the line number + 1 (0: empty) and the key's hash.
    struct TSlot {
        std::uint32_t Line = 0;
        std::uint32_t Hash = 0;
    };

    std::string Header; // the section line as read or written
    std::string Name;
    std::vector<TLine> Lines;
    // The first line of each key, by key without regard to case: open
    // addressing over a power-of-two table at most half full.
    std::vector<TSlot> Slots;
    std::size_t KeyCount = 0;

    // Room for `lines` lines, each of which may be a key.
    void Reserve(std::size_t lines) {
        Lines.reserve(lines);
        GrowIndex(lines);
    }

    TLine* FindKey(std::string_view key) {
        if (Slots.empty())
            return nullptr;
        const std::uint32_t hash = KeyHash(key);
        for (std::size_t i = hash & (Slots.size() - 1);; i = (i + 1) & (Slots.size() - 1)) {
            const TSlot& slot = Slots[i];
            if (slot.Line == 0)
                return nullptr;
            if (slot.Hash == hash && EqualsIgnoringCase(Lines[slot.Line - 1].Key(), key))
                return &Lines[slot.Line - 1];
        }
    }

    // Indexes the key of line `index` unless an earlier line holds that key.
    void IndexKey(std::size_t index) {
        const std::string_view key = Lines[index].Key();
        if (FindKey(key))
            return;
        GrowIndex(KeyCount + 1);
        Place({static_cast<std::uint32_t>(index + 1), KeyHash(key)});
        ++KeyCount;
    }

    void AddKey(std::string_view key, std::string_view value) {
        // New keys go after the last non-blank line, so blank separator lines stay at the end.
        std::size_t at = Lines.size();
        while (at > 0 && !Lines[at - 1].IsKey() && IsBlank(Lines[at - 1].Text))
            --at;
        TLine line;
        line.Write(key, value);
        // Only blank lines follow, none of them in the index.
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        IndexKey(at);
    }

private:
    // A table with room for `keys` keys at most half full.
    void GrowIndex(std::size_t keys) {
        if (2 * keys <= Slots.size())
            return;
        std::size_t size = 16;
        while (size < 2 * keys)
            size *= 2;
        std::vector<TSlot> old(size);
        old.swap(Slots);
        for (const TSlot& slot : old) {
            if (slot.Line != 0)
                Place(slot);
        }
    }

    void Place(TSlot slot) {
        std::size_t i = slot.Hash & (Slots.size() - 1);
        while (Slots[i].Line != 0)
            i = (i + 1) & (Slots.size() - 1);
        Slots[i] = slot;
    }
};

TIniFile::TIniFile(std::string path) : Path_(std::move(path)) {
    if (!FileExists(Path_))
        return;
    std::string bytes;
    if (const int err = ReadWholeFile(Path_, bytes); err != 0) {
        LoadError_ = std::strerror(err);
        return;
    }
    Parse(std::move(bytes));
}

TIniFile::~TIniFile() = default;

std::unique_ptr<TIniFile> TIniFile::FromText(std::string path, std::string_view text) {
    auto ini = std::unique_ptr<TIniFile>(new TIniFile(std::string()));
    ini->Path_ = std::move(path);
    ini->Parse(std::string(text));
    return ini;
}

void TIniFile::Parse(std::string bytes) {
    std::size_t start = 0;
    if (bytes.starts_with(Utf16LeBom)) {
        Encoding_ = TEncoding::Utf16Le;
        Source_ = Utf16LeToUtf8(std::string_view(bytes).substr(Utf16LeBom.size()));
    } else {
        if (bytes.starts_with(Utf8Bom)) {
            Encoding_ = TEncoding::Utf8WithBom;
            start = Utf8Bom.size();
        }
        Source_ = std::move(bytes);
    }
    const std::string_view text = std::string_view(Source_).substr(start);
    if (const auto lf = text.find('\n'); lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r')
        LineBreak_ = "\r\n";

    // The lines of each section first, so that each gets its room at once.
    std::vector<std::size_t> sectionLines;
    ForEachLine(text, [&](std::string_view line) {
        if (IsSectionLine(line))
            sectionLines.push_back(0);
        else if (!sectionLines.empty())
            ++sectionLines.back();
    });
    Sections_.reserve(sectionLines.size());

    TSection* current = nullptr;
    ForEachLine(text, [&](std::string_view line) {
        if (IsSectionLine(line)) {
            const std::string_view trimmed = Trim(line);
            auto close = trimmed.find(']');
            auto name = Trim(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            auto section = std::make_unique<TSection>();
            section->Header = std::string(line);
            section->Name = std::string(name);
            section->Reserve(sectionLines[Sections_.size()]);
            current = section.get();
            Sections_.push_back(std::move(section));
            return;
        }
        if (!current) {
            Preamble_.emplace_back(line);
            return;
        }
        TSection::TLine& entry = current->Lines.emplace_back();
        entry.Text = line;
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && !Trim(line).starts_with(';') && !Trim(line.substr(0, eq)).empty()) {
            entry.Equals = eq;
            current->IndexKey(current->Lines.size() - 1);
        }
    });
}

TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
    const std::string_view wanted = Trim(section);
    for (const auto& s : Sections_) {
        if (EqualsIgnoringCase(s->Name, wanted))
            return s.get();
    }
    return nullptr;
}

std::optional<std::string> TIniFile::Find(std::string_view section, std::string_view key) const {
    TSection* s = FindSection(section);
    if (!s)
        return std::nullopt;
    auto* line = s->FindKey(Trim(key));
    if (!line)
        return std::nullopt;
    return std::string(Unquote(line->Value()));
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    auto value = Find(section, key);
    return value ? *value : std::string(def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
    auto value = Find(section, key);
    if (!value || value->empty())
        return def;
    std::string_view text = *value;
    if (text.front() == '+')
        text.remove_prefix(1);
    std::int32_t result = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc() || end != text.data() + text.size())
        return def;
    return result;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::size_t TIniFile::KeyCount(std::string_view section) const {
    TSection* s = FindSection(section);
    return s ? s->KeyCount : 0;
}

void TIniFile::ForEachKey(std::string_view section,
                          const std::function<void(std::string_view key, std::string_view value)>& each) const {
    const TSection* s = FindSection(section);
    if (!s)
        return;
    // The index holds the first line of each key; the lines give the order.
    std::vector<bool> first(s->Lines.size());
    for (const auto& slot : s->Slots) {
        if (slot.Line != 0)
            first[slot.Line - 1] = true;
    }
    for (std::size_t i = 0; i < s->Lines.size(); ++i) {
        if (first[i])
            each(s->Lines[i].Key(), Unquote(s->Lines[i].Value()));
    }
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos)
        return false;
    TSection* s = FindSection(section);
    if (!s) {
        auto created = std::make_unique<TSection>();
        created->Name = std::string(Trim(section));
        created->Header = "[" + created->Name + "]";
        s = created.get();
        Sections_.push_back(std::move(created));
    }
    if (auto* line = s->FindKey(Trim(key))) {
        // The key as it stands (trimmed), the value in its stored form.
        line->Write(line->Key(), Quote(value));
        return true;
    }
    s->AddKey(Trim(key), Quote(value));
    return true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::EraseSection(std::string_view section) {
    const std::string_view wanted = Trim(section);
    std::erase_if(Sections_, [&](const auto& s) { return EqualsIgnoringCase(s->Name, wanted); });
}

void TIniFile::Emit(const std::function<bool(std::string_view)>& put) const {
    if (Encoding_ == TEncoding::Utf8WithBom && !put(Utf8Bom))
        return;
    for (const auto& line : Preamble_) {
        if (!put(line) || !put(LineBreak_))
            return;
    }
    for (const auto& s : Sections_) {
        if (!put(s->Header) || !put(LineBreak_))
            return;
        for (const auto& line : s->Lines) {
            if (!put(line.Text) || !put(LineBreak_))
                return;
        }
    }
}

std::string TIniFile::Text() const {
    // Sized first, then filled in one go: the playlist makes this tens of thousands of lines.
    std::size_t size = 0;
    Emit([&size](std::string_view piece) {
        size += piece.size();
        return true;
    });
    std::string out;
    out.reserve(size);
    Emit([&out](std::string_view piece) {
        out += piece;
        return true;
    });
    if (Encoding_ == TEncoding::Utf16Le)
        return std::string(Utf16LeBom) + Utf8ToUtf16Le(out);
    return out;
}

bool TIniFile::Save(std::string* error) const {
    if (Encoding_ == TEncoding::Utf16Le)
        return WriteFileAtomically(Path_, Text(), error);
    // Straight from the lines: the text of a long playlist is never built whole.
    return WriteFileAtomically(
        Path_, [this](const TWritePiece& write) { Emit(write); }, error);
}

} // namespace zv2::platform
