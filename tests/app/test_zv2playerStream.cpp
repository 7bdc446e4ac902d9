// The whole program streaming to the software speaker, as on a real network:
// both run in a private network namespace, the program on 127.0.0.1 with the
// null sound device, the speaker on 127.0.0.2 writing what it receives.

#include "../audio/AudioFixtures.h"
#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace {

constexpr std::size_t kBlock = 52100; // bytes of PCM per block
constexpr double kBytesPerSecond = 176400;

std::string Tool(const std::string& name) {
    return std::string(std::getenv("ZV2_TOOLS_DIR")) + "/" + name;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The data chunk of a WAV file.
zv2::audio::test::TBytes WavData(const std::string& path) {
    const auto bytes = zv2::audio::test::ReadBytes(path);
    for (std::size_t i = 12; i + 8 <= bytes.size();) {
        const std::string id(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i) + 4);
        const std::uint32_t size = bytes[i + 4] | bytes[i + 5] << 8 | bytes[i + 6] << 16 | bytes[i + 7] << 24;
        if (id == "data")
            return {bytes.begin() + static_cast<long>(i) + 8,
                    bytes.begin() + static_cast<long>(std::min<std::size_t>(i + 8 + size, bytes.size()))};
        i += 8 + size + (size & 1);
    }
    return {};
}

// True when `stream` equals `pcm` from byte `offset` on, sample by sample
// within one step (two decoders may round a float sample differently).
bool MatchesFrom(const zv2::audio::test::TBytes& stream, const zv2::audio::test::TBytes& pcm, std::size_t offset) {
    if (offset + stream.size() > pcm.size())
        return false;
    for (std::size_t i = 0; i + 1 < stream.size(); i += 2) {
        const int a = static_cast<std::int16_t>(stream[i] | stream[i + 1] << 8);
        const int b = static_cast<std::int16_t>(pcm[offset + i] | pcm[offset + i + 1] << 8);
        if (std::abs(a - b) > 1)
            return false;
    }
    return true;
}

} // namespace

TEST(ProgramStream, ThePlayedSongReachesTheSpeakerWholeFromABlockBoundaryAtTheRealTimeRate) {
    if (std::system("unshare -n true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const std::string song = home.File("Glide.mp3");
    // A rising tone, so that every block of it is unlike every other.
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i "
                           "'aevalsrc=0.4*sin(2*PI*(200*t+60*t*t)):s=44100:c=stereo:d=10' "
                           "-c:a libmp3lame -b:a 192k -id3v2_version 0 -write_xing 0 '" +
                           song + "'")
                              .c_str()),
              0);
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[MusicList]\nMusicCount=1\nMusic0=" << song
                                             << "\n[History]\nAutoPlay=1\nVolume=3000\n";

    const std::string wav = home.File("speaker.wav");
    const std::string summary = home.File("summary.txt");
    constexpr int kSeconds = 6;
    const std::string script = "ip link set lo up; "
                               "'" +
                               Tool("zv2-speaker") + "' --bind 127.0.0.2 --no-sound --wav '" + wav + "' >'" + summary +
                               "' 2>&1 & sp=$!; "
                               "sleep 0.3; "
                               "ZV2_HOME='" +
                               home.Path() + "' ZV2_AUDIO=null QT_QPA_PLATFORM=offscreen '" + Tool("zv2player") +
                               "' & pl=$!; "
                               "sleep " +
                               std::to_string(kSeconds) +
                               "; kill -TERM $pl; wait $pl; st=$?; "
                               "kill -TERM $sp; wait $sp; exit $st";
    std::ofstream(home.File("run.sh")) << script << "\n";
    ASSERT_EQ(std::system(("unshare -n sh '" + home.File("run.sh") + "'").c_str()), 0) << ReadText(summary);

    const auto received = WavData(wav);
    const auto pcm = zv2::audio::test::FfmpegPcm(song);
    ASSERT_GE(received.size(), 2 * kBlock) << ReadText(summary);
    EXPECT_EQ(received.size() % kBlock, 0u) << "blocks arrive whole";

    // The stream starts at a block boundary of the decoded song: after the two
    // blocks that the first start drops, or later when the link came up late.
    std::size_t start = SIZE_MAX;
    for (std::size_t offset = 0; offset + received.size() <= pcm.size(); offset += kBlock) {
        if (MatchesFrom(received, pcm, offset)) {
            start = offset;
            break;
        }
    }
    ASSERT_NE(start, SIZE_MAX) << "the stream is not the decoded song";
    EXPECT_GE(start, 2 * kBlock);

    // Paced by the sound device: never faster than real time, and most of the
    // run's time in audio (generous margins for a loaded machine).
    const double seconds = static_cast<double>(received.size()) / kBytesPerSecond;
    EXPECT_LE(seconds, kSeconds + 1.0);
    EXPECT_GE(seconds, kSeconds / 3.0);
}
