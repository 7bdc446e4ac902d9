// The whole program streaming to the software speaker, as on a real network:
// both run in a private network namespace of the test's own, the program on
// 127.0.0.1 with the null sound device, the speaker on 127.0.0.2 writing what
// it receives.

#include "../audio/AudioFixtures.h"
#include "TempDir.h"
#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"
#include "tools/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using zv2::test::TChildProcess;

constexpr std::size_t kBlock = 52100; // bytes of PCM per block, about 295 ms
constexpr double kBytesPerSecond = 176400;
constexpr std::size_t kBlocksAhead = 2; // queued at once when a song starts

std::string Tool(const std::string& name) {
    return std::string(std::getenv("ZV2_TOOLS_DIR")) + "/" + name;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// The most PCM a stream paced by the sound device may have carried `elapsed`
// after the program started: the blocks queued at once, then one block per
// block that the device finished in real time.
std::size_t MostBytesAfter(Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return static_cast<std::size_t>(seconds * kBytesPerSecond) + kBlocksAhead * kBlock;
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

// A 10 s rising tone, so that every block of it is unlike every other.
bool MakeGlide(const std::string& song) {
    return std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i "
                        "'aevalsrc=0.4*sin(2*PI*(200*t+60*t*t)):s=44100:c=stereo:d=10' "
                        "-c:a libmp3lame -b:a 192k -id3v2_version 0 -write_xing 0 '" +
                        song + "'")
                           .c_str()) == 0;
}

} // namespace

TEST(ProgramStream, ThePlayedSongReachesTheSpeakerWholeFromABlockBoundaryNeverFasterThanRealTime) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const std::string song = home.File("Glide.mp3");
    ASSERT_TRUE(MakeGlide(song));
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[MusicList]\nMusicCount=1\nMusic0=" << song
                                             << "\n[History]\nAutoPlay=1\nVolume=3000\n";

    const std::string wav = home.File("speaker.wav");
    TChildProcess speaker({Tool("zv2-speaker"), "--bind", "127.0.0.2", "--no-sound", "--wav", wav});
    ASSERT_TRUE(speaker.WaitForError("ready on", zv2::test::GiveUpMs)) << speaker.Err;
    const auto started = Clock::now();
    TChildProcess player(
        {"sh", "-c",
         "ZV2_HOME='" + home.Path() + "' exec '" + Tool("zv2player") + "' >'" + home.File("player.txt") + "' 2>&1"});

    // The event: six blocks (about 1.8 s of audio) have reached the speaker.
    // The WAV file holds at least what it shows; it never runs ahead of the
    // device's pace.
    constexpr std::size_t kWanted = 6 * kBlock;
    std::size_t seen = 0;
    while ((seen = FileSize(wav)) < 44 + kWanted && Clock::now() - started < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(seen, 44 + kWanted) << speaker.Err << ReadText(home.File("player.txt"));
    EXPECT_LE(seen - 44, MostBytesAfter(Clock::now() - started)) << "faster than real time";

    player.Signal(SIGTERM);
    EXPECT_EQ(player.Wait(), 0) << ReadText(home.File("player.txt"));
    const auto ended = Clock::now();
    speaker.Signal(SIGTERM);
    EXPECT_EQ(speaker.Wait(), 0) << speaker.Err;

    const auto received = WavData(wav);
    const auto pcm = zv2::audio::test::FfmpegPcm(song);
    ASSERT_GE(received.size(), kWanted) << speaker.Out;
    EXPECT_EQ(received.size() % kBlock, 0u) << "blocks arrive whole";
    EXPECT_LE(received.size(), MostBytesAfter(ended - started)) << "faster than real time";

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
}

// Three speakers in three rooms: one song, decoded once, reaches each of
// them whole from a block boundary, none faster than the sound device's pace.
TEST(ProgramStream, EveryCheckedSpeakerReceivesTheSongWholeFromABlockBoundary) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const std::string song = home.File("Glide.mp3");
    ASSERT_TRUE(MakeGlide(song));
    const std::vector<std::string> addresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    std::ofstream(home.File("Download.ini"))
        << "[ZV2Address]\nIP=127.0.0.2\n[ZV2Speakers]\nCount=3\nIP0=127.0.0.2\nIP1=127.0.0.3\nVolume1=1500\n"
           "IP2=127.0.0.4\n[MusicList]\nMusicCount=1\nMusic0="
        << song << "\n[History]\nAutoPlay=1\nVolume=3000\n";

    std::vector<std::unique_ptr<TChildProcess>> speakers;
    for (const auto& address : addresses) {
        speakers.push_back(std::make_unique<TChildProcess>(std::vector<std::string>{
            Tool("zv2-speaker"), "--bind", address, "--no-sound", "--wav", home.File(address + ".wav")}));
        ASSERT_TRUE(speakers.back()->WaitForError("ready on", zv2::test::GiveUpMs)) << speakers.back()->Err;
    }
    const auto started = Clock::now();
    TChildProcess player(
        {"sh", "-c",
         "ZV2_HOME='" + home.Path() + "' exec '" + Tool("zv2player") + "' >'" + home.File("player.txt") + "' 2>&1"});

    // The event: six blocks have reached every speaker.
    constexpr std::size_t kWanted = 6 * kBlock;
    const auto arrived = [&] {
        for (const auto& address : addresses)
            if (FileSize(home.File(address + ".wav")) < 44 + kWanted)
                return false;
        return true;
    };
    while (!arrived() && Clock::now() - started < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(arrived()) << ReadText(home.File("player.txt"));

    player.Signal(SIGTERM);
    EXPECT_EQ(player.Wait(), 0) << ReadText(home.File("player.txt"));
    const auto ended = Clock::now();
    for (auto& speaker : speakers) {
        speaker->Signal(SIGTERM);
        EXPECT_EQ(speaker->Wait(), 0) << speaker->Err;
    }

    const auto pcm = zv2::audio::test::FfmpegPcm(song);
    for (const auto& address : addresses) {
        const auto received = WavData(home.File(address + ".wav"));
        ASSERT_GE(received.size(), kWanted) << address;
        EXPECT_EQ(received.size() % kBlock, 0u) << address << ": blocks arrive whole";
        EXPECT_LE(received.size(), MostBytesAfter(ended - started)) << address << ": faster than real time";
        bool matches = false;
        for (std::size_t offset = 2 * kBlock; !matches && offset + received.size() <= pcm.size(); offset += kBlock)
            matches = MatchesFrom(received, pcm, offset);
        EXPECT_TRUE(matches) << address << " did not get the decoded song from a block boundary";
    }
}
