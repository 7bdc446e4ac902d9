#include "audio/ZV2_MusicDecode.h"

#include "audio/EngineFixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace zv2::audio {
namespace {

using namespace test;
using zv2::test::PumpUntil;
using zv2::test::TSpeakerPeer;
static_assert(Block == TZV2_Music::BlockBytes);

class MusicEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Peer.Ok);
        auto device = std::make_unique<platform::TFakeWaveOut>();
        Device = device.get();
        Engine = std::make_unique<TZV2_Music>(Ui, std::move(device), PeerLinkOptions(Peer));
        Engine->Link().SetDevice("127.0.0.1", "44100");
        Engine->OnStreamConnect = [this] { Events.push_back("connect"); };
        Engine->OnStreamDisconnect = [this] { Events.push_back("disconnect"); };
        Engine->OnSoundReply = [this](const std::string& text, int size) {
            Events.push_back(text + " " + std::to_string(size));
        };
    }

    // Finishes the oldest queued block and waits until the refill has queued its successor.
    void CompleteAndRefill() {
        const std::size_t before = Device->WrittenCount();
        ASSERT_TRUE(Device->CompleteNext());
        ASSERT_TRUE(WaitUntil([&] { return Device->WrittenCount() == before + 1; }));
    }

    // The start request, the speaker's answer and the stream connection.
    void ConnectSpeaker(const std::string& answer = "SOUND OK") {
        Engine->StartSpeaker("127.0.0.1", "44100");
        const auto request = Drain(Peer);
        ASSERT_EQ(request.size(), 3u);
        Peer.Reply(answer, request[0].From);
        ASSERT_TRUE(PumpUntil(Ui, [&] { return Engine->Link().StreamConnected(); }));
        Stream = Peer.Accept();
        ASSERT_TRUE(Stream);
    }

    TBytes WrittenStream() const {
        TBytes all;
        for (const auto& block : Device->Written())
            all.insert(all.end(), block.begin(), block.end());
        return all;
    }

    platform::TQueueDispatcher Ui;
    TSpeakerPeer Peer;
    platform::TFakeWaveOut* Device = nullptr;
    std::unique_ptr<TZV2_Music> Engine;
    std::unique_ptr<platform::TTcpSocket> Stream;
    std::vector<std::string> Events;
};

TEST_F(MusicEngine, ScaleVolumeRoundsToHundredthsWithHalvesToEven) {
    EXPECT_EQ(Engine->ScaleVolume(true, 3000), 4095); // 0x0F 0xFF
    EXPECT_EQ(Engine->ScaleVolume(true, 1500), 2047); // 0x07 0xFF
    EXPECT_EQ(Engine->ScaleVolume(true, 0), 0);
    EXPECT_EQ(Engine->ScaleVolume(true, -40), 0);
    EXPECT_EQ(Engine->ScaleVolume(true, 9000), 4095);
    EXPECT_EQ(Engine->ScaleVolume(true, 15), 0);    // 0.005 -> 0.00
    EXPECT_EQ(Engine->ScaleVolume(true, 45), 81);   // 0.015 -> 0.02
    EXPECT_EQ(Engine->ScaleVolume(true, 75), 81);   // 0.025 -> 0.02
    EXPECT_EQ(Engine->ScaleVolume(true, 76), 122);  // 0.0253 -> 0.03
    EXPECT_EQ(Engine->ScaleVolume(true, 200), 286); // 0.0667 -> 0.07
    EXPECT_EQ(Engine->ScaleVolume(false, 3000), 255);
    EXPECT_EQ(Engine->ScaleVolume(false, 1500), 127);
    EXPECT_EQ(Engine->ScaleVolume(false, -1), 0);
}

TEST_F(MusicEngine, ScaleVolumeStoresTheLevelUnclamped) {
    Engine->ScaleVolume(true, 5000);
    EXPECT_EQ(Engine->VolumeLevel(), 5000);
    Engine->SendSpeakerVolume(-5);
    EXPECT_EQ(Engine->VolumeLevel(), -5);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{0}));
    Engine->SetLocalVolume(1500);
    EXPECT_EQ(Engine->VolumeLevel(), 1500);
    EXPECT_EQ(Device->Volume(), 0x7F007F00u);
}

TEST_F(MusicEngine, StartWithoutAPlayableFileSetsActiveButOpensNoDevice) {
    Engine->SetActive(true);
    EXPECT_TRUE(Engine->Active());
    Engine->SetActive(false);
    Engine->Open(TempDir() + "/no-such-file.mp3");
    Engine->SetActive(true);
    EXPECT_TRUE(Engine->Active());
    EXPECT_EQ(Engine->FileSize(), 0u);
    EXPECT_TRUE(DeviceCalls(*Device).empty());
}

TEST_F(MusicEngine, DeviceThatCannotOpenQueuesNothing) {
    Device->FailOpen(true);
    Engine->Open(SongPath());
    Engine->SetActive(true);
    EXPECT_TRUE(Engine->Active());
    EXPECT_EQ(Device->WrittenCount(), 0u);
    Device->FailOpen(false);
    Engine->SetActive(false);
    Engine->SetActive(true);
    EXPECT_EQ(Device->WrittenCount(), 2u);
}

TEST_F(MusicEngine, FirstStartAfterOpenDropsTwoBlocksThenCarriesFramesAcrossBlocks) {
    Engine->Open(SongPath());
    EXPECT_EQ(Engine->FileSize(), ReadBytes(SongPath()).size());
    Engine->SetActive(true);
    EXPECT_EQ(Device->Format().SampleRate, 44100);
    EXPECT_EQ(Device->Format().Channels, 2);
    ASSERT_EQ(Device->WrittenCount(), 2u);
    for (int i = 0; i < 6; ++i)
        CompleteAndRefill();

    const TBytes written = WrittenStream();
    ASSERT_EQ(written.size(), 8 * Block);
    EXPECT_TRUE(written == ExpectedStreamAfterOpen(written.size()));
    EXPECT_GT(Engine->Position(), 0u);
}

TEST_F(MusicEngine, StartAndStopAreIdempotentAndARestartContinuesFromThePosition) {
    Engine->Open(SongPath());
    Engine->SetActive(true);
    Engine->SetActive(true);
    CompleteAndRefill();
    Engine->SetActive(false);
    Engine->SetActive(false);
    EXPECT_FALSE(Engine->Active());
    EXPECT_EQ(Device->QueuedCount(), 0u);
    EXPECT_EQ(DeviceCalls(*Device), (std::vector<std::string>{"Open", "Write", "Write", "Write", "Reset", "Close"}));

    const std::uint32_t position = Engine->Position();
    Engine->SetActive(true); // output stays enabled: all four blocks are queued
    EXPECT_EQ(Device->WrittenCount(), 7u);
    EXPECT_GT(Engine->Position(), position);
    // The new blocks follow the discarded ones without a gap.
    const TBytes written = WrittenStream();
    EXPECT_TRUE(written == ExpectedStreamAfterOpen(written.size()));
}

TEST_F(MusicEngine, SeekPastTheEndRepeatsTheLastFrameAndKeepsThePosition) {
    Engine->Open(SongPath());
    Engine->SetActive(true);
    const std::uint32_t beyond = Engine->FileSize() + 1000;
    Engine->SetPosition(beyond);
    CompleteAndRefill();
    CompleteAndRefill();
    EXPECT_EQ(Engine->Position(), beyond);
    const TBytes last = Device->Written().back();
    EXPECT_NE(std::count(last.begin(), last.end(), 0), long(last.size()));
    for (std::size_t i = 0; i + 4608 < last.size(); ++i)
        ASSERT_EQ(last[i], last[i + 4608]) << "at " << i;
}

TEST_F(MusicEngine, ConnectedSpeakerGetsEveryQueuedBlockWholeAndAFadeFromSilence) {
    ConnectSpeaker();
    EXPECT_EQ(Events, (std::vector<std::string>{"SOUND OK 8", "connect"}));
    Engine->SetVolumeLevel(3000);
    Engine->Open(SongPath());
    Engine->SetActive(true);
    // The speaker takes the stream as it comes (the link drops the blocks of
    // a speaker that falls behind by more than its queue).
    TBytes received;
    const auto receive = [&] {
        const TBytes more = ReadStream(*Stream, WrittenStream().size() - received.size());
        received.insert(received.end(), more.begin(), more.end());
    };
    receive();
    for (int i = 0; i < 16; ++i) {
        CompleteAndRefill();
        receive();
    }

    // Silence on the first block, then 200 level units per block up to the
    // target; the block that finds the target reached sends it once more.
    // Each level as the speaker gets it: level/3000 to the hundredth, times
    // 4095, truncated (200 -> 0.07 -> 286.65 -> 286).
    const std::vector<int> expected = {0,    286,  532,  819,  1105, 1351, 1638, 1924, 2170,
                                       2457, 2743, 2989, 3276, 3562, 3808, 4095, 4095};
    EXPECT_EQ(Volumes(Drain(Peer)), expected);
    EXPECT_EQ(Engine->VolumeLevel(), 3000);

    EXPECT_TRUE(received == WrittenStream());

    CompleteAndRefill();
    EXPECT_TRUE(Drain(Peer).empty());
}

TEST_F(MusicEngine, VolumeChangeDuringTheFadeGoesOnFromTheNewLevelToTheOldTarget) {
    // Levels 0, 200, 400, 1000, 1200, 2900, 3000 as the speaker gets them.
    const std::vector<int> expected = {0, 286, 532, 1351, 1638, 3972, 4095};
    ConnectSpeaker();
    Engine->SetVolumeLevel(3000);
    Engine->Open(SongPath());
    Engine->SetActive(true); // 0, then the fade to 200 and 400
    Engine->SendSpeakerVolume(1000);
    CompleteAndRefill(); // 1200
    Engine->SendSpeakerVolume(2900);
    CompleteAndRefill(); // 3100 would pass the target: the target, and the fade ends
    CompleteAndRefill(); // nothing more
    EXPECT_EQ(Volumes(Drain(Peer)), expected);
    EXPECT_EQ(Engine->VolumeLevel(), 3000);
}

TEST_F(MusicEngine, UnconnectedSpeakerGetsTheStartRequestWithEveryBlock) {
    Engine->SetVolumeLevel(3000);
    Engine->Open(SongPath());
    Engine->SetActive(true);
    std::vector<std::string> kinds;
    for (const auto& d : Drain(Peer))
        kinds.push_back(VolumeOf(d) ? "volume " + std::to_string(*VolumeOf(d)) : d.Text);
    const std::string v200 = "volume 286";
    // First block: silence, the start request with the current level, the fade
    // step; second block: the start request again, then the next fade step.
    EXPECT_EQ(kinds, (std::vector<std::string>{"volume 0", "SOUND LRCLK 44100", "SOUND START", "volume 0", v200,
                                               "SOUND LRCLK 44100", "SOUND START", v200, "volume 532"}));
    EXPECT_EQ(Device->WrittenCount(), 2u); // the blocks still play locally
}

TEST_F(MusicEngine, AnAddressSetWhileBlocksRepeatTheStartRequestIsNeverUndone) {
    Engine->Open(SongPath());
    Engine->SetActive(true); // no speaker answers: every refill repeats the start request
    const std::size_t written = Device->WrittenCount();
    constexpr int kBlocks = 4000;
    std::atomic<bool> done{false};
    std::thread blocks([&] {
        for (int i = 0; i < kBlocks; ++i) {
            while (!Device->CompleteNext())
                std::this_thread::yield(); // until the refill has queued the next block
        }
        done = true;
    });
    // A new address again and again on the UI thread, as "连接设备" sets it
    // (without its datagrams, so that many sets fall within each refill).
    int undone = 0;
    for (std::uint32_t n = 1; !done.load(); ++n) {
        const std::string address = "127.0." + std::to_string((n >> 8) & 0xFF) + "." + std::to_string(n & 0xFF);
        Engine->Link().SetDevice(address, "44100");
        if (Engine->Link().DeviceAddress() != address)
            ++undone;
    }
    blocks.join();
    // The refill for the last block completed there has come too.
    ASSERT_TRUE(WaitUntil([&] { return Device->WrittenCount() == written + kBlocks; }));
    Engine->StartSpeaker("127.0.0.1", "44100");
    CompleteAndRefill();
    EXPECT_EQ(Engine->Link().DeviceAddress(), "127.0.0.1");
    EXPECT_EQ(undone, 0);
}

TEST_F(MusicEngine, LocalModeFadesTheLocalDeviceAndSendsNoBlocksUntilSpeakerModeReturns) {
    ConnectSpeaker();
    Engine->SetSpeakerMode(false);
    Engine->SetVolumeLevel(600);
    Engine->Open(SongPath());
    Engine->SetActive(true);
    EXPECT_EQ(Device->Volume(), 0x21002100u); // 400: 0.13 * 255 = 33
    CompleteAndRefill();
    EXPECT_EQ(Device->Volume(), 0x33003300u); // 600: 0.2 * 255 = 51
    CompleteAndRefill();
    EXPECT_EQ(Device->Volume(), 0x33003300u);
    EXPECT_EQ(Volumes(Drain(Peer)), (std::vector<int>{0}));
    EXPECT_TRUE(ReadStream(*Stream, 1, 300).empty());

    Engine->SetSpeakerMode(true);
    CompleteAndRefill();
    EXPECT_TRUE(ReadStream(*Stream, Block) == Device->Written().back());
}

TEST_F(MusicEngine, PauseHoldsTheDeviceAndResumeContinues) {
    EXPECT_FALSE(Engine->Pause(true)); // no device open
    Engine->Open(SongPath());
    Engine->SetActive(true);
    EXPECT_TRUE(Engine->Pause(true));
    EXPECT_FALSE(Device->CompleteNext());
    EXPECT_TRUE(Engine->Active());
    EXPECT_TRUE(Engine->Pause(false));
    CompleteAndRefill();
    EXPECT_EQ(Device->WrittenCount(), 3u);
}

TEST_F(MusicEngine, OpenWhileActiveLetsTheDeviceRunDryUntilTheNextStart) {
    Engine->Open(SongPath());
    Engine->SetActive(true);
    Engine->Open(SongPath());
    EXPECT_EQ(Engine->Position(), 0u);
    ASSERT_TRUE(Device->CompleteNext());
    ASSERT_TRUE(Device->CompleteNext());
    // The refills decode the new file with output off: nothing is queued.
    ASSERT_TRUE(WaitUntil([&] { return Engine->Position() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Device->WrittenCount(), 2u);
    EXPECT_EQ(Device->QueuedCount(), 0u);

    Engine->SetActive(false);
    Engine->SetActive(true);
    EXPECT_EQ(Device->WrittenCount(), 4u);
}

TEST_F(MusicEngine, StopDuringRefillsNeverWritesToAClosedDevice) {
    Engine->Open(SongPath());
    for (int round = 0; round < 40; ++round) {
        Engine->SetActive(true);
        Device->CompleteNext(); // its refill races the stop below
        Device->CompleteNext();
        Engine->SetActive(false);
        EXPECT_EQ(Device->QueuedCount(), 0u);
    }
    bool open = false;
    for (const std::string& call : DeviceCalls(*Device)) {
        if (call == "Write") {
            ASSERT_TRUE(open);
        }
        open = call == "Open" || (open && call != "Close");
    }
}

TEST_F(MusicEngine, SpeakerAnswersReachTheEngineEvents) {
    ConnectSpeaker("SOUND NOK");
    Stream.reset(); // the speaker hangs up
    ASSERT_TRUE(PumpUntil(Ui, [&] { return Events.size() >= 3; }));
    EXPECT_EQ(Events, (std::vector<std::string>{"SOUND NOK 9", "connect", "disconnect"}));
    EXPECT_FALSE(Engine->Link().StreamConnected());
}

} // namespace
} // namespace zv2::audio
