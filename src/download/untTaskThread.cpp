#include "download/untTaskThread.h"

#include "http/untHttpReply.h"
#include "http/untHttpRequest.h"
#include "platform/UntDebug.h"
#include "platform/net/TcpSocket.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace zv2::download {

namespace {

enum : std::uint8_t { evOpened = 0, evFileError = 2, evProgress = 3, evFinished = 4, evProbed = 5, evRetry = 6 };

using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

constexpr std::size_t kLongestProbeReply = 64 * 1024;
constexpr std::int64_t kSmallestHalf = 1024;

// A field's value when a line of the resume record can hold it, else empty.
std::string RecordText(const http::THttpReplyHead& head, std::string_view name) {
    const http::THeaderField* field = head.Find(name);
    return field && IsRecordValue(field->Value, kLongestServerText) ? field->Value : std::string();
}

} // namespace

TProbeResult ParseProbeReply(std::string_view reply) {
    const http::THttpReplyHead head = http::ReadReplyHead(reply);
    TProbeResult result;
    // The probe's own rule on top of the reader: the status line says "200 OK"
    // as written, and only a Content-Length line spelled so gives the size,
    // each of its digits counting and every other character skipped.
    result.StatusOK = head.Status == 200 && head.Reason == "OK";
    result.LastModified = RecordText(head, "Last-Modified");
    result.ETag = RecordText(head, "ETag");
    const http::THeaderField* length = head.Find("Content-Length");
    if (!length || length->Name != "Content-Length")
        return result;
    for (const char c : length->Value) {
        if (c < '0' || c > '9')
            continue;
        result.Size = result.Size * 10 + (c - '0');
        if (result.Size > kLargestSong) {
            result.Size = kLargestSong + 1; // too large, whatever follows
            break;
        }
    }
    return result;
}

std::vector<TDownLoadInfo> SegmentJobs(std::uint32_t key, const std::string& url, std::int64_t size, bool statusOK) {
    if (!statusOK || size < 3072)
        return {{key, url, 0, size}};
    const std::int64_t q = size / 3;
    return {{key, url, 0, q}, {key, url, q + 1, q + 2}, {key, url, size - q, q}};
}

bool SameFileOnServer(const TResumeRecord& record, const TProbeResult& probe) {
    return probe.StatusOK && probe.Size == record.Size && probe.LastModified == record.LastModified &&
           probe.ETag == record.ETag && !(record.LastModified.empty() && record.ETag.empty());
}

std::vector<TDownLoadInfo> ResumeJobs(std::uint32_t key, const std::string& url, std::int64_t size,
                                      const std::vector<TByteRange>& complete) {
    std::vector<TByteRange> pieces = MissingRanges(complete, size);
    const auto length = [](const TByteRange& r) { return r.End - r.Start; };
    while (!pieces.empty() && pieces.size() < 3) {
        const auto largest = std::max_element(pieces.begin(), pieces.end(),
                                              [&](const auto& a, const auto& b) { return length(a) < length(b); });
        if (length(*largest) < 2 * kSmallestHalf)
            break;
        const std::int64_t middle = largest->Start + length(*largest) / 2;
        const TByteRange second{middle, largest->End};
        largest->End = middle;
        pieces.insert(largest + 1, second);
    }
    std::vector<TDownLoadInfo> jobs;
    for (const TByteRange& piece : pieces)
        jobs.push_back({key, url, piece.Start, length(piece) - 1});
    return jobs;
}

TTaskThread::TTaskThread(TTaskCallbacks callbacks, int maxTasks, int threadsPeerTask, const TEngineTiming& timing)
    : Callbacks_(std::move(callbacks)), MaxTasks_(maxTasks), Timing_(timing),
      Pool_(maxTasks * threadsPeerTask, timing.BlockSize),
      Writer_(Pool_, threadsPeerTask,
              TWriterCallbacks{[this](std::uint32_t k, std::int32_t v) { PostEvent(evOpened, k, v); },
                               [this](std::uint32_t k, std::int32_t v) { PostEvent(evProgress, k, v); },
                               [this](std::uint32_t k, std::int32_t v) { PostEvent(evFinished, k, v); },
                               [this](std::uint32_t k, std::int32_t v) { PostEvent(evFileError, k, v); }},
              timing.WriterPassMs, timing.WriteToFile),
      Jobs_(0, Pool_, Writer_, timing,
            [this](std::uint32_t k, int attempt) { PostEvent(evRetry, k, static_cast<std::int32_t>(attempt)); }) {
    Thread_ = std::thread([this] { Execute(); });
}

TTaskThread::~TTaskThread() {
    Pacer_.Stop();
    {
        std::lock_guard lock(ProbesMutex_);
        for (const auto& probe : Probes_)
            probe->Abort.Abort();
    }
    Thread_.join();
    // The task thread is gone: nobody else touches Probes_ now.
    for (const auto& probe : Probes_)
        probe->Thread.join();
}

void TTaskThread::AddTask(std::uint32_t key, const std::string& fileName, const std::string& url) {
    TTaskInfo task;
    task.Key = key;
    task.FileName = fileName;
    task.Url = url;
    Queue(std::move(task));
}

void TTaskThread::ContinueTask(std::uint32_t key, const std::string& fileName, const TUnfinishedSong& song) {
    TTaskInfo task;
    task.Key = key;
    task.FileName = fileName;
    task.Url = song.Record.Url;
    task.Unfinished = song;
    Queue(std::move(task));
}

void TTaskThread::Queue(TTaskInfo task) {
    {
        std::lock_guard lock(TasksMutex_);
        Tasks_.push_back(std::move(task));
    }
    Pacer_.Wake();
}

std::vector<TDownLoadInfo> TTaskThread::TaskJobs(const TTaskInfo& task) {
    return task.Complete.empty() ? SegmentJobs(task.Key, task.Url, task.Size, task.StatusOK)
                                 : ResumeJobs(task.Key, task.Url, task.Size, task.Complete);
}

void TTaskThread::RemoveTask(std::uint32_t key) {
    bool opened = false;
    {
        std::lock_guard lock(TasksMutex_);
        TakeTask(key, opened);
    }
    // After the record is gone nothing queues jobs for it or registers its
    // file again, so what is stopped and dropped here stays so.
    {
        std::lock_guard lock(ProbesMutex_);
        for (const auto& probe : Probes_)
            if (probe->Key == key)
                probe->Abort.Abort();
    }
    Jobs_.StopJobs(key);
    Writer_.RemoveFile(key);
    Pool_.Trim();
    if (opened)
        --Running_;
}

std::size_t TTaskThread::TaskCount() const {
    std::lock_guard lock(TasksMutex_);
    return Tasks_.size();
}

bool TTaskThread::TakeTask(std::uint32_t key, bool& opened) {
    auto it = std::find_if(Tasks_.begin(), Tasks_.end(), [key](const TTaskInfo& t) { return t.Key == key; });
    if (it == Tasks_.end())
        return false;
    opened = it->Opened;
    Tasks_.erase(it);
    return true;
}

void TTaskThread::Execute() {
    bool didWork = false;
    while (Pacer_.Pause(Timing_.TaskPassMs, didWork)) {
        didWork = StartNextTask();
        didWork = HandleEvent() || didWork;
    }
}

bool TTaskThread::StartNextTask() {
    if (Running_.load() > MaxTasks_)
        return false;
    {
        std::lock_guard lock(ProbesMutex_);
        if (Probes_.size() >= static_cast<std::size_t>(MaxTasks_) + 1)
            return false;
    }
    TTaskInfo task;
    {
        std::lock_guard lock(TasksMutex_);
        auto it = std::find_if(Tasks_.begin(), Tasks_.end(), [](const TTaskInfo& t) { return t.State == 0; });
        if (it == Tasks_.end())
            return false;
        it->State = 2; // never started again, whatever happens
        task = *it;
    }
    StartTask(task);
    return true;
}

void TTaskThread::StartTask(const TTaskInfo& task) {
    const http::TUrlParts parts = FileRequestParts(task.Url);
    // The guard refuses an address before any connection is made.
    std::optional<std::string> request = http::BuildRangeRequest("HEAD", parts.Host, parts.Path, parts.Port, 0, 0);
    if (!request) {
        FailTask(task.Key);
        return;
    }
    {
        std::lock_guard lock(ProbesMutex_);
        TProbe& probe = *Probes_.emplace_back(std::make_unique<TProbe>());
        probe.Key = task.Key;
        try {
            probe.Thread = std::thread([this, &probe, parts, request = std::move(*request)] {
                probe.Result = ProbeSize(probe, parts, request);
                PostEvent(evProbed, probe.Key, 0); // last: the task thread joins this thread then
            });
            return;
        } catch (const std::system_error&) {
            Probes_.pop_back(); // no thread to be had: the download fails below
        }
    }
    FailTask(task.Key);
}

TProbeResult TTaskThread::ProbeSize(TProbe& probe, const http::TUrlParts& parts, const std::string& request) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(Timing_.ProbeTimeLimitMs);
    platform::TTcpSocket socket;
    const http::TSocketAbort::TScope registered(probe.Abort, socket);
    if (socket.Connect(parts.Host, parts.Port, MsLeft(deadline)) != platform::TNetResult::Ok ||
        socket.SendAll(request.data(), request.size(), MsLeft(deadline)) != platform::TNetResult::Ok)
        return {};
    // A HEAD reply is its head: read until the blank line or the server's end.
    std::string reply;
    char buffer[1025];
    while (reply.size() < kLongestProbeReply && reply.find("\r\n\r\n") == std::string::npos) {
        const int left = MsLeft(deadline);
        if (left == 0)
            return {};
        std::size_t received = 0;
        const auto result = socket.Receive(buffer, sizeof buffer, received, left);
        if (result == platform::TNetResult::Closed)
            break;
        if (result != platform::TNetResult::Ok)
            return {};
        reply.append(buffer, received);
    }
    return ParseProbeReply(reply);
}

void TTaskThread::ProbeDone(std::uint32_t key) {
    std::unique_ptr<TProbe> probe;
    {
        std::lock_guard lock(ProbesMutex_);
        auto it = std::find_if(Probes_.begin(), Probes_.end(), [key](const auto& p) { return p->Key == key; });
        if (it == Probes_.end())
            return;
        probe = std::move(*it);
        Probes_.erase(it);
    }
    probe->Thread.join();
    const TProbeResult result = probe->Result;
    if (result.Size <= 0 || result.Size > kLargestSong) {
        FailTask(key);
        return;
    }
    std::string changed; // the temporary file of an unfinished download whose file changed
    {
        std::lock_guard lock(TasksMutex_);
        auto it = std::find_if(Tasks_.begin(), Tasks_.end(), [key](const TTaskInfo& t) { return t.Key == key; });
        if (it == Tasks_.end())
            return; // removed while it was probed
        TTaskInfo& task = *it;
        task.Size = result.Size;
        task.StatusOK = result.StatusOK;
        TFileOrigin origin{task.Url, result.LastModified, result.ETag, {}, {}};
        if (task.Unfinished) {
            if (SameFileOnServer(task.Unfinished->Record, result)) {
                origin.Temporary = task.Unfinished->Temporary;
                origin.Complete = task.Complete = task.Unfinished->Record.Ranges;
            } else {
                changed = task.Unfinished->Temporary;
            }
            task.Unfinished.reset();
        }
        // A resumed file that lacks nothing has no jobs; the writer saves it at once.
        const auto segments = static_cast<int>(std::max<std::size_t>(TaskJobs(task).size(), 1));
        Writer_.AddFile(key, task.FileName, result.Size, segments, std::move(origin));
    }
    if (changed.empty())
        return;
    // Nothing of the old file is trusted: it goes with its record.
    DiscardUnfinishedSong(changed);
    platform::DebugOutput("Unfinished download changed on the server, started over: " + changed);
    if (Callbacks_.OnTaskRestart)
        Callbacks_.OnTaskRestart(key);
}

void TTaskThread::PostEvent(std::uint8_t kind, std::uint32_t key, std::int32_t value) {
    {
        std::lock_guard lock(EventsMutex_);
        Events_.push_back({kind, key, value});
    }
    Pacer_.Wake();
}

bool TTaskThread::HandleEvent() {
    TEvent event{};
    {
        std::lock_guard lock(EventsMutex_);
        if (Events_.empty())
            return false;
        event = Events_.front();
        Events_.pop_front();
    }
    switch (event.Kind) {
    case evOpened: {
        std::vector<TDownLoadInfo> jobs;
        {
            std::lock_guard lock(TasksMutex_);
            auto it =
                std::find_if(Tasks_.begin(), Tasks_.end(), [&](const TTaskInfo& t) { return t.Key == event.Key; });
            if (it == Tasks_.end() || it->Opened)
                break;
            it->Opened = true;
            ++Running_;
            // Queued under the task lock: a RemoveTask after this sees them in the pool.
            for (const TDownLoadInfo& job : TaskJobs(*it))
                Jobs_.AddJob(job);
        }
        if (Callbacks_.OnTaskStart)
            Callbacks_.OnTaskStart(event.Key, event.Value);
        break;
    }
    case evFileError:
        FailTask(event.Key);
        break;
    case evProbed:
        ProbeDone(event.Key);
        break;
    case evProgress:
    case evRetry: {
        bool known = false;
        {
            std::lock_guard lock(TasksMutex_);
            known = std::any_of(Tasks_.begin(), Tasks_.end(), [&](const TTaskInfo& t) { return t.Key == event.Key; });
        }
        if (!known)
            break;
        if (event.Kind == evProgress && Callbacks_.OnTaskProgress)
            Callbacks_.OnTaskProgress(event.Key, event.Value);
        if (event.Kind == evRetry && Callbacks_.OnTaskRetry)
            Callbacks_.OnTaskRetry(event.Key, event.Value);
        break;
    }
    case evFinished: {
        bool opened = false, known = false;
        {
            std::lock_guard lock(TasksMutex_);
            known = TakeTask(event.Key, opened);
        }
        const std::string saved = Writer_.TakeSavedName(event.Key);
        Pool_.Trim();
        if (opened)
            --Running_;
        // A song removed while it was being saved, after it was moved into
        // place, is on disk: it is reported all the same, never left unlisted.
        if (!known && saved.empty())
            break;
        if (Callbacks_.OnTaskDone)
            Callbacks_.OnTaskDone(event.Key, saved);
        break;
    }
    default:
        break;
    }
    return true;
}

void TTaskThread::FailTask(std::uint32_t key) {
    bool opened = false, known = false;
    {
        std::lock_guard lock(TasksMutex_);
        known = TakeTask(key, opened);
    }
    if (!known)
        return;
    Jobs_.StopJobs(key);
    Writer_.RemoveFile(key);
    Pool_.Trim();
    if (opened)
        --Running_;
    if (Callbacks_.OnTaskError)
        Callbacks_.OnTaskError(key);
}

} // namespace zv2::download
