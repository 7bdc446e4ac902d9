#pragma once
// The wave output: what the program plays PCM blocks on, and the clock that
// paces the speaker stream. One IWaveOut object stands for one output device
// and outlives the streams opened on it.
//
// Lifecycle and contract:
//   Volume() / SetVolume()  any time, open or not; the volume belongs to the
//                           device and is applied in software to what plays.
//   Open(format, onDone)    opens a stream with a fixed format (signed 16-bit
//                           PCM, 1 or 2 channels). It plays silence until blocks
//                           are queued.
//   Write(block)            queues one block. Blocks play in queue order; each
//                           one comes back exactly once through onDone, in
//                           queue order, when it has finished playing (or when
//                           Reset/Close hands it back). Refused (false, the
//                           block dropped) when not open, when the length is
//                           not whole sample frames, or when MaxQueuedBlocks
//                           blocks are out.
//   Pause() / Restart()     hold playback where it is / continue from there;
//                           queued blocks stay queued, nothing completes while
//                           paused.
//   Reset()                 stops playback; every queued block comes back
//                           through onDone, in queue order, before Reset
//                           returns. The stream stays open, the pause state
//                           as it was.
//   Close()                 Reset, then the stream ends. Open may follow.
//
// Threads: onDone runs on a completion thread of the device, never on the
// thread that plays the sound; it may call Write but must not call Reset or
// Close (they wait for it). Open, Pause, Restart, Reset and Close come from
// one controlling thread; Write from one thread at a time, never overlapping
// Close. The device side never waits on a lock of the caller and never allocates.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zv2::platform {

struct TWaveFormat {
    int SampleRate = 44100;
    int Channels = 2;
    int BitsPerSample = 16;
    int BlockAlign() const { return Channels * BitsPerSample / 8; }
    int BytesPerSecond() const { return SampleRate * BlockAlign(); }
};

// One block of PCM: the owner fills Data, sets Length (bytes to play, at most
// Data.size()) and may use Tag to recognise the block when it comes back.
struct TWaveBlock {
    std::vector<std::uint8_t> Data;
    std::size_t Length = 0;
    std::uint64_t Tag = 0;
};
using TWaveBlockPtr = std::unique_ptr<TWaveBlock>;
using TWaveDoneHandler = std::function<void(TWaveBlockPtr block)>;

// Low 16 bits the left channel, high 16 bits the right, each 0 (silent) to 0xFFFF (full).
using TWaveVolume = std::uint32_t;
inline constexpr TWaveVolume FullWaveVolume = 0xFFFFFFFFu;

class IWaveOut {
public:
    static constexpr std::size_t MaxQueuedBlocks = 64;

    virtual ~IWaveOut() = default;
    virtual bool Open(const TWaveFormat& format, TWaveDoneHandler onDone) = 0;
    virtual bool Write(TWaveBlockPtr block) = 0;
    virtual bool Pause() = 0;
    virtual bool Restart() = 0;
    virtual bool Reset() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual TWaveVolume Volume() const = 0;
    virtual void SetVolume(TWaveVolume volume) = 0;
    // "portaudio", "null", "fake": which backend this is.
    virtual std::string Name() const = 0;
};

// Scales interleaved 16-bit samples in place by the per-channel volume
// (mono takes the left one). 0xFFFF leaves them unchanged.
void ApplyWaveVolume(std::int16_t* samples, std::size_t sampleCount, int channels, TWaveVolume volume);

// How the null device lets play time pass: a real-time clock paces blocks at
// the rate of the format; the untimed one lets every block finish at once.
class IWaveClock {
public:
    virtual ~IWaveClock() = default;
    // Waits on `wake` (with `lock` held on entry and exit) until `duration` of
    // play time has passed or `interrupted()` is true; returns the play time
    // that passed.
    virtual std::chrono::microseconds Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                                           std::chrono::microseconds duration,
                                           const std::function<bool()>& interrupted) = 0;
};
std::shared_ptr<IWaveClock> RealTimeWaveClock();
std::shared_ptr<IWaveClock> UntimedWaveClock();

// The ordered probe: ZV2_AUDIO names a backend ("portaudio" or "null") to
// use; otherwise PortAudio when its default output device accepts 44100 Hz
// stereo 16-bit, else the real-time null device. PortAudio comes with the
// null device as its stand-in for a stream the card fails to open
// (FallbackWaveOut.h); when the probe finds no card, a diagnostic line on
// standard error says so.
std::unique_ptr<IWaveOut> CreateWaveOut();

// A backend of the probe: its name and a maker that returns a usable device
// or nullptr.
struct TWaveBackend {
    std::string Name;
    std::function<std::unique_ptr<IWaveOut>()> Make;
};

// The probe itself, over `backends` in their order: with `wanted` set (not
// null or empty) only the backend of that name is tried, otherwise each in
// turn until one gives a device; when none does, the real-time null device.
std::unique_ptr<IWaveOut> ProbeWaveOut(const std::vector<TWaveBackend>& backends, const char* wanted);

} // namespace zv2::platform
