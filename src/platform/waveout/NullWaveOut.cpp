#include "platform/waveout/NullWaveOut.h"

namespace zv2::platform {

TNullWaveOut::TNullWaveOut(std::shared_ptr<IWaveClock> clock) : Clock_(std::move(clock)) {}

TNullWaveOut::~TNullWaveOut() {
    Close();
}

bool TNullWaveOut::Open(const TWaveFormat& format, TWaveDoneHandler onDone) {
    if (Open_ || format.BitsPerSample != 16 || format.Channels < 1 || format.Channels > 2 || format.SampleRate <= 0)
        return false;
    Format_ = format;
    {
        std::lock_guard lock(Mutex_);
        Closing_ = false;
        Paused_ = false;
        Played_ = {};
    }
    Queue_.Start(std::move(onDone));
    Player_ = std::thread([this] { Play(); });
    Open_ = true;
    return true;
}

bool TNullWaveOut::Write(TWaveBlockPtr block) {
    if (!Open_ || !block || block->Length > block->Data.size() || block->Length % std::size_t(Format_.BlockAlign()))
        return false;
    if (!Queue_.Push(std::move(block)))
        return false;
    // Taking the lock orders the push before the player's next look at the queue.
    { std::lock_guard lock(Mutex_); }
    Wake_.notify_all();
    return true;
}

bool TNullWaveOut::Pause() {
    return SetPaused(true);
}

bool TNullWaveOut::Restart() {
    return SetPaused(false);
}

bool TNullWaveOut::SetPaused(bool paused) {
    if (!Open_)
        return false;
    {
        std::lock_guard lock(Mutex_);
        Paused_ = paused;
    }
    Wake_.notify_all();
    return true;
}

bool TNullWaveOut::Reset() {
    if (!Open_)
        return false;
    {
        std::lock_guard lock(Mutex_);
        Queue_.ReturnAll();
        Played_ = {};
        ++Generation_;
    }
    Wake_.notify_all();
    Queue_.WaitHandedBack();
    return true;
}

void TNullWaveOut::Close() {
    if (!Open_)
        return;
    Reset();
    {
        std::lock_guard lock(Mutex_);
        Closing_ = true;
    }
    Wake_.notify_all();
    Player_.join();
    Queue_.Stop();
    Open_ = false;
}

void TNullWaveOut::Play() {
    std::unique_lock lock(Mutex_);
    while (!Closing_) {
        TWaveBlock* block = Queue_.Front();
        if (Paused_ || !block) {
            Wake_.wait(lock);
            continue;
        }
        const auto length = std::chrono::microseconds(std::int64_t(block->Length) * 1000000 / Format_.BytesPerSecond());
        const std::uint64_t generation = Generation_;
        const auto passed = Clock_->Wait(lock, Wake_, length - Played_,
                                         [&] { return Closing_ || Paused_ || Generation_ != generation; });
        if (Generation_ != generation)
            continue;
        Played_ += passed;
        if (Played_ >= length) {
            Played_ = {};
            Queue_.FinishFront();
        }
    }
}

} // namespace zv2::platform
