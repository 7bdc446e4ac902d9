#pragma once
// The UI-thread dispatcher of the running program, on the Qt event loop.
// Posted calls wait in a queue of its own, under a lock of the standard
// library, and an eventfd wakes the UI thread, whose socket notifier runs
// them. No Qt object crosses threads: Qt is not built for the thread checker
// and its own locks and queued events are invisible to it, while this
// hand-off is one it sees.

#include "platform/Dispatcher.h"

#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

namespace zv2::app {

class TQtDispatcher : public platform::IDispatcher {
public:
    // Must be made on the thread that runs the Qt event loop.
    TQtDispatcher();
    ~TQtDispatcher() override;
    TQtDispatcher(const TQtDispatcher&) = delete;
    TQtDispatcher& operator=(const TQtDispatcher&) = delete;

    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;
    std::unique_ptr<platform::ITimer> CreateTimer() override;

private:
    void RunQueued(); // UI thread, when woken

    std::thread::id UiThread_;
    int WakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> Wake_;
    std::mutex Mutex_;
    std::deque<std::function<void()>> Queue_; // guarded by Mutex_
};

} // namespace zv2::app
