#include "platform/waveout/WaveQueue.h"

namespace zv2::platform {

bool TWaveQueue::TRing::Push(TWaveBlock* block) {
    const std::size_t tail = Tail_.load(std::memory_order_relaxed);
    if (tail - Head_.load(std::memory_order_acquire) == Capacity)
        return false;
    Items_[tail % Capacity] = block;
    Tail_.store(tail + 1, std::memory_order_release);
    return true;
}

TWaveBlock* TWaveQueue::TRing::Front() const {
    const std::size_t head = Head_.load(std::memory_order_relaxed);
    if (head == Tail_.load(std::memory_order_acquire))
        return nullptr;
    return Items_[head % Capacity];
}

void TWaveQueue::TRing::Pop() {
    Head_.store(Head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

TWaveQueue::~TWaveQueue() {
    Stop();
    // Only a queue that never started can still hold blocks here.
    for (TRing* ring : {&Play_, &Done_}) {
        while (TWaveBlock* block = ring->Front()) {
            ring->Pop();
            delete block;
        }
    }
}

void TWaveQueue::Start(TWaveDoneHandler onDone) {
    OnDone_ = std::move(onDone);
    Stopping_ = false;
    Thread_ = std::thread([this] { Run(); });
}

void TWaveQueue::Stop() {
    if (!Thread_.joinable())
        return;
    ReturnAll();
    Stopping_ = true;
    DoneSignal_.release();
    Thread_.join();
    OnDone_ = nullptr;
}

bool TWaveQueue::Push(TWaveBlockPtr block) {
    // Blocks out = pushed and not yet handed back; bounding them keeps both rings from overflowing.
    if (Pushed_.load() - HandedBack_.load() >= Capacity)
        return false;
    if (!Play_.Push(block.get()))
        return false;
    block.release();
    Pushed_.fetch_add(1);
    return true;
}

TWaveBlock* TWaveQueue::Front() {
    return Play_.Front();
}

void TWaveQueue::FinishFront() {
    TWaveBlock* block = Play_.Front();
    if (!block)
        return;
    Play_.Pop();
    Done_.Push(block);
    Finished_.fetch_add(1);
    DoneSignal_.release();
}

void TWaveQueue::ReturnAll() {
    while (Play_.Front())
        FinishFront();
}

void TWaveQueue::WaitHandedBack() {
    const std::uint64_t target = Finished_.load();
    for (std::uint64_t seen = HandedBack_.load(); seen < target; seen = HandedBack_.load())
        HandedBack_.wait(seen);
}

void TWaveQueue::Run() {
    for (;;) {
        DoneSignal_.acquire();
        TWaveBlock* block = Done_.Front();
        if (!block) {
            if (Stopping_)
                return;
            continue;
        }
        Done_.Pop();
        TWaveBlockPtr owned(block);
        if (OnDone_)
            OnDone_(std::move(owned));
        HandedBack_.fetch_add(1);
        HandedBack_.notify_all();
    }
}

} // namespace zv2::platform
