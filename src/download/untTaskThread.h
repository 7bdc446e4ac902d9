#pragma once
// TTaskThread, the head of the download engine: the queue of downloads
// (tasks), the size probe of each, and the hand-over to the block writer and
// the segment workers. It owns the buffer pool (block size
// TEngineTiming::BlockSize, 2048 at the designed pace, count
// MaxTasks x ThreadsPeerTask), the writer (open-file limit ThreadsPeerTask)
// and the thread pool (no workers at first).
//
// A task: AddTask queues it (waiting); ContinueTask queues an unfinished
// download (untResumeRecord.h) the same way. One pass of the task thread starts the
// first waiting task while Running <= MaxTasks and fewer than MaxTasks + 1
// probes are in flight: a HEAD request to the host:port of its address
// (lower-cased, spaces escaped; an address the request guard refuses fails
// at once) gives the size and whether "200 OK" came (ParseProbeReply); sizes
// of 0 or over kLargestSong (512 MiB) fail it. Each probe runs on a thread
// of its own with one time limit from the connect to the blank line
// (TEngineTiming::ProbeTimeLimitMs, 30 s), and hands its result back through
// the event queue: a slow server delays its own download only. The file is
// then registered with the writer, and when the writer opens it the task is
// cut into segment jobs (SegmentJobs): three for a "200 OK" file of 3072
// bytes or more, one otherwise. The pass then handles at most one event.
//
// An unfinished download goes on only when the probe shows the same file as
// its record (SameFileOnServer): the writer then takes its temporary file and
// the jobs ask for the missing bytes only (ResumeJobs). Otherwise its
// temporary file and record go, OnTaskRestart (key) tells of it, and the
// download starts over as a new one. A probe that fails leaves them as they
// are, for a later try.
//
// Events (posted by the writer's and the workers' threads, handled in order
// on the task thread, one per pass):
//   0 file opened (Size)       -> OnTaskStart (key, size), jobs queued, Running + 1
//   2 file error (0)           -> the download fails (below)
//   3 progress (bytes written) -> OnTaskProgress (key, bytes)
//   4 file finished (Size)     -> the task leaves the list, Running - 1, OnTaskDone (key, the
//                                 name saved under: a numbered one when the name was taken),
//                                 also for a task removed while its song was moved into place
//   5 probe done (inner)       -> the file is registered with the writer, or the download fails
//   6 segment retry (attempt)  -> OnTaskRetry (key, attempt): a worker fetches a failed segment again
//   other kinds are dropped.
// A failed segment reaches the task thread as a file error: the writer fails
// a file whose segments have all ended with bytes missing, so a download is
// never left "downloading" for ever, and one whose lost bytes another
// (overlapping) segment brought still completes.
// A failing download (probe, write, save or missing bytes) leaves the task list,
// its running segments are stopped, its queued jobs and its memory image are
// dropped, Running falls when it had risen, and OnTaskError (key) follows,
// once. Events of a key no longer in the list are dropped.
//
// Running counts the tasks whose file the writer has opened and which have
// not yet finished, failed or been removed.
//
// Threads: AddTask, RemoveTask and the destructor from the main thread; none
// of them waits on the network (RemoveTask cuts the task's probe short
// without waiting for it). The four callbacks run on the task thread with no
// lock of the engine held; they may call AddTask and RemoveTask.
// Destruction aborts every probe and segment and joins all threads:
// every network wait ends at once, so it does not hang.

#include "download/UntThreadPool.h"
#include "download/untEnginePacing.h"
#include "download/untMemoryPool.h"
#include "download/untSaveThread.h"
#include "http/untSocketAbort.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zv2::download {

struct TTaskCallbacks {
    std::function<void(std::uint32_t key, std::int32_t size)> OnTaskStart;
    std::function<void(std::uint32_t key)> OnTaskError;
    std::function<void(std::uint32_t key, std::int32_t bytes)> OnTaskProgress;
    std::function<void(std::uint32_t key, const std::string& savedPath)> OnTaskDone; // the file's name on disk
    std::function<void(std::uint32_t key, int attempt)> OnTaskRetry; // a failed segment is fetched again (1 ..)
    std::function<void(std::uint32_t key)> OnTaskRestart; // an unfinished download's file changed: from scratch
};

// What a HEAD reply says, read with the one reply reader (http::ReadReplyHead)
// and the probe's own rule on top: the size is the value of the first
// Content-Length field when it is spelled "Content-Length" as written (each
// digit of the value taken, everything else skipped; 0 without such a field;
// above kLargestSong it reads kLargestSong + 1, which is refused), and
// StatusOK says whether the status line reads "200 OK" as written.
// LastModified and ETag are those fields' values (any case of the names),
// kept for the resume record when a line of it can hold them (at most 256
// bytes, no control byte), else empty.
struct TProbeResult {
    std::int64_t Size = 0;
    bool StatusOK = false;
    std::string LastModified;
    std::string ETag;
};
TProbeResult ParseProbeReply(std::string_view reply);

// Whether the server's file is the one an unfinished download's record
// describes: a "200 OK" reply, the same size, and the same Last-Modified and
// ETag (a text the record has must come again, one it lacks must not), of
// which the record has at least one: without either nothing tells a changed
// file of the same size, so such a download is never continued.
bool SameFileOnServer(const TResumeRecord& record, const TProbeResult& probe);

// The segment jobs of a file of `size` bytes: with `statusOK` and size L >=
// 3072, q = L / 3 and the jobs (0, q), (q + 1, q + 2), (L - q, q) as (Start,
// Length), whose inclusive ranges overlap and together cover 0 .. L - 1;
// otherwise the one job (0, L).
std::vector<TDownLoadInfo> SegmentJobs(std::uint32_t key, const std::string& url, std::int64_t size, bool statusOK);

// The jobs of a continued download: the bytes of 0 .. size-1 that `complete`
// lacks, each missing range asked for exactly (Start, bytes - 1), the largest
// cut in halves while there are fewer than three jobs and it holds at least
// 2048 bytes. None when nothing is missing.
std::vector<TDownLoadInfo> ResumeJobs(std::uint32_t key, const std::string& url, std::int64_t size,
                                      const std::vector<TByteRange>& complete);

class TTaskThread {
public:
    TTaskThread(TTaskCallbacks callbacks, int maxTasks, int threadsPeerTask, const TEngineTiming& timing = {});
    ~TTaskThread();
    TTaskThread(const TTaskThread&) = delete;
    TTaskThread& operator=(const TTaskThread&) = delete;

    // Queues a download; `fileName` is the full target path. Keys are unique and not 0.
    void AddTask(std::uint32_t key, const std::string& fileName, const std::string& url);
    // Queues an unfinished download to go on, as `fileName` (its folder's
    // path and the record's name) from the record's address.
    void ContinueTask(std::uint32_t key, const std::string& fileName, const TUnfinishedSong& song);
    // Forgets a download: it leaves the list (a waiting one is never started),
    // its segments stop, its image is dropped, Running falls when it had risen.
    void RemoveTask(std::uint32_t key);

    int Running() const { return Running_.load(); }
    std::size_t TaskCount() const;

private:
    struct TTaskInfo {
        std::uint8_t State = 0; // 0 waiting, 2 started
        std::uint32_t Key = 0;
        std::string FileName;
        std::string Url;
        std::int64_t Size = 0;
        bool StatusOK = false;
        bool Opened = false;                       // counted in Running
        std::optional<TUnfinishedSong> Unfinished; // to go on with, until the probe has judged it
        std::vector<TByteRange> Complete;          // on disk already: only the rest is fetched
    };
    struct TEvent {
        std::uint8_t Kind;
        std::uint32_t Key;
        std::int32_t Value;
    };

    // One size probe in flight, on a short-lived thread of its own, which
    // posts evProbed when it is done; the task thread then joins it.
    struct TProbe {
        std::uint32_t Key = 0;
        http::TSocketAbort Abort; // RemoveTask and the destructor cut it short
        TProbeResult Result;      // written by the probe's thread before it posts
        std::thread Thread;
    };

    void Queue(TTaskInfo task);
    // The segment jobs of a task whose size is known.
    static std::vector<TDownLoadInfo> TaskJobs(const TTaskInfo& task);
    void Execute();
    bool StartNextTask();
    void StartTask(const TTaskInfo& task);
    // The probe's thread: connect, HEAD, read up to the blank line, all within
    // Timing_.ProbeTimeLimitMs.
    TProbeResult ProbeSize(TProbe& probe, const http::TUrlParts& parts, const std::string& request);
    void ProbeDone(std::uint32_t key);
    bool HandleEvent();
    void FailTask(std::uint32_t key);
    // Takes the task out of the list (with the task lock held); true when it was there.
    bool TakeTask(std::uint32_t key, bool& opened);
    void PostEvent(std::uint8_t kind, std::uint32_t key, std::int32_t value);

    const TTaskCallbacks Callbacks_;
    const int MaxTasks_;
    const TEngineTiming Timing_;
    std::atomic<int> Running_{0};

    mutable std::mutex TasksMutex_;
    std::vector<TTaskInfo> Tasks_;
    std::mutex EventsMutex_;
    std::deque<TEvent> Events_;
    std::mutex ProbesMutex_; // guards Probes_
    std::vector<std::unique_ptr<TProbe>> Probes_;

    // Before the engine objects: their threads post events until they end.
    TPacer Pacer_;
    // Destroyed in reverse: workers first, then the writer, then the buffers.
    TMemoryPool Pool_;
    TSaveThread Writer_;
    TThreadPool Jobs_;

    std::thread Thread_;
};

} // namespace zv2::download
