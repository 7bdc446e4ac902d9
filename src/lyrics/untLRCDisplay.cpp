#include "lyrics/untLRCDisplay.h"

#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace zv2::lyrics {

namespace {

constexpr int TickMs = 100;

std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A decimal integer with an optional sign, blanks around it allowed; nullopt
// for anything else, including values outside the 32-bit range.
std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    value = negative ? -value : value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// A fraction of a second in milliseconds. One or two digits are hundredths, as
// old files write them; three digits are milliseconds, and further digits are
// finer than the clock and dropped.
std::int64_t FractionMs(std::string_view text) {
    const auto value = ParseDecimal(text);
    if (!value)
        return 0;
    text = TrimBlanks(text);
    const auto digits = text.size() - (text.front() == '+' || text.front() == '-' ? 1 : 0);
    if (digits <= 2)
        return std::int64_t{*value} * 10;
    std::int64_t ms = *value;
    for (auto extra = digits; extra > 3; --extra)
        ms /= 10;
    return ms;
}

// The text between the line's first ":" and the "]" after it (the rest of the
// line when no "]" follows).
std::string_view TagValue(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return {};
    const auto close = line.find(']', colon + 1);
    return line.substr(colon + 1, close == std::string_view::npos ? std::string_view::npos : close - colon - 1);
}

void ToLowerAscii(std::string& line) {
    for (auto& c : line) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

// Every "[" opens a tag that the first "]" after it closes, so "[a[b]" holds
// the tags "a[b" and "b".
void AddLyricLine(std::string_view line, std::vector<TLyricEntry>& lines) {
    const auto lastClose = line.rfind(']');
    const auto text =
        std::make_shared<const std::string>(lastClose == std::string_view::npos ? line : line.substr(lastClose + 1));
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '[') {
            open.push_back(i);
        } else if (line[i] == ']') {
            for (const auto start : open)
                lines.push_back({ParseTime(line.substr(start + 1, i - start - 1)), text});
            open.clear();
        }
    }
}

enum class TLineKind { Album, Artist, Author, Title, Offset, Lyric };

// What a lower-cased line is: the first of the tag tests that matches, each
// looking for its text anywhere in the line.
TLineKind KindOf(std::string_view line) {
    if (line.find("[al") != std::string_view::npos)
        return TLineKind::Album;
    if (line.find("[ar") != std::string_view::npos)
        return TLineKind::Artist;
    if (line.find("[by") != std::string_view::npos)
        return TLineKind::Author;
    if (line.find("[ti") != std::string_view::npos)
        return TLineKind::Title;
    if (line.find("[offset") != std::string_view::npos)
        return TLineKind::Offset;
    return TLineKind::Lyric;
}

constexpr std::string_view Bom = "\xEF\xBB\xBF";

// One line of a file read as UTF-8 (`utf8`) or as GBK, in UTF-8.
std::string LineAsUtf8(std::string_view bytes, bool utf8) {
    if (!utf8) {
        if (auto converted = platform::GbkToUtf8(bytes))
            return std::move(*converted);
    }
    return platform::ToValidUtf8(bytes);
}

std::string ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    std::string content;
    char buffer[16384];
    for (;;) {
        const auto got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "cannot read " + path);
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return content;
}

} // namespace

std::int32_t ParseTime(std::string_view tag) {
    std::int64_t ms = 0;
    std::string_view rest = tag;
    if (const auto colon = tag.find(':'); colon != std::string_view::npos) {
        ms += std::int64_t{ParseDecimal(tag.substr(0, colon)).value_or(0)} * 60000;
        rest = tag.substr(colon + 1);
    }
    if (const auto dot = rest.find('.'); dot != std::string_view::npos) {
        ms += std::int64_t{ParseDecimal(rest.substr(0, dot)).value_or(0)} * 1000;
        ms += FractionMs(rest.substr(dot + 1));
    } else {
        ms += std::int64_t{ParseDecimal(rest).value_or(0)} * 1000;
    }
    return ClampToInt32(ms);
}

TLRCContent ParseLRC(std::string_view text) {
    TLRCContent content;
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view raw = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (lf != std::string_view::npos && raw.ends_with('\r'))
            raw.remove_suffix(1);
        if (raw.empty())
            continue;

        std::string line(raw);
        ToLowerAscii(line);
        switch (KindOf(line)) {
        case TLineKind::Album:
            content.AlbumText = "专辑：" + std::string(TagValue(line));
            break;
        case TLineKind::Artist:
            content.ArtistText = "艺术家：" + std::string(TagValue(line));
            break;
        case TLineKind::Author:
            content.AuthorText = "歌词制作：" + std::string(TagValue(line));
            break;
        case TLineKind::Title:
            content.Title = std::string(TagValue(line));
            break;
        case TLineKind::Offset:
            content.Offset = ParseDecimal(TagValue(line)).value_or(0);
            break;
        case TLineKind::Lyric:
            AddLyricLine(line, content.Lines);
            break;
        }
    }
    for (auto& line : content.Lines)
        line.Time = ClampToInt32(std::int64_t{line.Time} - content.Offset);
    // Each entry goes after every entry whose time is not greater than its own.
    std::stable_sort(content.Lines.begin(), content.Lines.end(),
                     [](const TLyricEntry& a, const TLyricEntry& b) { return a.Time < b.Time; });
    return content;
}

std::string DecodeLRCText(std::string_view bytes) {
    if (bytes.starts_with(Bom))
        return platform::ToValidUtf8(bytes.substr(Bom.size()));
    if (platform::IsValidUtf8(bytes))
        return std::string(bytes);
    // GBK, line by line, so one damaged line does not cost the others. A LF is
    // never part of a GBK character.
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (!bytes.empty()) {
        const auto lf = bytes.find('\n');
        const auto piece = bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf + 1);
        bytes.remove_prefix(piece.size());
        out += LineAsUtf8(piece, false);
    }
    return out;
}

std::string WithLRCOffset(std::string_view bytes, std::int32_t offsetMs) {
    const bool bom = bytes.starts_with(Bom);
    std::string_view rest = bom ? bytes.substr(Bom.size()) : bytes;
    const bool utf8 = bom || platform::IsValidUtf8(rest);
    const std::string tag = "[offset:" + std::to_string(offsetMs) + "]";
    std::string out(bom ? Bom : std::string_view());
    out.reserve(bytes.size() + tag.size() + 2);
    std::string_view lineEnd;                   // of the file's first line that has one
    std::size_t firstLyric = std::string::npos; // where the first lyric line starts in `out`
    bool replaced = false;
    while (!rest.empty()) {
        const auto lf = rest.find('\n');
        const std::string_view piece = rest.substr(0, lf == std::string_view::npos ? rest.size() : lf + 1);
        rest.remove_prefix(piece.size());
        // Where a line ends as ParseLRC sees it: a CR only counts before a LF.
        const std::string_view end = piece.ends_with("\r\n") ? "\r\n" : piece.ends_with('\n') ? "\n" : "";
        const std::string_view text = piece.substr(0, piece.size() - end.size());
        if (lineEnd.empty())
            lineEnd = end;
        if (!text.empty()) {
            std::string line = LineAsUtf8(text, utf8);
            ToLowerAscii(line);
            const TLineKind kind = KindOf(line);
            if (kind == TLineKind::Offset) {
                out.append(tag).append(end);
                replaced = true;
                continue;
            }
            if (kind == TLineKind::Lyric && firstLyric == std::string::npos)
                firstLyric = out.size();
        }
        out += piece;
    }
    if (replaced)
        return out;
    if (lineEnd.empty())
        lineEnd = "\n";
    if (firstLyric != std::string::npos)
        return out.insert(firstLyric, tag + std::string(lineEnd));
    if (out.size() > (bom ? Bom.size() : 0) && out.back() != '\n')
        out += lineEnd;
    return out.append(tag).append(lineEnd);
}

bool SaveLRCOffset(const std::string& path, std::int32_t offsetMs, std::string* error) {
    std::string bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const std::system_error& e) {
        if (error)
            *error = e.what();
        return false;
    }
    return platform::WriteFileAtomically(path, WithLRCOffset(bytes, offsetMs), error);
}

TLRCDisplay::TLRCDisplay(platform::IDispatcher& dispatcher) : Timer_(dispatcher.CreateTimer()) {
    Timer_->SetInterval(TickMs);
    Timer_->SetEnabled(false);
    Timer_->OnTimer = [this] { Tick(); };
}

void TLRCDisplay::LoadFile(const std::string& path) {
    FileName_ = path;
    Parse();
    Clock_ = TickMs;
    NextLine_ = 0;
}

bool TLRCDisplay::Parse() {
    Content_ = {};
    if (!platform::FileExists(FileName_))
        return false;
    Content_ = ParseLRC(DecodeLRCText(ReadWholeFile(FileName_)));
    return true;
}

void TLRCDisplay::Start() {
    if (Content_.Lines.empty()) {
        ShowLine("加载歌词失败");
        return;
    }
    ShowLine(Content_.Title);
    Timer_->SetEnabled(true);
}

void TLRCDisplay::Pause() {
    if (!Content_.Lines.empty())
        Timer_->SetEnabled(false);
}

void TLRCDisplay::SetClock(std::int32_t ms) {
    Clock_ = ms;
}

void TLRCDisplay::SkipTo(std::int32_t ms) {
    const auto& lines = Content_.Lines;
    const auto next = std::upper_bound(lines.begin(), lines.end(), ms,
                                       [](std::int32_t time, const TLyricEntry& line) { return time < line.Time; });
    Clock_ = ms;
    NextLine_ = static_cast<std::int32_t>(next - lines.begin());
    if (next != lines.begin())
        ShowLine(*std::prev(next)->Text);
}

bool TLRCDisplay::MoveLines(std::int32_t earlierMs, std::string* error) {
    if (Content_.Lines.empty())
        return false;
    const std::int32_t offset = ClampToInt32(std::int64_t{Content_.Offset} + earlierMs);
    const std::int64_t step = std::int64_t{offset} - Content_.Offset;
    for (auto& line : Content_.Lines)
        line.Time = ClampToInt32(line.Time - step);
    Content_.Offset = offset;
    SkipTo(Clock_);
    return SaveLRCOffset(FileName_, offset, error);
}

void TLRCDisplay::Tick() {
    const auto& lines = Content_.Lines;
    if (NextLine_ < 0 || static_cast<std::size_t>(NextLine_) >= lines.size()) {
        Timer_->SetEnabled(false);
        return;
    }
    Clock_ = ClampToInt32(std::int64_t{Clock_} + TickMs);
    const auto& next = lines[static_cast<std::size_t>(NextLine_)];
    if (next.Time > Clock_)
        return;
    ShowLine(*next.Text);
    Clock_ = next.Time;
    ++NextLine_;
}

void TLRCDisplay::ShowLine(const std::string& text) {
    if (Target)
        Target(text);
}

void TLRCDisplay::Clear() {
    Content_.Lines.clear();
}

} // namespace zv2::lyrics
