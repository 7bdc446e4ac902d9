#pragma once
// A wave output for tests of the code that drives one: nothing plays by
// itself. The test finishes blocks with CompleteNext() (on the test's
// thread), reads what was queued, and sees every call in Calls().
// Thread-safe; onDone runs on the thread that calls CompleteNext, Reset or Close.

#include "platform/waveout/WaveOut.h"

#include <deque>
#include <mutex>

namespace zv2::platform {

class TFakeWaveOut : public IWaveOut {
public:
    bool Open(const TWaveFormat& format, TWaveDoneHandler onDone) override;
    bool Write(TWaveBlockPtr block) override;
    bool Pause() override;
    bool Restart() override;
    bool Reset() override;
    void Close() override;
    bool IsOpen() const override;
    TWaveVolume Volume() const override;
    void SetVolume(TWaveVolume volume) override;
    std::string Name() const override { return "fake"; }

    // Hands the oldest queued block back as finished; false when none is queued.
    bool CompleteNext();
    // Blocks queued and not yet handed back.
    std::size_t QueuedCount() const;
    // Copies of every block accepted since the start, in order (Length bytes each), and their count.
    std::vector<std::vector<std::uint8_t>> Written() const;
    std::size_t WrittenCount() const;
    // "Open", "Write", "Pause", "Restart", "Reset", "Close", "SetVolume", in call order.
    std::vector<std::string> Calls() const;
    TWaveFormat Format() const;
    bool Paused() const;
    // Open fails while set, as with a card that cannot be opened.
    void FailOpen(bool fail);

private:
    void HandBackAll(std::unique_lock<std::mutex>& lock);

    mutable std::mutex Mutex_;
    bool Open_ = false;
    bool Paused_ = false;
    bool FailOpen_ = false;
    TWaveFormat Format_;
    TWaveDoneHandler OnDone_;
    TWaveVolume Volume_ = FullWaveVolume;
    std::deque<TWaveBlockPtr> Queue_;
    std::vector<std::vector<std::uint8_t>> Written_;
    std::vector<std::string> Calls_;
};

} // namespace zv2::platform
