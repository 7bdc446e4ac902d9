#pragma once
// TVolume: the computer's wave output volume, per channel, on the device the
// playback engine plays on. The word is the device's: low 16 bits the left
// channel, high 16 bits the right, each 0 (silent) to 0xFFFF.
// Any thread; each call reads, changes and writes the word as one step.

#include "platform/waveout/WaveOut.h"

#include <cstdint>
#include <mutex>

namespace zv2::audio {

class TVolume {
public:
    // Reads the device's current volume into WaveVolume().
    explicit TVolume(platform::IWaveOut& device);

    // Value 0..255 (clamped): that channel's 16 bits become Value * 256 (full
    // scale 0xFF00), the other channel's are kept as the device has them.
    void SetLeft(int value);
    void SetRight(int value);

    // The volume word as last read or written.
    std::uint32_t WaveVolume() const;

private:
    void SetChannel(int value, int shift);

    platform::IWaveOut& Device_;
    mutable std::mutex Mutex_;
    std::uint32_t WaveVolume_;
};

} // namespace zv2::audio
