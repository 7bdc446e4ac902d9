#include "audio/untSongTags.h"

#include "TempDir.h"
#include "audio/AudioFixtures.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zv2::audio {
namespace {

using test::MakeSine;

constexpr char Lame128[] = "-ac 2 -c:a libmp3lame -b:a 128k";
constexpr char Untagged[] = "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0";
// In place of the sine: 2 s of silence, then white noise, 6 s in all.
constexpr char NoiseAfterSilence[] = "-f lavfi -i anoisesrc=d=6:c=white:a=0.5:r=44100 "
                                     "-filter_complex \"[1:a]volume=0:enable='lt(t,2)'[a]\" -map \"[a]\"";

// A picture made by ffmpeg, once per process: a 16 x 16 PNG, or a JPEG.
std::string MakePicture(const std::string& name) {
    const std::string path = test::TempDir() + "/" + name;
    if (!std::ifstream(path).good()) {
        const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i color=c=red:s=16x16 "
                                    "-frames:v 1 '" +
                                    path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    return path;
}

// The song with the picture as its front cover in an ID3v2.3 tag.
std::string SongWithCover(const std::string& name, const std::string& picture) {
    return MakeSine(name,
                    "-i '" + picture + "' -map 0:a -map 1:v " + Lame128 +
                        " -c:v copy -id3v2_version 3 -metadata:s:v comment='Cover (front)' -metadata title=Covered",
                    3.0);
}

// The size of an ID3v2 tag at the start of the file, footer included: where the audio starts.
std::uint32_t Id3v2Size(const std::string& path) {
    const auto bytes = test::ReadBytes(path);
    if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3')
        return 0;
    return 10 +
           (std::uint32_t(bytes[6]) << 21 | std::uint32_t(bytes[7]) << 14 | std::uint32_t(bytes[8]) << 7 | bytes[9]) +
           ((bytes[5] & 0x10) ? 10 : 0);
}

} // namespace

TEST(SongTags, TitleArtistAlbumAndPlayTimeComeFromTheTagsAndTheAudioOfEachKindOfFile) {
    struct TCase {
        const char* File;
        std::string Options;
        double Seconds;
        const char* Title;
        std::vector<std::string> Artists;
        const char* Album;
    };
    const std::string tags = " -metadata title='Loopback Blues' -metadata artist='小明' -metadata album='测试专辑'";
    const TCase cases[] = {
        {"v23.mp3", Lame128 + std::string(" -id3v2_version 3") + tags, 4.0, "Loopback Blues", {"小明"}, "测试专辑"},
        {"v24.mp3", Lame128 + std::string(" -id3v2_version 4") + tags, 4.0, "Loopback Blues", {"小明"}, "测试专辑"},
        {"untagged.mp3", Untagged, 5.0, "", {}, ""},
        // Variable bit rate, silent for 2 s and then noise: its first frames
        // are far smaller than the rest (their rate gives 11 s, not 6), so
        // only the Xing header's frame count gives the play time.
        {"vbr.mp3",
         std::string(NoiseAfterSilence) + " -ac 2 -c:a libmp3lame -q:a 0 -id3v2_version 3 -metadata title=Varied",
         6.0,
         "Varied",
         {},
         ""},
        {"mono-mpeg2.mp3",
         "-ac 1 -ar 22050 -c:a libmp3lame -b:a 32k -id3v2_version 4 -metadata album=Half",
         3.0,
         "",
         {},
         "Half"},
    };
    for (const TCase& c : cases) {
        const std::string path = MakeSine(c.File, c.Options, c.Seconds);
        const auto read = ReadSongTags(path);
        ASSERT_TRUE(read) << c.File;
        EXPECT_EQ(read->Title, c.Title) << c.File;
        EXPECT_EQ(read->Artists, c.Artists) << c.File;
        EXPECT_EQ(read->Album, c.Album) << c.File;
        // The encoder adds its delay and pads the last frame: a few frames at most.
        EXPECT_NEAR(read->DurationMs / 1000.0, c.Seconds, 0.1) << c.File;
        EXPECT_EQ(read->AudioOffset, Id3v2Size(path)) << c.File;
        EXPECT_TRUE(read->Cover.empty()) << c.File;
    }
}

TEST(SongTags, TheFrontCoverComesWholeWithItsType) {
    const std::string picture = MakePicture("cover.png");
    const auto read = ReadSongTags(SongWithCover("cover.mp3", picture));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Title, "Covered");
    EXPECT_EQ(read->CoverMime, "image/png");
    const auto bytes = test::ReadBytes(picture);
    EXPECT_EQ(read->Cover, std::string(bytes.begin(), bytes.end()));
}

TEST(SongTags, AFileThatIsNoSongHasNoTags) {
    zv2::test::TTempDir dir;
    std::ofstream(dir.File("notes.mp3")) << "not a song at all\n";
    EXPECT_FALSE(ReadSongTags(dir.File("notes.mp3")));
    EXPECT_FALSE(ReadSongTags(dir.File("missing.mp3")));
}

TEST(SongTags, ACoverIsWrittenOnceAndSharedBySongsWithTheSamePicture) {
    zv2::test::TTempDir dir;
    const std::string folder = dir.File("Covers") + "/";
    const auto first = ReadSongTags(SongWithCover("cover.mp3", MakePicture("cover.png")));
    const auto second = ReadSongTags(SongWithCover("cover-again.mp3", MakePicture("cover.png")));
    ASSERT_TRUE(first && second);

    const std::string path = CoverFile(*first, folder);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(folder, 0), 0u);
    EXPECT_EQ(path.substr(path.size() - 4), ".png");
    EXPECT_EQ(zv2::test::ReadFile(path), first->Cover);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    EXPECT_EQ(CoverFile(*second, folder), path);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file is not written again";

    const auto jpeg = ReadSongTags(SongWithCover("cover-jpeg.mp3", MakePicture("cover.jpg")));
    ASSERT_TRUE(jpeg);
    const std::string other = CoverFile(*jpeg, folder);
    EXPECT_NE(other, path);
    EXPECT_EQ(other.substr(other.size() - 4), ".jpg");
    EXPECT_EQ(zv2::test::ReadFile(other), jpeg->Cover);
}

TEST(SongTags, NoCoverFileWithoutAPictureOrWhereNoneCanBeWritten) {
    zv2::test::TTempDir dir;
    const auto untagged = ReadSongTags(MakeSine("untagged.mp3", Untagged, 5.0));
    ASSERT_TRUE(untagged);
    EXPECT_EQ(CoverFile(*untagged, dir.File("Covers") + "/"), "");

    TSongTags odd;
    odd.Cover = "GIF89a and more";
    EXPECT_EQ(CoverFile(odd, dir.File("Covers") + "/"), "") << "only pictures panels show";

    const auto covered = ReadSongTags(SongWithCover("cover.mp3", MakePicture("cover.png")));
    ASSERT_TRUE(covered);
    std::ofstream(dir.File("file")) << "a file where the folder would be";
    std::string error;
    EXPECT_EQ(CoverFile(*covered, dir.File("file") + "/", &error), "");
    EXPECT_FALSE(error.empty());
}

} // namespace zv2::audio
