#include "platform/waveout/WaveOut.h"

#include "platform/waveout/FakeWaveOut.h"
#include "platform/waveout/FallbackWaveOut.h"
#include "platform/waveout/NullWaveOut.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zv2::platform {
namespace {

TEST(WaveVolume, FullVolumeLeavesSamplesAsTheyAre) {
    std::vector<std::int16_t> s = {32767, -32768, 1, -1};
    ApplyWaveVolume(s.data(), s.size(), 2, FullWaveVolume);
    EXPECT_EQ(s, (std::vector<std::int16_t>{32767, -32768, 1, -1}));
    ApplyWaveVolume(s.data(), s.size(), 2, 0xFFFF0000u | 0xFFFF);
    EXPECT_EQ(s, (std::vector<std::int16_t>{32767, -32768, 1, -1}));
}

TEST(WaveVolume, EachChannelTakesItsOwnHalfOfTheVolumeWord) {
    std::vector<std::int16_t> s = {32767, 32767, -32768, -32768};
    ApplyWaveVolume(s.data(), s.size(), 2, 0x00008000u); // left half, right silent
    EXPECT_EQ(s, (std::vector<std::int16_t>{16383, 0, -16385, 0}));

    std::vector<std::int16_t> t = {32767, 32767};
    ApplyWaveVolume(t.data(), t.size(), 2, 0xFF00FF00u); // the volume object's full scale
    EXPECT_EQ(t, (std::vector<std::int16_t>{32639, 32639}));
}

TEST(WaveVolume, MonoFollowsTheLeftChannel) {
    std::vector<std::int16_t> s = {1000, 1000, 1000};
    ApplyWaveVolume(s.data(), s.size(), 1, 0xFFFF0000u);
    EXPECT_EQ(s, (std::vector<std::int16_t>{0, 0, 0}));
}

// Backends that record the order in which they were asked; `usable` ones
// give a device that says its backend's name.
class TProbeOrder {
public:
    TWaveBackend Backend(const std::string& name, bool usable) {
        return {name, [this, name, usable]() -> std::unique_ptr<IWaveOut> {
                    Asked.push_back(name);
                    if (!usable)
                        return nullptr;
                    return std::make_unique<TNamedWaveOut>(name);
                }};
    }
    std::vector<std::string> Asked;

private:
    struct TNamedWaveOut : TFakeWaveOut {
        explicit TNamedWaveOut(std::string name) : Name_(std::move(name)) {}
        std::string Name() const override { return Name_; }
        std::string Name_;
    };
};

TEST(WaveOutProbe, TriesTheBackendsInOrderUntilOneGivesADevice) {
    TProbeOrder probe;
    const std::vector<TWaveBackend> backends = {probe.Backend("card", false), probe.Backend("second", true),
                                                probe.Backend("third", true)};
    EXPECT_EQ(ProbeWaveOut(backends, nullptr)->Name(), "second");
    EXPECT_EQ(probe.Asked, (std::vector<std::string>{"card", "second"}));
    probe.Asked.clear();
    EXPECT_EQ(ProbeWaveOut(backends, "")->Name(), "second") << "an empty name names nothing";
    EXPECT_EQ(probe.Asked, (std::vector<std::string>{"card", "second"}));
}

TEST(WaveOutProbe, ANamedBackendIsTheOnlyOneAskedAndWithoutItTheNullDeviceServes) {
    TProbeOrder probe;
    const std::vector<TWaveBackend> backends = {probe.Backend("card", false), probe.Backend("second", true),
                                                probe.Backend("third", true)};
    EXPECT_EQ(ProbeWaveOut(backends, "third")->Name(), "third");
    EXPECT_EQ(probe.Asked, std::vector<std::string>{"third"});
    probe.Asked.clear();
    EXPECT_EQ(ProbeWaveOut(backends, "card")->Name(), "null") << "the named card cannot open";
    EXPECT_EQ(probe.Asked, std::vector<std::string>{"card"});
    probe.Asked.clear();
    EXPECT_EQ(ProbeWaveOut(backends, "no-such-backend")->Name(), "null");
    EXPECT_TRUE(probe.Asked.empty());
    EXPECT_EQ(ProbeWaveOut({probe.Backend("card", false)}, nullptr)->Name(), "null");
}

TEST(FallbackWaveOut, AStreamTheCardDoesNotOpenPlaysOnTheStandInAndTheNextOpenTriesTheCardAgain) {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint64_t> done;
    auto card = std::make_unique<TFakeWaveOut>();
    TFakeWaveOut& fake = *card;
    TFallbackWaveOut device(std::move(card), std::make_unique<TNullWaveOut>(UntimedWaveClock()));
    device.SetVolume(0x80008000u);
    auto onDone = [&](TWaveBlockPtr block) {
        std::lock_guard lock(m);
        done.push_back(block->Tag);
        cv.notify_all();
    };
    auto block = [](std::uint64_t tag) {
        auto b = std::make_unique<TWaveBlock>();
        b->Data.assign(400, 0);
        b->Length = 400;
        b->Tag = tag;
        return b;
    };

    fake.FailOpen(true);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(device.Open(TWaveFormat{}, onDone));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "sound: the fake output did not open; playing on the null device\n");
    EXPECT_EQ(device.Name(), "null");
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.Volume(), 0x80008000u);
    EXPECT_TRUE(device.Write(block(1)));
    EXPECT_TRUE(device.Write(block(2)));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return done.size() == 2; }));
    }
    EXPECT_EQ(done, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(fake.WrittenCount(), 0u);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.Write(block(3))) << "nothing is open";

    fake.FailOpen(false);
    ASSERT_TRUE(device.Open(TWaveFormat{}, onDone));
    EXPECT_EQ(device.Name(), "fake");
    EXPECT_TRUE(device.Write(block(4)));
    EXPECT_EQ(fake.WrittenCount(), 1u);
}

} // namespace
} // namespace zv2::platform
