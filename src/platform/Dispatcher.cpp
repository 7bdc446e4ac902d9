#include "platform/Dispatcher.h"

#include <algorithm>
#include <chrono>

namespace zv2::platform {

bool IDispatcher::Call(std::function<void()> fn) {
    if (IsUiThread()) {
        fn();
        return true;
    }
    struct TState {
        bool Done = false;
    };
    auto state = std::make_shared<TState>();
    {
        std::lock_guard lock(Mutex_);
        if (ShutDown_)
            return false;
    }
    Post([this, state, fn = std::move(fn)] {
        {
            std::lock_guard lock(Mutex_);
            if (ShutDown_)
                return;
        }
        fn();
        std::lock_guard lock(Mutex_);
        state->Done = true;
        Done_.notify_all();
    });
    std::unique_lock lock(Mutex_);
    Done_.wait(lock, [&] { return state->Done || ShutDown_; });
    return state->Done;
}

void IDispatcher::Shutdown() {
    std::lock_guard lock(Mutex_);
    ShutDown_ = true;
    Done_.notify_all();
}

class TQueueDispatcher::TManualTimer : public ITimer {
public:
    explicit TManualTimer(TQueueDispatcher* owner) : Owner_(owner) { Owner_->Timers_.push_back(this); }
    ~TManualTimer() override {
        if (Owner_)
            std::erase(Owner_->Timers_, this);
    }
    void SetInterval(int ms) override {
        Interval_ = std::max(1, ms);
        Rearm();
    }
    int Interval() const override { return Interval_; }
    void SetEnabled(bool enabled) override {
        Enabled_ = enabled;
        Rearm();
    }
    bool Enabled() const override { return Enabled_; }

    void Rearm() { Due_ = Owner_ ? Owner_->Now_ + Interval_ : 0; }

    TQueueDispatcher* Owner_;
    int Interval_ = 1000;
    bool Enabled_ = false;
    std::int64_t Due_ = 0;
};

TQueueDispatcher::TQueueDispatcher() : UiThread_(std::this_thread::get_id()) {}

TQueueDispatcher::~TQueueDispatcher() {
    Shutdown();
    for (auto* timer : Timers_)
        timer->Owner_ = nullptr;
}

void TQueueDispatcher::Post(std::function<void()> fn) {
    std::lock_guard lock(QueueMutex_);
    Queue_.push_back(std::move(fn));
    QueueChanged_.notify_all();
}

bool TQueueDispatcher::IsUiThread() const {
    return std::this_thread::get_id() == UiThread_;
}

std::unique_ptr<ITimer> TQueueDispatcher::CreateTimer() {
    return std::make_unique<TManualTimer>(this);
}

std::size_t TQueueDispatcher::PendingCount() const {
    std::lock_guard lock(QueueMutex_);
    return Queue_.size();
}

int TQueueDispatcher::RunPending() {
    int count = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(QueueMutex_);
            if (Queue_.empty())
                return count;
            fn = std::move(Queue_.front());
            Queue_.pop_front();
        }
        fn();
        ++count;
    }
}

int TQueueDispatcher::WaitAndRun(int timeoutMs) {
    {
        std::unique_lock lock(QueueMutex_);
        QueueChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !Queue_.empty(); });
    }
    return RunPending();
}

void TQueueDispatcher::AdvanceTime(int ms) {
    const std::int64_t end = Now_ + ms;
    for (;;) {
        TManualTimer* next = nullptr;
        for (auto* timer : Timers_) {
            if (timer->Enabled_ && timer->Due_ <= end && (!next || timer->Due_ < next->Due_))
                next = timer;
        }
        if (!next)
            break;
        Now_ = next->Due_;
        next->Due_ = Now_ + next->Interval_;
        if (next->OnTimer)
            next->OnTimer();
        RunPending();
    }
    Now_ = end;
}

} // namespace zv2::platform
