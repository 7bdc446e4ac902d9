#include "platform/waveout/WaveOut.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(WaveOutProbe, NamedBackendIsChosenAndAnUnusableOneFallsBackToNull) {
    const char* before = std::getenv("ZV2_AUDIO");
    const std::string saved = before ? before : "";
    setenv("ZV2_AUDIO", "null", 1);
    EXPECT_EQ(CreateWaveOut()->Name(), "null");
    setenv("ZV2_AUDIO", "no-such-backend", 1);
    EXPECT_EQ(CreateWaveOut()->Name(), "null");
    unsetenv("ZV2_AUDIO");
    const std::string probed = CreateWaveOut()->Name();
    EXPECT_TRUE(probed == "portaudio" || probed == "null") << probed;
    if (before)
        setenv("ZV2_AUDIO", saved.c_str(), 1);
}

} // namespace
} // namespace zv2::platform
