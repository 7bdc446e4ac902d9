#include "download/UntThreadPool.h"

#include "platform/TextCodec.h"

#include "http/untHttpRequest.h"
#include "platform/UntDebug.h"
#include "platform/net/TcpSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace zv2::download {

using platform::AsciiLower;

namespace {

constexpr std::size_t kLongestHeader = 64 * 1024;

// The value of header line `name` (any case), without blanks around it.
std::optional<std::string_view> HeaderValue(std::string_view header, std::string_view name) {
    std::size_t at = header.find("\r\n");
    while (at != std::string_view::npos) {
        const std::size_t begin = at + 2;
        const std::size_t end = header.find("\r\n", begin);
        const std::string_view line = header.substr(begin, end == std::string_view::npos ? end : end - begin);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && AsciiLower(line.substr(0, colon)) == AsciiLower(name)) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            return value;
        }
        at = end;
    }
    return std::nullopt;
}

// A decimal number that is the whole of `text`; nullopt otherwise or when it exceeds 2^62.
std::optional<std::int64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

http::TUrlParts FileRequestParts(std::string_view url) {
    http::TUrlParts parts = http::SplitUrl(AsciiLower(url));
    parts.Path = http::EscapeSpaces(parts.Path);
    return parts;
}

// ---- TSegmentReader ----

TSegmentReader::TSegmentReader(const TDownLoadInfo& job) : Job_(job), Expected_(job.Length + 1) {}

bool TSegmentReader::CheckHeader(std::string_view header) {
    // "HTTP/1.1 206 Partial Content"
    const std::size_t blank = header.find(' ');
    if (header.substr(0, 5) != "HTTP/" || blank == std::string_view::npos)
        return false;
    const auto status = Decimal(header.substr(blank + 1, 3));
    if (!status)
        return false;
    if (*status == 200) {
        if (Job_.Start != 0) // the whole file from byte 0: it does not belong here
            return false;
    } else if (*status == 206) {
        // "Content-Range: bytes 1025-2051/3072": our range, perhaps cut at the
        // end of the file, which tells the body's length where no
        // Content-Length does.
        if (const auto range = HeaderValue(header, "Content-Range")) {
            const std::size_t dash = range->find('-');
            const std::size_t slash = range->find('/');
            if (range->substr(0, 6) != "bytes " || dash == std::string_view::npos ||
                Decimal(range->substr(6, dash - 6)) != Job_.Start)
                return false;
            if (const auto last =
                    Decimal(range->substr(dash + 1, slash == std::string_view::npos ? slash : slash - dash - 1));
                last && *last >= Job_.Start)
                Expected_ = std::min(Expected_, *last - Job_.Start + 1);
        }
    } else {
        return false;
    }
    // A chunked (or otherwise coded) body would put the coding's own bytes
    // into the song.
    if (const auto coding = HeaderValue(header, "Transfer-Encoding"); coding && AsciiLower(*coding) != "identity")
        return false;
    if (const auto length = HeaderValue(header, "Content-Length")) {
        const auto value = Decimal(*length);
        if (!value)
            return false;
        Expected_ = std::min(Expected_, *value);
    }
    return true;
}

TSegmentReader::TState TSegmentReader::Take(char* buffer, std::size_t size, std::size_t& bodyBytes,
                                            std::int64_t& offset) {
    bodyBytes = 0;
    offset = Job_.Start + Received_;
    std::size_t body = size;
    if (!HeaderDone_) {
        const std::size_t before = Header_.size();
        Header_.append(buffer, size);
        const std::size_t end = Header_.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
        if (end == std::string::npos)
            return Header_.size() > kLongestHeader ? TState::Failed : TState::More;
        HeaderDone_ = true;
        // The body begins right after the blank line, whatever its first byte is.
        body = Header_.size() - (end + 4);
        Header_.resize(end + 4);
        if (!CheckHeader(Header_))
            return TState::Failed;
        std::memmove(buffer, buffer + (size - body), body);
    }
    body = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(body), Expected_ - Received_));
    bodyBytes = body;
    Received_ += static_cast<std::int64_t>(body);
    return Received_ >= Expected_ ? TState::Done : TState::More;
}

TSegmentReader::TState TSegmentReader::Closed() const {
    return HeaderDone_ && Received_ >= Expected_ ? TState::Done : TState::Failed;
}

// ---- TWorkThread ----

TWorkThread::TWorkThread(TMemoryPool& pool, TSaveThread& writer, TKeyValueEvent onJobDone, TKeyValueEvent onJobError,
                         const TEngineTiming& timing)
    : Pool_(pool), Writer_(writer), OnJobDone_(std::move(onJobDone)), OnJobError_(std::move(onJobError)),
      Timing_(timing) {
    Thread_ = std::thread([this] { Execute(); });
}

TWorkThread::~TWorkThread() {
    Pacer_.Stop();
    {
        std::lock_guard lock(Mutex_);
        Stopped_ = true;
        if (Socket_)
            Socket_->Abort();
    }
    Thread_.join();
}

void TWorkThread::AssignJob(const TDownLoadInfo& job) {
    {
        std::lock_guard lock(Mutex_);
        Job_ = job;
        Stopped_ = false;
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
    Stopped_ = true;
    if (Socket_)
        Socket_->Abort();
    return true;
}

std::uint32_t TWorkThread::JobKey() const {
    std::lock_guard lock(Mutex_);
    return Job_.Key;
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

bool TWorkThread::RunJob(const TDownLoadInfo& job) {
    Log("Thread start work: %d");
    const bool ok = Fetch(job);
    // Whole or not, the segment has ended: the writer, which sees every byte
    // of the file, decides whether the file can still complete (the ranges
    // overlap, so a failed segment may have lost nothing).
    Writer_.AddBlock(MakeSegmentEnd(job.Key));
    Log(ok ? "Thread finished: %d" : "Thread ERROR, exit: %d");
    {
        std::lock_guard lock(Mutex_);
        Job_.Key = 0;
        Stopped_ = false;
    }
    Busy_ = false;
    Idle_ = true;
    // Told last: the pool may hand this worker the next job already.
    const TKeyValueEvent& notify = ok ? OnJobDone_ : OnJobError_;
    if (notify)
        notify(job.Key,
               static_cast<std::int32_t>(static_cast<std::uint32_t>((ok ? job.Length : job.Start) & 0xFFFFFFFF)));
    return ok;
}

bool TWorkThread::Fetch(const TDownLoadInfo& job) {
    const http::TUrlParts parts = FileRequestParts(job.Url);
    const std::optional<std::string> request =
        http::BuildRangeRequest("GET", parts.Host, parts.Path, parts.Port, job.Start, job.Start + job.Length);
    if (!request)
        return false; // the guard refused the address: no connection is made
    platform::TTcpSocket socket;
    {
        std::lock_guard lock(Mutex_);
        Socket_ = &socket;
        if (Stopped_)
            socket.Abort();
    }
    struct TForget {
        TWorkThread* Self;
        ~TForget() {
            std::lock_guard lock(Self->Mutex_);
            Self->Socket_ = nullptr;
        }
    } forget{this};

    if (socket.Connect(parts.Host, parts.Port, Timing_.ConnectTimeoutMs) != platform::TNetResult::Ok ||
        socket.SendAll(request->data(), request->size(), Timing_.ReceiveTimeoutMs) != platform::TNetResult::Ok)
        return false;

    TSegmentReader reader(job);
    const std::size_t blockSize = static_cast<std::size_t>(Pool_.BlockSize());
    for (;;) {
        char* buffer = Pool_.GetBuffer();
        std::memset(buffer, 0, blockSize);
        std::size_t received = 0;
        const platform::TNetResult result = socket.Receive(buffer, blockSize, received, Timing_.ReceiveTimeoutMs);
        if (result != platform::TNetResult::Ok) {
            Pool_.FreeBuffer(buffer);
            return result == platform::TNetResult::Closed && reader.Closed() == TSegmentReader::TState::Done;
        }
        std::size_t body = 0;
        std::int64_t offset = 0;
        const TSegmentReader::TState state = reader.Take(buffer, received, body, offset);
        if (body > 0)
            Writer_.AddBlock({job.Url, job.Key, offset, static_cast<std::int32_t>(body), buffer});
        else
            Pool_.FreeBuffer(buffer);
        if (state != TSegmentReader::TState::More)
            return state == TSegmentReader::TState::Done;
        if (!Pacer_.Pause(Timing_.WorkerChunkPauseMs, true))
            return false;
    }
}

// ---- TThreadPool ----

TThreadPool::TThreadPool(int initialCount, TMemoryPool& pool, TSaveThread& writer, TKeyValueEvent onJobError,
                         const TEngineTiming& timing)
    : Pool_(pool), Writer_(writer), OnJobError_(std::move(onJobError)), Timing_(timing) {
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

std::size_t TThreadPool::QueuedJobs() const {
    std::lock_guard lock(JobsMutex_);
    return Jobs_.size();
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
    for (int i = 0; i < n; ++i) {
        // The pool's own notice of a finished job does nothing: the writer
        // learns it from the segment's end marker.
        Workers_.push_back(std::make_unique<TWorkThread>(Pool_, Writer_, nullptr, OnJobError_, Timing_));
    }
}

} // namespace zv2::download
