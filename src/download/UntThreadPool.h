#pragma once
// The segment workers and their pool. TThreadPool keeps one FIFO queue of
// segment jobs (TDownLoadInfo) for all downloads and hands the first one, one
// per pass, to the first idle TWorkThread, creating workers five at a time
// when none is idle. A worker fetches its byte range with one GET carrying a
// Range line over its own connection to the host:port the job's address
// names, reads the reply in chunks of the pool's block size, and queues every
// body chunk with the writer as a TBlockInfo at its file offset.
//
// A job succeeds when the whole body has arrived, as its TSegmentReader
// (untSegmentReader.h) judges the reply. It fails on an address the request
// guard refuses (no connection is made), a failed connect or send, a receive
// error or time limit, a connection the server closes early, or a reply the
// reader refuses. A failed fetch is tried again up to
// TEngineTiming::SegmentRetries times, for the bytes of the range that have
// not arrived yet, after a pause of RetryPauseMs that doubles each time
// (0.5 s, 1 s, 2 s by default); OnRetry (key, attempt 1..) tells of each. The
// pause ends at once when the job is stopped or the worker ends, and so does
// the job. An address the guard refuses is never tried again. Whole or
// failed at last, the worker then queues the segment's end marker
// with the writer, which fails a file whose segments have all ended with
// bytes missing: the writer is the one that reports a download's end.
//
// Memory: before each receive a worker waits while more than
// kQueuedBytesPerFile of its file wait in the writer's queue (the writer is
// the narrower place), looking again every 10 ms; a stop ends the wait.
//
// Diagnostic lines (platform DebugOutput, %d the worker's thread id):
// "Thread start work: %d", "Thread finished: %d", "Thread ERROR, exit: %d",
// "Delete task: %d", and "Thread waits for the writer: %d" when a wait for
// room begins.
//
// Threads: AddJob from the task thread, StopJobs from any thread (the main
// thread through RemoveTask). Neither waits on the network.

#include "download/untEnginePacing.h"
#include "download/untMemoryPool.h"
#include "download/untSaveThread.h"
#include "http/untHttpRequest.h"
#include "http/untSocketAbort.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zv2::download {

// One segment job: bytes Start .. Start + Length (inclusive) of the file at Url.
struct TDownLoadInfo {
    std::uint32_t Key = 0;
    std::string Url;
    std::int64_t Start = 0;
    std::int64_t Length = 0;
};

// Where a file address is fetched from: the whole address lower-cased (ASCII
// letters), split into host, port and path, the path's spaces escaped. The
// size probe and the segment workers ask for the same file this way.
http::TUrlParts FileRequestParts(std::string_view url);

// A segment of `key` is about to be fetched again, for the `attempt`th time
// (1 ..); called on the worker's thread with no lock held.
using TRetryEvent = std::function<void(std::uint32_t key, int attempt)>;

class TWorkThread {
public:
    TWorkThread(TMemoryPool& pool, TSaveThread& writer, const TEngineTiming& timing, TRetryEvent onRetry = {});
    // Stops the thread: a running job is aborted and ends as a failure.
    ~TWorkThread();
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

    bool Idle() const { return Idle_.load(); }
    // Pool thread, on an idle worker only.
    void AssignJob(const TDownLoadInfo& job);
    // When this worker runs a job of `key`: writes "Delete task: %d" and
    // aborts the job's connection (also one not yet made). True then.
    bool StopJob(std::uint32_t key);

private:
    void Execute();
    void RunJob(const TDownLoadInfo& job);
    // One try for `job`, the rest of a segment of which `arrived` bytes came
    // already; `arrived` grows by what comes now. A refused address is final.
    enum class TFetch { Done, Failed, Refused };
    TFetch Fetch(const TDownLoadInfo& job, std::int64_t& arrived);
    // The pause before a retry; false when the job was stopped or the worker ends.
    bool PauseBeforeRetry(int ms);
    // False when the job was stopped while it waited.
    bool WaitForRoom(std::uint32_t key);
    static constexpr int kRoomPollMs = 10;
    void Log(const char* format) const;

    TMemoryPool& Pool_;
    TSaveThread& Writer_;
    const TEngineTiming Timing_;
    const TRetryEvent OnRetry_;

    mutable std::mutex Mutex_;        // guards Job_
    std::condition_variable Stopped_; // a StopJob or the end of the worker, for the retry pause
    TDownLoadInfo Job_;
    http::TSocketAbort Abort_; // StopJob came for the current job; reset for the next
    std::atomic<bool> Idle_{true};
    std::atomic<bool> Busy_{false};
    std::atomic<int> ThreadId_{0};

    TPacer Pacer_;
    std::thread Thread_;
};

class TThreadPool {
public:
    // Starts the pool thread with `initialCount` workers.
    TThreadPool(int initialCount, TMemoryPool& pool, TSaveThread& writer, const TEngineTiming& timing = {},
                TRetryEvent onRetry = {});
    // Stops the pool thread, then every worker (running jobs are aborted).
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    void AddJob(const TDownLoadInfo& job);
    // Drops the queued jobs of `key` and stops every worker running one.
    void StopJobs(std::uint32_t key);

    std::size_t WorkerCount() const;

private:
    void Execute();
    void Dispatch(const TDownLoadInfo& job);
    void AddWorkers(int n); // pool thread (and the constructor), with WorkersMutex_ held

    TMemoryPool& Pool_;
    TSaveThread& Writer_;
    const TEngineTiming Timing_;
    const TRetryEvent OnRetry_;

    mutable std::mutex JobsMutex_;
    std::deque<TDownLoadInfo> Jobs_;
    mutable std::mutex WorkersMutex_; // taken by Dispatch and StopJobs, never around a network wait
    std::vector<std::unique_ptr<TWorkThread>> Workers_;

    TPacer Pacer_;
    std::thread Thread_;
};

} // namespace zv2::download
