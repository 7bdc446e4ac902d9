#include "platform/waveout/FakeWaveOut.h"

namespace zv2::platform {

bool TFakeWaveOut::Open(const TWaveFormat& format, TWaveDoneHandler onDone) {
    std::lock_guard lock(Mutex_);
    Calls_.push_back("Open");
    if (Open_ || FailOpen_)
        return false;
    Open_ = true;
    Paused_ = false;
    Format_ = format;
    OnDone_ = std::move(onDone);
    return true;
}

bool TFakeWaveOut::Write(TWaveBlockPtr block) {
    std::lock_guard lock(Mutex_);
    Calls_.push_back("Write");
    if (!Open_ || !block || block->Length > block->Data.size() || block->Length % std::size_t(Format_.BlockAlign()))
        return false;
    Written_.emplace_back(block->Data.begin(), block->Data.begin() + long(block->Length));
    Queue_.push_back(std::move(block));
    return true;
}

bool TFakeWaveOut::Pause() {
    std::lock_guard lock(Mutex_);
    Calls_.push_back("Pause");
    Paused_ = Paused_ || Open_;
    return Open_;
}

bool TFakeWaveOut::Restart() {
    std::lock_guard lock(Mutex_);
    Calls_.push_back("Restart");
    Paused_ = false;
    return Open_;
}

bool TFakeWaveOut::Reset() {
    std::unique_lock lock(Mutex_);
    Calls_.push_back("Reset");
    if (!Open_)
        return false;
    HandBackAll(lock);
    return true;
}

void TFakeWaveOut::Close() {
    std::unique_lock lock(Mutex_);
    Calls_.push_back("Close");
    if (!Open_)
        return;
    HandBackAll(lock);
    Open_ = false;
    OnDone_ = nullptr;
}

void TFakeWaveOut::HandBackAll(std::unique_lock<std::mutex>& lock) {
    while (!Queue_.empty()) {
        TWaveBlockPtr block = std::move(Queue_.front());
        Queue_.pop_front();
        TWaveDoneHandler onDone = OnDone_;
        lock.unlock();
        onDone(std::move(block));
        lock.lock();
    }
}

bool TFakeWaveOut::CompleteNext() {
    std::unique_lock lock(Mutex_);
    if (Queue_.empty() || Paused_)
        return false;
    TWaveBlockPtr block = std::move(Queue_.front());
    Queue_.pop_front();
    TWaveDoneHandler onDone = OnDone_;
    lock.unlock();
    onDone(std::move(block));
    return true;
}

bool TFakeWaveOut::IsOpen() const {
    std::lock_guard lock(Mutex_);
    return Open_;
}

TWaveVolume TFakeWaveOut::Volume() const {
    std::lock_guard lock(Mutex_);
    return Volume_;
}

void TFakeWaveOut::SetVolume(TWaveVolume volume) {
    std::lock_guard lock(Mutex_);
    Calls_.push_back("SetVolume");
    Volume_ = volume;
}

std::size_t TFakeWaveOut::QueuedCount() const {
    std::lock_guard lock(Mutex_);
    return Queue_.size();
}

std::vector<std::vector<std::uint8_t>> TFakeWaveOut::Written() const {
    std::lock_guard lock(Mutex_);
    return Written_;
}

std::size_t TFakeWaveOut::WrittenCount() const {
    std::lock_guard lock(Mutex_);
    return Written_.size();
}

std::vector<std::string> TFakeWaveOut::Calls() const {
    std::lock_guard lock(Mutex_);
    return Calls_;
}

TWaveFormat TFakeWaveOut::Format() const {
    std::lock_guard lock(Mutex_);
    return Format_;
}

bool TFakeWaveOut::Paused() const {
    std::lock_guard lock(Mutex_);
    return Paused_;
}

void TFakeWaveOut::FailOpen(bool fail) {
    std::lock_guard lock(Mutex_);
    FailOpen_ = fail;
}

} // namespace zv2::platform
