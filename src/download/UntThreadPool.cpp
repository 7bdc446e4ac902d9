#include "download/UntThreadPool.h"

#include "download/untSegmentReader.h"
#include "platform/TextCodec.h"

#include "http/untHttpRequest.h"
#include "platform/UntDebug.h"
#include "platform/net/TcpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace zv2::download {

using platform::AsciiLower;

http::TUrlParts FileRequestParts(std::string_view url) {
    http::TUrlParts parts = http::SplitUrl(AsciiLower(url));
    parts.Path = http::EscapeSpaces(parts.Path);
    return parts;
}

// ---- TWorkThread ----

TWorkThread::TWorkThread(TMemoryPool& pool, TSaveThread& writer, const TEngineTiming& timing, TRetryEvent onRetry)
    : Pool_(pool), Writer_(writer), Timing_(timing), OnRetry_(std::move(onRetry)) {
    Thread_ = std::thread([this] { Execute(); });
}

TWorkThread::~TWorkThread() {
    Pacer_.Stop();
    {
        std::lock_guard lock(Mutex_);
        Abort_.Abort();
    }
    Stopped_.notify_all();
    Thread_.join();
}

void TWorkThread::AssignJob(const TDownLoadInfo& job) {
    {
        std::lock_guard lock(Mutex_);
        Job_ = job;
        Abort_.Reset();
        Idle_ = false;
        Busy_ = true;
    }
    Pacer_.Wake();
}

bool TWorkThread::StopJob(std::uint32_t key) {
    std::lock_guard lock(Mutex_);
    if (key == 0 || Job_.Key != key || !Busy_.load())
        return false;
    Log("Delete task: %d");
    Abort_.Abort();
    Stopped_.notify_all();
    return true;
}

void TWorkThread::Log(const char* format) const {
    char line[64];
    std::snprintf(line, sizeof line, format, ThreadId_.load());
    platform::DebugOutput(line);
}

void TWorkThread::Execute() {
    ThreadId_ = static_cast<int>(::gettid());
    bool didWork = false;
    while (Pacer_.Pause(Timing_.WorkerIdleMs, didWork)) {
        didWork = Busy_.load();
        if (!didWork)
            continue;
        TDownLoadInfo job;
        {
            std::lock_guard lock(Mutex_);
            job = Job_;
        }
        RunJob(job);
    }
}

void TWorkThread::RunJob(const TDownLoadInfo& job) {
    Log("Thread start work: %d");
    std::int64_t arrived = 0; // bytes from the range's start
    TFetch outcome = Fetch(job, arrived);
    for (int attempt = 1; outcome == TFetch::Failed && attempt <= Timing_.SegmentRetries; ++attempt) {
        if (arrived > job.Length) {
            outcome = TFetch::Done; // every byte of Start .. Start + Length came before the failure
            break;
        }
        if (!PauseBeforeRetry(Timing_.RetryPauseMs << (attempt - 1)))
            break;
        if (OnRetry_)
            OnRetry_(job.Key, attempt);
        // Only what has not arrived is asked for again.
        TDownLoadInfo rest = job;
        rest.Start += arrived;
        rest.Length -= arrived;
        outcome = Fetch(rest, arrived);
    }
    const bool ok = outcome == TFetch::Done;
    // Whole or not, the segment has ended: the writer, which sees every byte
    // of the file, decides whether the file can still complete (the ranges
    // overlap, so a failed segment may have lost nothing).
    Writer_.AddBlock(MakeSegmentEnd(job.Key));
    Log(ok ? "Thread finished: %d" : "Thread ERROR, exit: %d");
    {
        std::lock_guard lock(Mutex_);
        Job_.Key = 0;
    }
    Busy_ = false;
    Idle_ = true;
}

bool TWorkThread::PauseBeforeRetry(int ms) {
    std::unique_lock lock(Mutex_);
    Stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Abort_.Aborted() || Pacer_.Stopped(); });
    return !Abort_.Aborted() && !Pacer_.Stopped();
}

TWorkThread::TFetch TWorkThread::Fetch(const TDownLoadInfo& job, std::int64_t& arrived) {
    const std::int64_t origin = job.Start - arrived; // the start of the whole segment
    const http::TUrlParts parts = FileRequestParts(job.Url);
    const std::optional<std::string> request =
        http::BuildRangeRequest("GET", parts.Host, parts.Path, parts.Port, job.Start, job.Start + job.Length);
    if (!request)
        return TFetch::Refused; // the guard refused the address: no connection is made
    platform::TTcpSocket socket;
    const http::TSocketAbort::TScope registered(Abort_, socket);
    if (socket.Connect(parts.Host, parts.Port, Timing_.ConnectTimeoutMs) != platform::TNetResult::Ok ||
        socket.SendAll(request->data(), request->size(), Timing_.ReceiveTimeoutMs) != platform::TNetResult::Ok)
        return TFetch::Failed;

    TSegmentReader reader(job.Start, job.Length);
    const std::size_t blockSize = static_cast<std::size_t>(Pool_.BlockSize());
    for (;;) {
        if (!WaitForRoom(job.Key))
            return TFetch::Failed;
        char* buffer = Pool_.GetBuffer();
        std::memset(buffer, 0, blockSize);
        std::size_t received = 0;
        const platform::TNetResult result = socket.Receive(buffer, blockSize, received, Timing_.ReceiveTimeoutMs);
        if (result != platform::TNetResult::Ok) {
            Pool_.FreeBuffer(buffer);
            return result == platform::TNetResult::Closed && reader.Closed() == TSegmentReader::TState::Done
                       ? TFetch::Done
                       : TFetch::Failed;
        }
        std::size_t body = 0;
        std::int64_t offset = 0;
        const TSegmentReader::TState state = reader.Take(buffer, received, body, offset);
        if (body > 0) {
            Writer_.AddBlock({job.Key, offset, static_cast<std::int32_t>(body), buffer});
            // The body arrives in order from the range's start.
            arrived = std::max(arrived, offset + static_cast<std::int64_t>(body) - origin);
        } else
            Pool_.FreeBuffer(buffer);
        if (state != TSegmentReader::TState::More)
            return state == TSegmentReader::TState::Done ? TFetch::Done : TFetch::Failed;
        if (!Pacer_.Pause(Timing_.WorkerChunkPauseMs, true))
            return TFetch::Failed;
    }
}

bool TWorkThread::WaitForRoom(std::uint32_t key) {
    bool told = false;
    while (Writer_.QueuedBytes(key) > kQueuedBytesPerFile) {
        if (!told) {
            Log("Thread waits for the writer: %d");
            told = true;
        }
        if (Abort_.Aborted() || !Pacer_.Pause(kRoomPollMs, true))
            return false;
    }
    return true;
}

// ---- TThreadPool ----

TThreadPool::TThreadPool(int initialCount, TMemoryPool& pool, TSaveThread& writer, const TEngineTiming& timing,
                         TRetryEvent onRetry)
    : Pool_(pool), Writer_(writer), Timing_(timing), OnRetry_(std::move(onRetry)) {
    {
        std::lock_guard lock(WorkersMutex_);
        AddWorkers(initialCount);
    }
    Thread_ = std::thread([this] { Execute(); });
}

TThreadPool::~TThreadPool() {
    Pacer_.Stop();
    Thread_.join();
    std::lock_guard lock(WorkersMutex_);
    Workers_.clear(); // each worker aborts its job and ends its thread
}

void TThreadPool::AddJob(const TDownLoadInfo& job) {
    {
        std::lock_guard lock(JobsMutex_);
        Jobs_.push_back(job);
    }
    Pacer_.Wake();
}

void TThreadPool::StopJobs(std::uint32_t key) {
    // Both locks, in Dispatch's order: a job is either still queued (dropped
    // here) or already with its worker (stopped here), never in between.
    std::scoped_lock lock(JobsMutex_, WorkersMutex_);
    std::erase_if(Jobs_, [key](const TDownLoadInfo& job) { return job.Key == key; });
    for (const auto& worker : Workers_)
        worker->StopJob(key);
}

std::size_t TThreadPool::WorkerCount() const {
    std::lock_guard lock(WorkersMutex_);
    return Workers_.size();
}

void TThreadPool::Execute() {
    bool didWork = false;
    while (Pacer_.Pause(Timing_.PoolPassMs, didWork)) {
        std::scoped_lock lock(JobsMutex_, WorkersMutex_);
        didWork = !Jobs_.empty();
        if (didWork) {
            Dispatch(Jobs_.front());
            Jobs_.pop_front();
        }
    }
}

void TThreadPool::Dispatch(const TDownLoadInfo& job) {
    for (std::size_t i = 0;; ++i) {
        if (i == Workers_.size())
            AddWorkers(5);
        if (Workers_[i]->Idle()) {
            Workers_[i]->AssignJob(job);
            return;
        }
    }
}

void TThreadPool::AddWorkers(int n) {
    for (int i = 0; i < n; ++i)
        Workers_.push_back(std::make_unique<TWorkThread>(Pool_, Writer_, Timing_, OnRetry_));
}

} // namespace zv2::download
