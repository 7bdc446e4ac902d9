#include "app/untQtDispatcher.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zv2::app {

namespace {

class TQtTimer : public platform::ITimer {
public:
    TQtTimer() {
        QObject::connect(&Timer_, &QTimer::timeout, [this] {
            if (OnTimer)
                OnTimer();
        });
    }
    void SetInterval(int ms) override { Timer_.setInterval(ms); }
    int Interval() const override { return Timer_.interval(); }
    void SetEnabled(bool enabled) override {
        if (enabled)
            Timer_.start();
        else
            Timer_.stop();
    }
    bool Enabled() const override { return Timer_.isActive(); }

private:
    QTimer Timer_;
};

} // namespace

TQtDispatcher::TQtDispatcher()
    : UiThread_(std::this_thread::get_id()), WakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    Wake_ = std::make_unique<QSocketNotifier>(WakeFd_, QSocketNotifier::Read);
    QObject::connect(Wake_.get(), &QSocketNotifier::activated, [this] { RunQueued(); });
}

TQtDispatcher::~TQtDispatcher() {
    Wake_.reset();
    ::close(WakeFd_);
}

void TQtDispatcher::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(Mutex_);
        Queue_.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(WakeFd_, &one, sizeof one);
}

void TQtDispatcher::RunQueued() {
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(WakeFd_, &count, sizeof count);
    // One call at a time, the oldest first: a call that opens a dialog (a
    // nested event loop) lets the later ones run in their order meanwhile.
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(Mutex_);
            if (Queue_.empty())
                return;
            fn = std::move(Queue_.front());
            Queue_.pop_front();
        }
        fn();
    }
}

bool TQtDispatcher::IsUiThread() const {
    return std::this_thread::get_id() == UiThread_;
}

std::unique_ptr<platform::ITimer> TQtDispatcher::CreateTimer() {
    return std::make_unique<TQtTimer>();
}

} // namespace zv2::app
