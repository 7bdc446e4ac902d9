#pragma once
// The pace of the download engine's threads and the time limits of its
// network waits, and the one wait every engine loop makes between passes.
//
// The defaults are the designed pace: the task thread and the writer pass
// every 10 ms, the pool dispatches every 50 ms, an idle worker looks for work
// every 100 ms and pauses 10 ms after each received chunk; a segment is thus
// received at no more than about 200 KB/s and the writer stores about 100
// blocks (200 KB) per second for all downloads together. Tests use Fast():
// no pauses, and a loop that found nothing to do waits until it is woken.
// FullSpeed() is what the user asks for with "全速下载": no pauses, chunks
// of 64 KiB, and each block written to the song's temporary file at its
// offset as it arrives, so memory stays flat whatever the song's size.

#include <condition_variable>
#include <mutex>

namespace zv2::download {

struct TEngineTiming {
    int TaskPassMs = 10;         // task thread: one task start and one event per pass
    int WriterPassMs = 10;       // writer: one file opened and one block written per pass
    int PoolPassMs = 50;         // thread pool: one job dispatched per pass
    int WorkerIdleMs = 100;      // a worker without a job looks again after this
    int WorkerChunkPauseMs = 10; // a worker pauses after every chunk it received
    int ConnectTimeoutMs = 10000;
    int ReceiveTimeoutMs = 30000; // the longest silence of a server before its job fails
    int ProbeTimeLimitMs = 30000; // a size probe, from the connect to the blank line of the reply
    int SegmentRetries = 3;       // a failed segment is fetched again this often before it ends failed
    int RetryPauseMs = 500;       // the pause before the first retry; it doubles for each next one
    int BlockSize = 2048;         // bytes of one received chunk, one block of the writer
    bool WriteToFile = false;     // blocks go to the song's temporary file as they arrive, not to memory

    // No pauses at all (the time limits stay); for tests.
    static TEngineTiming Fast();
    // Full speed: no pauses, 64 KiB blocks written to the file as they
    // arrive; the time limits are those of `limits`.
    static TEngineTiming FullSpeed(const TEngineTiming& limits);
    static TEngineTiming FullSpeed(); // with the designed time limits
};

// The wait between two passes of a loop. Pause(ms > 0) sleeps that long;
// Pause(0) returns at once after a pass that did work, and otherwise waits
// until Wake() (or a short guard time). Stop() ends every present and later
// wait. Any thread may call Wake() and Stop(); one thread pauses.
class TPacer {
public:
    // False once Stop() was called.
    bool Pause(int ms, bool didWork);
    void Wake();
    void Stop();
    bool Stopped() const;

private:
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    bool Woken_ = false;
    bool Stopped_ = false;
};

} // namespace zv2::download
