#pragma once
// The null device: an ideal sound card without sound. A thread of its own
// "plays" each queued block for as long as it lasts at the format's rate, by
// the injected clock (real time in the program, so it still paces the
// speaker stream on a machine without a sound card; untimed in unit tests),
// then hands it back. Contract as in WaveOut.h.

#include "platform/waveout/WaveOut.h"
#include "platform/waveout/WaveQueue.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zv2::platform {

class TNullWaveOut : public IWaveOut {
public:
    explicit TNullWaveOut(std::shared_ptr<IWaveClock> clock = RealTimeWaveClock());
    ~TNullWaveOut() override;

    bool Open(const TWaveFormat& format, TWaveDoneHandler onDone) override;
    bool Write(TWaveBlockPtr block) override;
    bool Pause() override;
    bool Restart() override;
    bool Reset() override;
    void Close() override;
    bool IsOpen() const override { return Open_.load(); }
    TWaveVolume Volume() const override { return Volume_.load(); }
    void SetVolume(TWaveVolume volume) override { Volume_ = volume; }
    std::string Name() const override { return "null"; }

private:
    void Play();
    bool SetPaused(bool paused);

    std::shared_ptr<IWaveClock> Clock_;
    std::atomic<TWaveVolume> Volume_{FullWaveVolume};
    std::atomic<bool> Open_{false};
    TWaveFormat Format_;
    TWaveQueue Queue_;
    std::mutex Mutex_; // the player's state below; the player holds it except while it waits
    std::condition_variable Wake_;
    bool Paused_ = false;
    bool Closing_ = false;
    std::uint64_t Generation_ = 0;       // changes when Reset takes the blocks away
    std::chrono::microseconds Played_{}; // play time of the front block so far
    std::thread Player_;
};

} // namespace zv2::platform
