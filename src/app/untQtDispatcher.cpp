#include "app/untQtDispatcher.h"

#include <QTimer>

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

TQtDispatcher::TQtDispatcher() : UiThread_(std::this_thread::get_id()) {}

void TQtDispatcher::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

bool TQtDispatcher::IsUiThread() const {
    return std::this_thread::get_id() == UiThread_;
}

std::unique_ptr<platform::ITimer> TQtDispatcher::CreateTimer() {
    return std::make_unique<TQtTimer>();
}

} // namespace zv2::app
