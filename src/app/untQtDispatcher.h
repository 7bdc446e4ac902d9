#pragma once
// The UI-thread dispatcher of the running program, on the Qt event loop.

#include "platform/Dispatcher.h"

#include <QObject>
#include <thread>

namespace zv2::app {

class TQtDispatcher : public QObject, public platform::IDispatcher {
public:
    // Must be made on the thread that runs the Qt event loop.
    TQtDispatcher();
    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;
    std::unique_ptr<platform::ITimer> CreateTimer() override;

private:
    std::thread::id UiThread_;
};

} // namespace zv2::app
