#pragma once
// An unfinished download on disk, kept so that a later start continues it:
// its temporary file in the download folder (kTemporarySongPrefix and six
// characters; the song's bytes at their offsets, holes where none arrived)
// and, beside it, its resume record (the same name and kResumeRecordSuffix).
//
// The record says where the song comes from and what of it is there, one
// field a line, each line ending in LF:
//
//   zv2 resume 1                      the format and its version
//   url ADDRESS                       the song's address, as the download had it
//   name NAME                         the song's file name in this folder
//   size BYTES                        the size the server gave (1 .. kLargestSong)
//   last-modified TEXT                the server's Last-Modified, empty when it sent none
//   etag TEXT                         its ETag, the same
//   range START END                   bytes START .. END-1 are in the temporary file;
//   ...                               none or more lines, in order, apart
//   check HEX                         FNV-1a (64 bits, 16 lower-case hex digits) of
//                                     every byte before this line
//
// A record only ever names bytes that are on disk: the writer flushes the
// temporary file (fdatasync) before it writes the record that claims them,
// and a record is written whole (platform::WriteFileAtomically), so a kill
// at any moment leaves the old record or the new one.
//
// A record read back is hostile (ParseResumeRecord): at most
// kLongestResumeRecord bytes, the version known, the checksum right, every
// field in its place, numbers in range, the ranges inside the size, sorted
// and apart, at most kMostResumeRanges of them. Anything else discards it.
//
// Threads: pure functions, and file functions that any thread may call.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::download {

// The temporary files of downloads and saves in progress: this prefix and six characters.
inline constexpr char kTemporarySongPrefix[] = ".zv2dl-";
// The resume record of a temporary file: its name and this.
inline constexpr char kResumeRecordSuffix[] = ".resume";
inline constexpr std::size_t kLongestResumeRecord = 64 * 1024;
inline constexpr std::size_t kMostResumeRanges = 1024;
// The longest Last-Modified or ETag a record keeps.
inline constexpr std::size_t kLongestServerText = 256;

// Bytes Start .. End-1 of a file.
struct TByteRange {
    std::int64_t Start = 0;
    std::int64_t End = 0;
    friend bool operator==(const TByteRange&, const TByteRange&) = default;
};

struct TResumeRecord {
    std::string Url;
    std::string Name; // the song's file name, in the folder of the record
    std::int64_t Size = 0;
    std::string LastModified; // as the server sent them; empty when it sent none
    std::string ETag;
    std::vector<TByteRange> Ranges; // complete in the temporary file: sorted, apart

    std::int64_t Complete() const; // bytes in Ranges
};

// The record's text (above).
std::string FormatResumeRecord(const TResumeRecord& record);
// The record in `text`; nullopt when it is not a sound one, with `why`
// saying what is wrong (in English, for the diagnostic output).
std::optional<TResumeRecord> ParseResumeRecord(std::string_view text, std::string& why);

// A value the record can hold in a line of its own: no control byte, at most
// `longest` bytes. Server texts that are not are kept as none.
bool IsRecordValue(std::string_view text, std::size_t longest);

// The bytes of 0 .. size-1 that `complete` (sorted, apart) lacks.
std::vector<TByteRange> MissingRanges(const std::vector<TByteRange>& complete, std::int64_t size);

// The record beside the temporary file `temporary`.
std::string ResumeRecordPath(const std::string& temporary);
// Writes `record` whole beside `temporary`; false when it cannot, or when
// ParseResumeRecord would not take it back (then the record there, if any,
// is as it was).
bool WriteResumeRecord(const std::string& temporary, const TResumeRecord& record);
// Removes the record of `temporary`, then the file itself.
void RemoveTemporarySong(const std::string& temporary);

// True for a name of the form kTemporarySongPrefix and six characters.
bool IsTemporarySongName(std::string_view name);

// An unfinished download that may be continued.
struct TUnfinishedSong {
    std::string Temporary; // the temporary file's path
    TResumeRecord Record;
};

struct TUnfinishedScan {
    std::vector<TUnfinishedSong> Songs; // by name
    std::vector<std::string> Discarded; // "name: why", one per record found unsound
    int Removed = 0;                    // temporary files removed
};

// The start-up look at a download folder. A temporary file locked by a
// download or save alive (in this or another process) is left alone, with its
// record. Every other one is kept, unlocked, when its record is sound and its
// file holds every byte the record names, and listed in Songs; otherwise it
// goes with its record (a record found unsound is named in Discarded). Records
// without their file go too, and so do the leftovers of record writes cut short.
TUnfinishedScan ScanUnfinishedSongs(const std::string& folder);

// Removes an unfinished download's temporary file and record, unless a
// download alive holds the file (it removes them itself when it ends).
void DiscardUnfinishedSong(const std::string& temporary);

} // namespace zv2::download
