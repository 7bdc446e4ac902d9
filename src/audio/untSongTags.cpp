#include "audio/untSongTags.h"

#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/tpropertymap.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>
#include <sys/stat.h>

namespace zv2::audio {

namespace {

std::string Utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

// The front cover, else the first picture of the ID3v2 tag.
const TagLib::ID3v2::AttachedPictureFrame* CoverFrame(TagLib::MPEG::File& file) {
    if (!file.hasID3v2Tag())
        return nullptr;
    const TagLib::ID3v2::AttachedPictureFrame* first = nullptr;
    for (const TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList("APIC")) {
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture)
            continue;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            return picture;
        if (!first)
            first = picture;
    }
    return first;
}

// The file name extension of a picture, by its first bytes: the tag's own
// MIME type is often missing or wrong. Empty for anything else.
std::string_view PictureExtension(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xD8\xFF"))
        return ".jpg";
    if (bytes.starts_with("\x89PNG\r\n\x1A\n"))
        return ".png";
    return {};
}

} // namespace

std::optional<TSongTags> ReadSongTags(const std::string& path) {
    TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Accurate);
    // TagLib opens any file; one without a single audio frame is no song.
    const long first = file.isValid() ? file.firstFrameOffset() : -1;
    if (first < 0 || first > long(std::numeric_limits<std::uint32_t>::max()))
        return std::nullopt;
    TSongTags tags;
    if (const TagLib::Tag* tag = file.tag()) {
        tags.Title = Utf8(tag->title());
        tags.Album = Utf8(tag->album());
    }
    const TagLib::PropertyMap properties = file.properties();
    for (const TagLib::String& artist : properties["ARTIST"])
        if (!artist.isEmpty())
            tags.Artists.push_back(Utf8(artist));
    if (const auto* audio = file.audioProperties())
        tags.DurationMs = audio->lengthInMilliseconds();
    tags.AudioOffset = std::uint32_t(first);
    if (const auto* cover = CoverFrame(file); cover && cover->picture().size() <= MaxCoverBytes) {
        tags.Cover.assign(cover->picture().data(), cover->picture().size());
        tags.CoverMime = Utf8(cover->mimeType());
    }
    return tags;
}

std::string CoverFile(const TSongTags& tags, const std::string& folder, std::string* error) {
    const std::string_view extension = PictureExtension(tags.Cover);
    if (extension.empty())
        return {};
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = "cannot make " + folder + ": " + std::strerror(errno);
        return {};
    }
    const std::string path = folder + platform::Fnv1a64Hex(tags.Cover) + std::string(extension);
    if (platform::FileExists(path) || platform::WriteFileAtomically(path, tags.Cover, error))
        return path;
    return {};
}

} // namespace zv2::audio
