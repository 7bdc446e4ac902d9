#include "audio/untAudioPlayer.h"

#include "audio/EngineFixture.h"

namespace zv2::audio {
namespace {

using namespace test;
using zv2::test::TSpeakerPeer;

class AudioPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Peer.Ok);
        auto device = std::make_unique<platform::TFakeWaveOut>();
        Device = device.get();
        Player = std::make_unique<TAudioPlayer>(Ui, std::move(device), PeerLinkOptions(Peer));
        Player->Engine().Link().SetDevice("127.0.0.1", "44100");
    }

    platform::TQueueDispatcher Ui;
    TSpeakerPeer Peer;
    platform::TFakeWaveOut* Device = nullptr;
    std::unique_ptr<TAudioPlayer> Player;
};

TEST_F(AudioPlayer, StartsCreatedInSpeakerModeAtVolumeZero) {
    EXPECT_EQ(Player->State(), TAudioPlayer::Created);
    EXPECT_EQ(Player->CurrentVolume(), 0);
    EXPECT_TRUE(Player->SpeakerMode());
    EXPECT_TRUE(Player->Engine().SpeakerMode());
    EXPECT_EQ(Player->FileName(), "");
}

TEST_F(AudioPlayer, OpenOfAMissingFileChangesNothing) {
    Player->Open(TempDir() + "/missing.mp3");
    EXPECT_EQ(Player->State(), TAudioPlayer::Created);
    EXPECT_EQ(Player->FileName(), "");
    Player->Open(TempDir()); // a folder is no file
    EXPECT_EQ(Player->State(), TAudioPlayer::Created);
}

TEST_F(AudioPlayer, PlayPauseAndStopMoveThroughTheStateCodes) {
    Player->Open(SongPath());
    EXPECT_EQ(Player->State(), TAudioPlayer::Opened);
    EXPECT_EQ(Player->FileName(), SongPath());
    EXPECT_EQ(Player->Length(), ReadBytes(SongPath()).size());
    EXPECT_EQ(Player->Position(), 0u);

    Player->Play();
    EXPECT_EQ(Player->State(), TAudioPlayer::Playing);
    EXPECT_GT(Player->Position(), 0u);
    EXPECT_TRUE(Player->Pause());
    EXPECT_EQ(Player->State(), TAudioPlayer::Paused);
    EXPECT_TRUE(Device->Paused());

    // Play leaves the pause by restarting the device: the queued sound is skipped.
    Player->Play();
    EXPECT_EQ(Player->State(), TAudioPlayer::Playing);
    EXPECT_FALSE(Device->Paused());
    Player->Stop();
    EXPECT_EQ(Player->State(), TAudioPlayer::Stopped);
    EXPECT_FALSE(Player->Engine().Active());
    EXPECT_EQ(DeviceCalls(*Device),
              (std::vector<std::string>{"Restart", "Open", "Write", "Write", "Pause", "Restart", "Reset", "Close",
                                        "Open", "Write", "Write", "Write", "Write", "Reset", "Close"}));
}

TEST_F(AudioPlayer, PauseWhenNothingPlaysStillSetsPaused) {
    EXPECT_FALSE(Player->Pause());
    EXPECT_EQ(Player->State(), TAudioPlayer::Paused);
}

TEST_F(AudioPlayer, SeekActsOnlyWhilePlaying) {
    Player->Open(SongPath());
    Player->Seek(1000);
    EXPECT_EQ(Player->Position(), 0u);
    Player->Play();
    Player->Pause();
    const std::uint32_t paused = Player->Position();
    Player->Seek(1000);
    EXPECT_EQ(Player->Position(), paused);
    Player->Stop();
    Player->Seek(1000);
    EXPECT_EQ(Player->Position(), paused);

    Player->Play();
    Player->Seek(-5);
    EXPECT_EQ(Player->Position(), 0u);
    Player->Seek((std::int64_t(1) << 32) + 77); // the low 32 bits
    EXPECT_EQ(Player->Position(), 77u);
}

TEST_F(AudioPlayer, SetVolumeKeepsAtMost3000AndSilencesTheLocalDeviceFirstInSpeakerMode) {
    Player->SetVolume(5000);
    EXPECT_EQ(Player->CurrentVolume(), 3000);
    EXPECT_EQ(Player->Engine().VolumeLevel(), 5000);
    EXPECT_EQ(Device->Volume(), 0u);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{4095}));

    Player->SetVolume(-5);
    EXPECT_EQ(Player->CurrentVolume(), -5);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{0}));
}

TEST_F(AudioPlayer, LocalModeSilencesTheSpeakerAndSetsTheLocalVolumeAtOnce) {
    Player->SetVolume(1500);
    Drain(Peer);
    Player->SetSpeakerMode(false);
    EXPECT_FALSE(Player->SpeakerMode());
    EXPECT_FALSE(Player->Engine().SpeakerMode());
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{0}));
    EXPECT_EQ(Device->Volume(), 0x7F007F00u);

    Player->SetVolume(3000);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{0}));
    EXPECT_EQ(Device->Volume(), 0xFF00FF00u);

    Player->SetSpeakerMode(true);
    EXPECT_EQ(Device->Volume(), 0u);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{4095}));
}

TEST_F(AudioPlayer, SetDeviceAddressSendsTheStartRequestWithTheVolume) {
    Player->SetVolume(1500);
    Drain(Peer);
    Player->SetDeviceAddress("127.0.0.1");
    EXPECT_EQ(Player->DeviceAddress(), "127.0.0.1");
    EXPECT_EQ(Player->Engine().Link().DeviceAddress(), "127.0.0.1");
    EXPECT_EQ(Player->Engine().Link().RateText(), "44100");
    const auto datagrams = Drain(Peer);
    ASSERT_EQ(datagrams.size(), 3u);
    EXPECT_EQ(datagrams[0].Text, "SOUND LRCLK 44100");
    EXPECT_EQ(datagrams[1].Text, "SOUND START");
    EXPECT_EQ(VolumeOf(datagrams[2]), 2047);
}

TEST(AudioPlayerOnTheNullDevice, StreamsEveryBlockToTheSpeakerAtTheDevicesPace) {
    platform::TQueueDispatcher ui;
    TSpeakerPeer peer;
    ASSERT_TRUE(peer.Ok);
    // The ordered probe: the real-time null device here (CTest sets ZV2_AUDIO=null).
    TAudioPlayer player(ui, platform::CreateWaveOut(), PeerLinkOptions(peer));
    player.SetDeviceAddress("127.0.0.1");
    const auto request = Drain(peer);
    ASSERT_EQ(request.size(), 3u);
    peer.Reply("SOUND OK", request[0].From);
    ASSERT_TRUE(zv2::test::PumpUntil(ui, [&] { return player.Engine().Link().StreamConnected(); }));
    auto stream = peer.Accept();
    ASSERT_TRUE(stream);

    player.Open(SongPath());
    player.Play();
    // Two blocks go at once, the rest one per block the device finishes.
    const TBytes received = ReadStream(*stream, 5 * Block);
    EXPECT_TRUE(received == ExpectedStreamAfterOpen(5 * Block));
    player.Stop();
}

} // namespace
} // namespace zv2::audio
