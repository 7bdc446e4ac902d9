#include "download/untResumeRecord.h"

#include "download/untSaveThread.h"
#include "http/untHttpReply.h"
#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::download {

namespace {

constexpr std::string_view kFormat = "zv2 resume ";
constexpr std::string_view kVersionLine = "zv2 resume 1";
constexpr std::string_view kCheck = "check ";
constexpr std::size_t kLongestUrl = 4096;
constexpr std::size_t kLongestName = 255;

// Takes the next line of `text` (without its LF) into `line`; false at the end.
bool NextLine(std::string_view& text, std::string_view& line) {
    if (text.empty())
        return false;
    const std::size_t end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return true;
}

// The value of a line "name value" (perhaps empty); nullopt when the line is no such line.
std::optional<std::string_view> Field(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || !line.starts_with(name) || line[name.size()] != ' ')
        return std::nullopt;
    return line.substr(name.size() + 1);
}

// Reads a sound record's fields from `body` (the lines after the version,
// before the check line).
std::optional<TResumeRecord> ReadFields(std::string_view body, std::string& why) {
    TResumeRecord record;
    std::string_view line;
    const auto text = [&](std::string_view name, std::size_t longest, std::string& into) {
        if (!NextLine(body, line)) {
            why = "no " + std::string(name) + " line";
            return false;
        }
        const auto value = Field(line, name);
        if (!value || !IsRecordValue(*value, longest)) {
            why = "bad " + std::string(name) + " line";
            return false;
        }
        into = *value;
        return true;
    };
    std::string size;
    if (!text("url", kLongestUrl, record.Url) || !text("name", kLongestName, record.Name) || !text("size", 18, size) ||
        !text("last-modified", kLongestServerText, record.LastModified) ||
        !text("etag", kLongestServerText, record.ETag))
        return std::nullopt;
    // The name stays in the folder: it is what the download list makes of a song's name.
    if (record.Url.empty() || record.Name.empty() || platform::SafeFileName(record.Name) != record.Name) {
        why = "bad address or name";
        return std::nullopt;
    }
    const auto bytes = http::DecimalValue(size);
    if (!bytes || *bytes <= 0 || *bytes > kLargestSong) {
        why = "size out of range";
        return std::nullopt;
    }
    record.Size = *bytes;
    while (NextLine(body, line)) {
        const auto value = Field(line, "range");
        const std::size_t blank = value ? value->find(' ') : std::string_view::npos;
        if (blank == std::string_view::npos) {
            why = "bad range line";
            return std::nullopt;
        }
        const auto start = http::DecimalValue(value->substr(0, blank));
        const auto end = http::DecimalValue(value->substr(blank + 1));
        if (!start || !end || *start >= *end || *end > record.Size) {
            why = "range outside the file";
            return std::nullopt;
        }
        if (!record.Ranges.empty() && *start <= record.Ranges.back().End) {
            why = "ranges overlap or out of order";
            return std::nullopt;
        }
        if (record.Ranges.size() == kMostResumeRanges) {
            why = "too many ranges";
            return std::nullopt;
        }
        record.Ranges.push_back({*start, *end});
    }
    return record;
}

// The path of `name` in `folder`.
std::string InFolder(const std::string& folder, std::string_view name) {
    return folder + "/" + std::string(name);
}

// The record beside a temporary file, read whole when it is no larger than a
// record may be; nullopt when there is none.
std::optional<std::string> ReadRecordFile(const std::string& path, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        why = "cannot be read";
        return std::string();
    }
    std::string text;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "not a file";
    } else {
        // One byte more than a record may hold tells one that is too long.
        char buffer[4096];
        while (text.size() <= kLongestResumeRecord) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

} // namespace

std::int64_t TResumeRecord::Complete() const {
    std::int64_t bytes = 0;
    for (const TByteRange& range : Ranges)
        bytes += range.End - range.Start;
    return bytes;
}

std::string FormatResumeRecord(const TResumeRecord& record) {
    std::string text = std::string(kVersionLine) + "\n";
    text += "url " + record.Url + "\n";
    text += "name " + record.Name + "\n";
    text += "size " + std::to_string(record.Size) + "\n";
    text += "last-modified " + record.LastModified + "\n";
    text += "etag " + record.ETag + "\n";
    for (const TByteRange& range : record.Ranges)
        text += "range " + std::to_string(range.Start) + " " + std::to_string(range.End) + "\n";
    text += std::string(kCheck) + platform::Fnv1a64Hex(text) + "\n";
    return text;
}

std::optional<TResumeRecord> ParseResumeRecord(std::string_view text, std::string& why) {
    if (text.size() > kLongestResumeRecord) {
        why = "too long";
        return std::nullopt;
    }
    if (!text.starts_with(kFormat)) {
        why = "not a resume record";
        return std::nullopt;
    }
    std::string_view rest = text, version;
    NextLine(rest, version);
    if (version != kVersionLine) {
        why = "unknown version";
        return std::nullopt;
    }
    // The check line is the last one, ended like every other.
    const std::size_t lastLine = text.size() >= 2 ? text.rfind('\n', text.size() - 2) : std::string_view::npos;
    const std::string_view check = lastLine == std::string_view::npos ? std::string_view() : text.substr(lastLine + 1);
    if (!text.ends_with('\n') || !check.starts_with(kCheck) || check.size() != kCheck.size() + 16 + 1) {
        why = "cut short";
        return std::nullopt;
    }
    const std::string_view body = text.substr(0, lastLine + 1);
    if (check.substr(kCheck.size(), 16) != platform::Fnv1a64Hex(body)) {
        why = "checksum does not match";
        return std::nullopt;
    }
    return ReadFields(body.substr(kVersionLine.size() + 1), why);
}

bool IsRecordValue(std::string_view text, std::size_t longest) {
    return text.size() <= longest && std::none_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7F;
           });
}

std::vector<TByteRange> MissingRanges(const std::vector<TByteRange>& complete, std::int64_t size) {
    std::vector<TByteRange> missing;
    std::int64_t at = 0;
    for (const TByteRange& range : complete) {
        if (range.Start > at)
            missing.push_back({at, std::min(range.Start, size)});
        at = std::max(at, range.End);
    }
    if (at < size)
        missing.push_back({at, size});
    return missing;
}

std::string ResumeRecordPath(const std::string& temporary) {
    return temporary + kResumeRecordSuffix;
}

bool WriteResumeRecord(const std::string& temporary, const TResumeRecord& record) {
    const std::string text = FormatResumeRecord(record);
    std::string why;
    return ParseResumeRecord(text, why) && platform::WriteFileAtomically(ResumeRecordPath(temporary), text);
}

void RemoveTemporarySong(const std::string& temporary) {
    // The record first: a kill in between leaves a file without a record,
    // which the next start removes, never a record without its bytes.
    ::unlink(ResumeRecordPath(temporary).c_str());
    ::unlink(temporary.c_str());
}

bool IsTemporarySongName(std::string_view name) {
    return name.size() == sizeof kTemporarySongPrefix - 1 + 6 && name.starts_with(kTemporarySongPrefix);
}

TUnfinishedScan ScanUnfinishedSongs(const std::string& folder) {
    TUnfinishedScan scan;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return scan;
    std::set<std::string> temporaries, records;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (IsTemporarySongName(name))
            temporaries.emplace(name);
        else if (name.ends_with(kResumeRecordSuffix) &&
                 IsTemporarySongName(name.substr(0, name.size() - (sizeof kResumeRecordSuffix - 1))))
            records.emplace(name);
    }
    ::closedir(dir);
    // Records cut short while they were written, by a process no longer running.
    platform::RemoveStaleTemporaryFiles(folder);

    for (const std::string& name : temporaries) {
        const std::string path = InFolder(folder, name);
        records.erase(name + kResumeRecordSuffix);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat info {};
        // A download or save alive holds the lock: its file and record stay.
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        std::string why;
        const std::optional<std::string> text = ReadRecordFile(ResumeRecordPath(path), why);
        std::optional<TResumeRecord> record;
        if (text && why.empty())
            record = ParseResumeRecord(*text, why);
        if (record && !record->Ranges.empty() && record->Ranges.back().End > info.st_size) {
            why = "the file lacks bytes the record names";
            record.reset();
        }
        if (record) {
            scan.Songs.push_back({path, std::move(*record)});
        } else {
            if (text)
                scan.Discarded.push_back(name + kResumeRecordSuffix + ": " + why);
            RemoveTemporarySong(path); // still locked
            ++scan.Removed;
        }
        ::close(fd);
    }
    // Records whose file went (a song moved into place just before a kill).
    for (const std::string& name : records) {
        struct stat info {};
        const std::string song = InFolder(folder, name.substr(0, name.size() - (sizeof kResumeRecordSuffix - 1)));
        if (::lstat(song.c_str(), &info) != 0 && errno == ENOENT)
            ::unlink(InFolder(folder, name).c_str());
    }
    std::sort(scan.Songs.begin(), scan.Songs.end(),
              [](const TUnfinishedSong& a, const TUnfinishedSong& b) { return a.Record.Name < b.Record.Name; });
    return scan;
}

void DiscardUnfinishedSong(const std::string& temporary) {
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            ::unlink(ResumeRecordPath(temporary).c_str());
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        RemoveTemporarySong(temporary);
    ::close(fd);
}

} // namespace zv2::download
