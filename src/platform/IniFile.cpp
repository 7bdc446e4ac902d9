#include "platform/IniFile.h"

#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace zv2::platform {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
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

} // namespace

struct TIniFile::TSection {
    struct TLine {
        std::string Raw;   // the line as read, for lines that are not keys
        std::string Key;   // empty for raw lines
        std::string Value; // as it stands in the file, trimmed (maybe in quotes)
        bool IsKey = false;
    };
    std::string Header; // the section line as read or written
    std::string Name;
    std::vector<TLine> Lines;
    std::unordered_map<std::string, std::size_t> KeyIndex; // lower-case key -> first line

    TLine* FindKey(std::string_view key) {
        auto it = KeyIndex.find(Lower(key));
        return it == KeyIndex.end() ? nullptr : &Lines[it->second];
    }

    void AddKey(std::string_view key, std::string_view value) {
        // New keys go after the last non-blank line, so blank separator lines stay at the end.
        std::size_t at = Lines.size();
        while (at > 0 && !Lines[at - 1].IsKey && IsBlank(Lines[at - 1].Raw))
            --at;
        TLine line;
        line.Key = std::string(key);
        line.Value = std::string(value);
        line.IsKey = true;
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        if (at + 1 != Lines.size()) {
            for (auto& [k, index] : KeyIndex) {
                if (index >= at)
                    ++index;
            }
        }
        KeyIndex.emplace(Lower(key), at);
    }
};

TIniFile::TIniFile(std::string path) : Path_(std::move(path)) {
    if (!FileExists(Path_))
        return;
    std::ifstream in(Path_, std::ios::binary);
    if (!in) {
        LoadError_ = std::strerror(errno);
        return;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    Parse(buffer.str());
}

TIniFile::~TIniFile() = default;

std::unique_ptr<TIniFile> TIniFile::FromText(std::string path, std::string_view text) {
    auto ini = std::unique_ptr<TIniFile>(new TIniFile(std::string()));
    ini->Path_ = std::move(path);
    ini->Parse(text);
    return ini;
}

void TIniFile::Parse(std::string_view bytes) {
    std::string decoded;
    if (bytes.starts_with(Utf16LeBom)) {
        Encoding_ = TEncoding::Utf16Le;
        decoded = Utf16LeToUtf8(bytes.substr(Utf16LeBom.size()));
        bytes = decoded;
    } else if (bytes.starts_with(Utf8Bom)) {
        Encoding_ = TEncoding::Utf8WithBom;
        bytes.remove_prefix(Utf8Bom.size());
    }
    const std::string_view text = bytes;
    if (const auto lf = text.find('\n'); lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r')
        LineBreak_ = "\r\n";

    TSection* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        const std::string_view trimmed = Trim(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            auto close = trimmed.find(']');
            auto name = Trim(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            auto section = std::make_unique<TSection>();
            section->Header = std::string(line);
            section->Name = std::string(name);
            current = section.get();
            Sections_.push_back(std::move(section));
            continue;
        }
        if (!current) {
            Preamble_.emplace_back(line);
            continue;
        }
        TSection::TLine entry;
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && !trimmed.starts_with(';') && !Trim(line.substr(0, eq)).empty()) {
            entry.IsKey = true;
            entry.Key = std::string(Trim(line.substr(0, eq)));
            entry.Value = std::string(Trim(line.substr(eq + 1)));
            entry.Raw = std::string(line);
            current->KeyIndex.emplace(Lower(entry.Key), current->Lines.size());
        } else {
            entry.Raw = std::string(line);
        }
        current->Lines.push_back(std::move(entry));
    }
}

TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
    const std::string wanted = Lower(Trim(section));
    for (const auto& s : Sections_) {
        if (Lower(s->Name) == wanted)
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
    return std::string(Unquote(line->Value));
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
    return s ? s->KeyIndex.size() : 0;
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
        line->Value = Quote(value);
        line->Raw.clear();
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
    const std::string wanted = Lower(Trim(section));
    std::erase_if(Sections_, [&](const auto& s) { return Lower(s->Name) == wanted; });
}

std::string TIniFile::Text() const {
    std::string out;
    for (const auto& line : Preamble_)
        out += line + LineBreak_;
    for (const auto& s : Sections_) {
        out += s->Header + LineBreak_;
        for (const auto& line : s->Lines) {
            if (line.IsKey && line.Raw.empty())
                out += line.Key + "=" + line.Value + LineBreak_;
            else
                out += line.Raw + LineBreak_;
        }
    }
    switch (Encoding_) {
    case TEncoding::Utf16Le:
        return std::string(Utf16LeBom) + Utf8ToUtf16Le(out);
    case TEncoding::Utf8WithBom:
        return std::string(Utf8Bom) + out;
    case TEncoding::Bytes:
        break;
    }
    return out;
}

bool TIniFile::Save(std::string* error) const {
    return WriteFileAtomically(Path_, Text(), error);
}

} // namespace zv2::platform
