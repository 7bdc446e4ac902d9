#pragma once
// The UI-thread dispatcher: how core subsystems reach the main thread without
// knowing about the window toolkit. Post() queues a call and returns at once;
// Call() runs a call on the UI thread and waits for it (a "synchronised call").
// The app implements it with Qt; tests use TQueueDispatcher and run the queue
// themselves. Timers that fire on the UI thread come from the same place.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zv2::platform {

// A timer whose OnTimer runs on the UI thread. Created and used on the UI thread only.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    std::function<void()> OnTimer;
};

class IDispatcher {
public:
    virtual ~IDispatcher() = default;

    // Any thread. Queues `fn` to run on the UI thread; calls queued by one
    // thread run in the order they were posted.
    virtual void Post(std::function<void()> fn) = 0;

    // Any thread. Runs `fn` on the UI thread and waits until it has run (on
    // the UI thread itself it runs at once). Returns false without running it
    // once Shutdown() was called, so a worker never waits on a UI thread that
    // is itself waiting for the worker to end.
    bool Call(std::function<void()> fn);

    // UI thread. Makes every waiting and later Call() return false.
    void Shutdown();

    virtual bool IsUiThread() const = 0;
    virtual std::unique_ptr<ITimer> CreateTimer() = 0;

private:
    std::mutex Mutex_;
    std::condition_variable Done_;
    bool ShutDown_ = false;
};

// The dispatcher of tests: the thread that made it is the UI thread, and
// nothing runs until that thread calls RunPending(). Timers fire only when
// AdvanceTime() moves the dispatcher's clock.
class TQueueDispatcher : public IDispatcher {
public:
    TQueueDispatcher();
    ~TQueueDispatcher() override;

    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;
    std::unique_ptr<ITimer> CreateTimer() override;

    // Runs the queued calls, including those queued while running; returns how many ran.
    int RunPending();
    // Like RunPending, but first waits up to `timeoutMs` for at least one call.
    int WaitAndRun(int timeoutMs);
    // Moves the clock by `ms` and fires every enabled timer that falls due, in time order.
    void AdvanceTime(int ms);
    std::int64_t NowMs() const { return Now_; }
    std::size_t PendingCount() const;

private:
    class TManualTimer;
    std::thread::id UiThread_;
    mutable std::mutex QueueMutex_;
    std::condition_variable QueueChanged_;
    std::deque<std::function<void()>> Queue_;
    std::vector<TManualTimer*> Timers_;
    std::int64_t Now_ = 0;
};

} // namespace zv2::platform
