#include "platform/waveout/WaveOut.h"

#include "platform/waveout/FallbackWaveOut.h"
#include "platform/waveout/NullWaveOut.h"
#include "platform/waveout/PortAudioWaveOut.h"

#include <cstdio>
#include <cstdlib>

namespace zv2::platform {

void ApplyWaveVolume(std::int16_t* samples, std::size_t sampleCount, int channels, TWaveVolume volume) {
    if (volume == FullWaveVolume)
        return;
    // 0xFFFF is unity: the gain runs 0..65536 in steps of 1/65536.
    auto gain = [](TWaveVolume channel) { return std::int32_t(channel + (channel >> 15)); };
    const std::int32_t left = gain(volume & 0xFFFF);
    const std::int32_t gains[2] = {left, channels == 2 ? gain(volume >> 16) : left};
    for (std::size_t i = 0; i < sampleCount; ++i)
        samples[i] = std::int16_t((std::int32_t(samples[i]) * gains[i % std::size_t(channels)]) >> 16);
}

namespace {

class TRealTimeClock : public IWaveClock {
public:
    std::chrono::microseconds Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                                   std::chrono::microseconds duration,
                                   const std::function<bool()>& interrupted) override {
        const auto start = std::chrono::steady_clock::now();
        wake.wait_until(lock, start + duration, interrupted);
        return std::min(
            duration, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start));
    }
};

class TUntimedClock : public IWaveClock {
public:
    std::chrono::microseconds Wait(std::unique_lock<std::mutex>&, std::condition_variable&,
                                   std::chrono::microseconds duration,
                                   const std::function<bool()>& interrupted) override {
        return interrupted() ? std::chrono::microseconds{} : duration;
    }
};

} // namespace

std::shared_ptr<IWaveClock> RealTimeWaveClock() {
    return std::make_shared<TRealTimeClock>();
}
std::shared_ptr<IWaveClock> UntimedWaveClock() {
    return std::make_shared<TUntimedClock>();
}

std::unique_ptr<IWaveOut> ProbeWaveOut(const std::vector<TWaveBackend>& backends, const char* wanted) {
    for (const TWaveBackend& backend : backends) {
        if (wanted && *wanted && backend.Name != wanted)
            continue;
        if (auto device = backend.Make())
            return device;
    }
    // Nothing by the wanted name works: the null device always does.
    return std::make_unique<TNullWaveOut>();
}

std::unique_ptr<IWaveOut> CreateWaveOut() {
    static const std::vector<TWaveBackend> Backends = {
        {"portaudio",
         []() -> std::unique_ptr<IWaveOut> {
             auto card = TPortAudioWaveOut::Probe();
             if (!card) {
                 std::fprintf(stderr,
                              "sound: no sound card takes 44100 Hz stereo 16-bit; playing on the null device\n");
                 return nullptr;
             }
             return std::make_unique<TFallbackWaveOut>(std::move(card), std::make_unique<TNullWaveOut>());
         }},
        {"null", [] { return std::unique_ptr<IWaveOut>(std::make_unique<TNullWaveOut>()); }},
    };
    return ProbeWaveOut(Backends, std::getenv("ZV2_AUDIO"));
}

} // namespace zv2::platform
