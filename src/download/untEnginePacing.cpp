#include "download/untEnginePacing.h"

#include <chrono>

namespace zv2::download {

TEngineTiming TEngineTiming::Fast() {
    TEngineTiming t;
    t.TaskPassMs = t.WriterPassMs = t.PoolPassMs = t.WorkerIdleMs = t.WorkerChunkPauseMs = t.RetryPauseMs = 0;
    return t;
}

TEngineTiming TEngineTiming::FullSpeed(const TEngineTiming& limits) {
    TEngineTiming t = limits;
    t.TaskPassMs = t.WriterPassMs = t.PoolPassMs = t.WorkerIdleMs = t.WorkerChunkPauseMs = 0;
    t.BlockSize = 64 * 1024;
    t.WriteToFile = true;
    return t;
}

TEngineTiming TEngineTiming::FullSpeed() {
    return FullSpeed(TEngineTiming{});
}

bool TPacer::Pause(int ms, bool didWork) {
    std::unique_lock lock(Mutex_);
    if (ms > 0) {
        Changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Stopped_; });
    } else if (!didWork) {
        // A wake that came during the pass counts: the work it announced is there.
        // The guard time only bounds a wait whose wake was lost to no one.
        Changed_.wait_for(lock, std::chrono::milliseconds(50), [this] { return Stopped_ || Woken_; });
    }
    Woken_ = false;
    return !Stopped_;
}

void TPacer::Wake() {
    {
        std::lock_guard lock(Mutex_);
        Woken_ = true;
    }
    Changed_.notify_all();
}

void TPacer::Stop() {
    {
        std::lock_guard lock(Mutex_);
        Stopped_ = true;
    }
    Changed_.notify_all();
}

bool TPacer::Stopped() const {
    std::lock_guard lock(Mutex_);
    return Stopped_;
}

} // namespace zv2::download
