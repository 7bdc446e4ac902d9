// The sound card path for real: PortAudio over ALSA, with an ALSA
// configuration of the test's own whose default device is ALSA's "file"
// plugin over "null" (both built into alsa-lib). What the program plays lands
// in a file of raw PCM; the null device under it keeps no time, so the pace is
// the program's own.

#include "audio/untAudioPlayer.h"

#include "CapturedErrors.h"
#include "LoadedLibraries.h"
#include "TempDir.h"
#include "audio/EngineFixture.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <jack/jack.h>
#include <unistd.h>

namespace zv2::audio {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr double BytesPerSecond = 44100.0 * 4;

// An ALSA configuration of the test's own, for this process, whose default
// PCM is `pcm`: ALSA reads it when PortAudio starts, and nothing of the
// machine's configuration. The test's folder is Dir.
class TAlsaConfig {
public:
    explicit TAlsaConfig(const std::string& pcm) {
        const std::string path = Dir.File("asound.conf");
        std::ofstream(path) << "pcm.!default {\n" << pcm << "}\n";
        ::setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
        ::setenv("ZV2_AUDIO", "portaudio", 1);
    }
    // The "file" plugin over "null", writing raw PCM to `path`.
    static std::string FileDevice(const std::string& path) {
        return "    type file\n    slave.pcm { type null }\n    file \"" + path + "\"\n    format raw\n";
    }
    ~TAlsaConfig() {
        ::unsetenv("ALSA_CONFIG_PATH");
        ::setenv("ZV2_AUDIO", "null", 1);
    }
    zv2::test::TTempDir Dir;
};

std::size_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? std::size_t(st.st_size) : 0;
}

std::vector<std::int16_t> Samples(const TBytes& bytes, std::size_t from, std::size_t count) {
    std::vector<std::int16_t> s(count / 2);
    std::memcpy(s.data(), bytes.data() + from, s.size() * 2);
    return s;
}

// The card's samples at `at` are `expected` at the full local volume, 255 of
// 255 (0xFF00 of 0xFFFF on the card), give or take the last bit.
bool PlaysAsExpected(const std::vector<std::int16_t>& card, std::size_t at, const std::vector<std::int16_t>& expected) {
    if (at + expected.size() > card.size())
        return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double wanted = expected[i] * (double(0xFF00) / 0xFFFF);
        if (std::abs(card[at + i] - wanted) > 1.0)
            return false;
    }
    return true;
}

// A player in local mode at full volume on the device that CreateWaveOut
// chooses; the speaker link points at a fake speaker on loopback.
class SoundCard : public ::testing::Test {
protected:
    std::unique_ptr<TAudioPlayer> MakePlayer(std::unique_ptr<platform::IWaveOut> device) {
        auto player = std::make_unique<TAudioPlayer>(Ui, std::move(device), PeerLinkOptions(Peer));
        player->SetSpeakerMode(false);
        player->SetVolume(TZV2_Music::MaxVolumeLevel);
        return player;
    }

    platform::TQueueDispatcher Ui;
    zv2::test::TSpeakerPeer Peer;
};

TEST_F(SoundCard, TheSongReachesTheCardWholeInOrderAtRealTimePace) {
    zv2::test::TTempDir dir;
    const std::string out = dir.File("card.raw");
    TAlsaConfig alsa(TAlsaConfig::FileDevice(out));
    auto device = platform::CreateWaveOut();
    ASSERT_EQ(device->Name(), "portaudio");
    auto player = MakePlayer(std::move(device));

    // The fade-in has reached full volume well before block 16; blocks 16 to
    // 30 are whole blocks of the song.
    constexpr std::size_t FirstBlock = 16, EndBlock = 31;
    player->Open(SongPath());
    const auto started = std::chrono::steady_clock::now();
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return FileSize(out) >= EndBlock * Block; }));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    // Whatever the card took (silence included) is play time that has passed,
    // but for the stream's latency, which is well under a second.
    const double played = double(EndBlock * Block) / BytesPerSecond;
    std::printf("%.2f s of sound reached the card after %.2f s\n", played, elapsed.count());
    EXPECT_GE(elapsed.count(), played - 1.0) << "the card was given the sound faster than it plays";
    // A few blocks more for the silence before the first block and any gap.
    ASSERT_TRUE(WaitUntil([&] { return FileSize(out) >= (EndBlock + 4) * Block; }));
    player->Stop();

    const auto card = Samples(ReadBytes(out), 0, FileSize(out) & ~std::size_t(3));
    const TBytes song = ExpectedStreamAfterOpen(EndBlock * Block);
    // Where the card has block FirstBlock: its first frames, then the whole block.
    const auto first = Samples(song, FirstBlock * Block, Block);
    std::size_t at = 0;
    while (at < card.size() && !PlaysAsExpected(card, at, first))
        at += 2;
    ASSERT_LT(at, card.size()) << "block " << FirstBlock << " of the song is not on the card";
    // Each block follows the one before, whole; a block that came late may
    // follow some silence, which the card played while it waited.
    int gaps = 0;
    for (std::size_t b = FirstBlock; b < EndBlock; ++b) {
        const auto expected = Samples(song, b * Block, Block);
        if (!PlaysAsExpected(card, at, expected)) {
            ++gaps;
            while (at + 1 < card.size() && card[at] == 0 && card[at + 1] == 0)
                at += 2;
        }
        ASSERT_TRUE(PlaysAsExpected(card, at, expected)) << "block " << b << " is not next on the card";
        at += expected.size();
    }
    std::printf("%d of the blocks followed a gap\n", gaps);
}

// In a forked child: a mount namespace of its own (in a user namespace where
// it is root, unless it is root already) with an empty tmpfs on /dev/shm,
// where libjack keeps its files. False when none can be made here.
bool FreshSharedMemoryFolder() {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return false;
    } else {
        const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !(std::ofstream("/proc/self/setgroups") << "deny") ||
            !(std::ofstream("/proc/self/uid_map") << "0 " + uid + " 1") ||
            !(std::ofstream("/proc/self/gid_map") << "0 " + gid + " 1"))
            return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("zv2-test", "/dev/shm", "tmpfs", 0, nullptr) == 0;
}

void ListSharedMemory(const std::string& file) {
    std::ofstream listing(file);
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
        listing << entry.path().filename().string() << "\n";
}

// Run as a test process of its own (CTest starts one per case): the fork
// happens while the process has a single thread.
TEST(SoundCardStart, LeavesJackAloneAndSaysNothingOfIt) {
    zv2::test::TTempDir dir;
    TAlsaConfig alsa(TAlsaConfig::FileDevice(dir.File("card.raw")));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!FreshSharedMemoryFolder())
            ::_exit(77);
        std::string errors;
        bool portAudio = false;
        {
            zv2::test::TCapturedErrors captured;
            portAudio = platform::CreateWaveOut()->Name() == "portaudio";
            errors = captured.Text();
        }
        std::ofstream(dir.File("stderr.txt")) << errors;
        ListSharedMemory(dir.File("shm.txt"));
        // Any other client still reaches libjack, its server name with it.
        {
            zv2::test::TCapturedErrors captured;
            jack_status_t status{};
            jack_client_open("zv2-test-client", jack_options_t(JackNoStartServer | JackServerName), &status,
                             "zv2-no-such-server");
        }
        ListSharedMemory(dir.File("shm-other-client.txt"));
        ::_exit(portAudio ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot make a mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the card opens through PortAudio";
    // libjack makes its folders in /dev/shm as soon as a client is opened.
    EXPECT_EQ(zv2::test::ReadFile(dir.File("shm.txt")), "") << "nothing of JACK was started";
    EXPECT_NE(zv2::test::ReadFile(dir.File("shm-other-client.txt")), "") << "another client reached libjack";
    std::string errors = zv2::test::ReadFile(dir.File("stderr.txt"));
    std::transform(errors.begin(), errors.end(), errors.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(errors.find("jack"), std::string::npos) << errors;
}

// A case of its own: the process has probed nothing before.
TEST(SoundCardStart, LoadsPortAudioAndAlsaWhenTheCardIsFirstProbed) {
    zv2::test::TTempDir dir;
    TAlsaConfig alsa(TAlsaConfig::FileDevice(dir.File("card.raw")));
    for (const char* library : {"libportaudio.so", "libasound.so", "libjack.so"})
        EXPECT_FALSE(zv2::test::LibraryLoaded(library)) << library << " is loaded before the probe";
    ASSERT_EQ(platform::CreateWaveOut()->Name(), "portaudio");
    EXPECT_TRUE(zv2::test::LibraryLoaded("libportaudio.so"));
    EXPECT_TRUE(zv2::test::LibraryLoaded("libasound.so"));
}

TEST_F(SoundCard, ACardThatDoesNotOpenLeavesTheNullDeviceAndOneDiagnosticLine) {
    TAlsaConfig alsa("    type hw\n    card \"zv2_no_such_card\"\n");
    std::unique_ptr<platform::IWaveOut> device;
    std::string errors;
    {
        zv2::test::TCapturedErrors captured;
        device = platform::CreateWaveOut();
        errors = captured.Text();
    }
    EXPECT_EQ(device->Name(), "null");
    std::size_t lines = 0;
    for (auto at = errors.find("sound: "); at != std::string::npos; at = errors.find("sound: ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << errors;

    // And the song plays on it, at its pace.
    auto player = MakePlayer(std::move(device));
    player->Open(SongPath());
    player->Play();
    const std::uint32_t start = player->Position();
    EXPECT_TRUE(WaitUntil([&] { return player->Position() > start; }));
}

} // namespace
} // namespace zv2::audio
