#include "audio/untTVolume.h"

#include <algorithm>

namespace zv2::audio {

TVolume::TVolume(platform::IWaveOut& device) : Device_(device), WaveVolume_(device.Volume()) {}

void TVolume::SetLeft(int value) {
    SetChannel(value, 0);
}

void TVolume::SetRight(int value) {
    SetChannel(value, 16);
}

void TVolume::SetChannel(int value, int shift) {
    const std::uint32_t channel = std::uint32_t(std::clamp(value, 0, 255)) * 256;
    std::lock_guard lock(Mutex_);
    WaveVolume_ = (Device_.Volume() & ~(0xFFFFu << shift)) | (channel << shift);
    Device_.SetVolume(WaveVolume_);
}

std::uint32_t TVolume::WaveVolume() const {
    std::lock_guard lock(Mutex_);
    return WaveVolume_;
}

} // namespace zv2::audio
