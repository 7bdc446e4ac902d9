#pragma once
// The sound card through PortAudio's default output device. The stream
// callback copies queued blocks into the card's buffer with the volume
// applied and moves finished blocks to the completion thread; it takes no
// lock and allocates nothing, and plays silence while paused or when the
// queue has run dry. Contract as in WaveOut.h.
//
// A device that does not keep time (ALSA's "null", a "file" plugin over it, a
// broken virtual card) asks for sound as fast as the callback gives it: a
// song would pass in milliseconds and the speaker stream lose its clock. So
// the callback holds itself to the format's rate by the steady clock, never
// more than the stream's latency (plus a little) ahead; a card that keeps
// time never comes near that and is never held.
//
// Of PortAudio's host APIs, JACK is left out of the start-up probe (its
// client library prints its failures at every start); see the .cpp.

#include "platform/waveout/WaveOut.h"
#include "platform/waveout/WaveQueue.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace zv2::platform {

struct TPortAudio; // the functions of PortAudio in use, loaded by Probe

class TPortAudioWaveOut : public IWaveOut {
public:
    // The first call loads PortAudio and ALSA (the program does not link
    // them). Null when they are missing, PortAudio cannot start or its default
    // output device does not take 44100 Hz stereo 16-bit.
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
    explicit TPortAudioWaveOut(const TPortAudio& portAudio) : PortAudio_(portAudio) {}
    friend struct TPortAudioCallback;
    void Fill(std::int16_t* out, std::size_t samples);
    // Waits while the frames given so far are further ahead of the steady
    // clock than AheadLimit_; then counts `frames` more. Callback only.
    void Pace(std::size_t frames);
    // The pace starts again from the next callback (stream stopped).
    void RestartPace();

    const TPortAudio& PortAudio_;
    void* Stream_ = nullptr; // PaStream*
    TWaveFormat Format_;
    TWaveQueue Queue_;
    std::atomic<TWaveVolume> Volume_{FullWaveVolume};
    std::atomic<bool> Paused_{false};
    std::size_t Offset_ = 0; // bytes of the front block played; callback only (or while it is stopped)
    // The pace, callback only (or while it is stopped): frames given since
    // PaceStart_, and how far the stream may run ahead of the clock.
    std::chrono::steady_clock::time_point PaceStart_;
    std::uint64_t FramesOut_ = 0;
    std::chrono::microseconds AheadLimit_{};
};

} // namespace zv2::platform
