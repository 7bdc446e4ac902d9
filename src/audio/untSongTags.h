#pragma once
// What a song file says of itself, read with TagLib: its title, artists and
// album from its tags (ID3v2.3 and 2.4, ID3v1, APE), its real play time (a
// VBR file's Xing or VBRI header counted in, not its first frame's bit
// rate), where its audio starts, and its embedded cover picture. For the
// desktop's media panels; the window's own texts come from the file name.
//
// Plain functions over local files; any thread, one file at a time per call.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zv2::audio {

struct TSongTags {
    std::string Title;                // UTF-8; empty when the tags name none
    std::vector<std::string> Artists; // in the tags' order; empty when none
    std::string Album;
    std::int64_t DurationMs = 0;   // the play time; 0 when no audio frame was found
    std::uint32_t AudioOffset = 0; // bytes before the first audio frame (tags at the start)
    std::string Cover;             // the picture's bytes; the front cover when there are several
    std::string CoverMime;         // as the tag names it ("image/jpeg", "image/png"), may be empty
};

// The tags of the MPEG audio file at `path`; nothing when it cannot be read,
// or holds no audio frame.
std::optional<TSongTags> ReadSongTags(const std::string& path);

// The covers larger than this are left out: a panel shows a thumbnail, and a
// song from the net may claim anything.
inline constexpr std::size_t MaxCoverBytes = 16 * 1024 * 1024;

// The file holding the song's cover in `folder` (ends with "/"; made when
// missing), for a panel to show: named after the picture's bytes, so one
// album's songs share it, and written only when it is not there yet, whole
// (a temporary name, flushed, renamed). Empty when the song has no JPEG or PNG
// cover, or it could not be written (then `error`, when given, says why).
std::string CoverFile(const TSongTags& tags, const std::string& folder, std::string* error = nullptr);

} // namespace zv2::audio
