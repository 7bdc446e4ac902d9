#include "audio/untTVolume.h"

#include "platform/waveout/FakeWaveOut.h"

#include <gtest/gtest.h>

namespace zv2::audio {
namespace {

TEST(Volume, StartsWithTheDevicesVolume) {
    platform::TFakeWaveOut device;
    device.SetVolume(0x12345678);
    TVolume volume(device);
    EXPECT_EQ(volume.WaveVolume(), 0x12345678u);
}

TEST(Volume, SetLeftClampsToFullScaleAndKeepsTheRightChannel) {
    platform::TFakeWaveOut device;
    device.SetVolume(0x12345678);
    TVolume volume(device);
    volume.SetLeft(300);
    EXPECT_EQ(volume.WaveVolume(), 0x1234FF00u);
    EXPECT_EQ(device.Volume(), 0x1234FF00u);
    volume.SetLeft(1);
    EXPECT_EQ(device.Volume(), 0x12340100u);
}

TEST(Volume, SetRightClampsBelowZeroAndKeepsTheLeftChannel) {
    platform::TFakeWaveOut device;
    device.SetVolume(0xFFFFABCD);
    TVolume volume(device);
    volume.SetRight(-4);
    EXPECT_EQ(device.Volume(), 0x0000ABCDu);
    volume.SetRight(128);
    EXPECT_EQ(device.Volume(), 0x8000ABCDu);
}

TEST(Volume, ReadsTheDeviceAgainBeforeEachChange) {
    platform::TFakeWaveOut device;
    TVolume volume(device);
    device.SetVolume(0x00001111); // changed behind the object's back
    volume.SetRight(2);
    EXPECT_EQ(device.Volume(), 0x02001111u);
    EXPECT_EQ(volume.WaveVolume(), 0x02001111u);
}

} // namespace
} // namespace zv2::audio
