#pragma once
// The sound card through PortAudio's default output device. The stream
// callback copies queued blocks into the card's buffer with the volume
// applied and moves finished blocks to the completion thread; it takes no
// lock and allocates nothing, and plays silence while paused or when the
// queue has run dry. Contract as in WaveOut.h.

#include "platform/waveout/WaveOut.h"
#include "platform/waveout/WaveQueue.h"

#include <atomic>

namespace zv2::platform {

class TPortAudioWaveOut : public IWaveOut {
public:
    // Null when PortAudio cannot start or its default output device does not
    // take 44100 Hz stereo 16-bit.
    static std::unique_ptr<TPortAudioWaveOut> Probe();
    ~TPortAudioWaveOut() override;

    bool Open(const TWaveFormat& format, TWaveDoneHandler onDone) override;
    bool Write(TWaveBlockPtr block) override;
    bool Pause() override;
    bool Restart() override;
    bool Reset() override;
    void Close() override;
    bool IsOpen() const override { return Stream_ != nullptr; }
    TWaveVolume Volume() const override { return Volume_.load(); }
    void SetVolume(TWaveVolume volume) override { Volume_ = volume; }
    std::string Name() const override { return "portaudio"; }

private:
    TPortAudioWaveOut() = default;
    friend struct TPortAudioCallback;
    void Fill(std::int16_t* out, std::size_t samples);

    void* Stream_ = nullptr; // PaStream*
    TWaveFormat Format_;
    TWaveQueue Queue_;
    std::atomic<TWaveVolume> Volume_{FullWaveVolume};
    std::atomic<bool> Paused_{false};
    std::size_t Offset_ = 0; // bytes of the front block played; callback only (or while it is stopped)
};

} // namespace zv2::platform
