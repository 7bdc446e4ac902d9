#pragma once
// The download list: what the download tab shows and decides, without a
// window. One row per download (lvDownload's columns: state image, file name,
// progress, size, average speed, elapsed time), the records of the requested
// downloads (TaskInfos), and the engine (created by the first download).
//
// A row: waiting (image 0: "0.0%", "1", "0 k/s", "00:00:00.000") ->
// downloading (image 1 once the file is opened; the status refresh rewrites
// its texts each second; while a failed segment is tried again and no new
// byte has arrived since, the speed column reads RetryText) -> gone when the song is saved (OnSongDone hands its
// path to the playlist), or failed (image 3, "0.00 %") until deleted. A
// failed download leaves nothing that looks like a song: no file is saved.
// A song saved while its row was being deleted still goes to the playlist:
// a song on disk is never left unlisted.
//
// At construction the download folder is looked at (ScanUnfinishedSongs):
// every unfinished download kept there from an earlier run becomes a paused
// row (image 2, its progress from its record, the speed column reading
// kUnfinishedText), in the order of their names, its address counted as
// queued; a record found unsound goes with its file, with a diagnostic line
// ("Resume record discarded: ..."). The refresh leaves paused rows alone.
// ContinueTask (double click, "继续下载") makes a paused row a waiting one
// that goes on from where it stopped; if the file changed on the server it
// starts over and the speed column reads kRestartedText until it ends.
// Deleting a row that came from an unfinished download (DeleteTask,
// DeleteAll, ClearErrors) removes its temporary file and record too.
//
// Records of TaskInfos outlive their rows (failed ones, and rows removed by
// DeleteAll or ClearErrors), so IsUrlQueued keeps refusing their addresses.
//
// Threads: every method, OnRowsChanged and OnSongDone on the UI thread. The
// engine's callbacks run on its task thread: they store sizes and progress
// into TaskInfos under the list's lock, and hand every row change to the UI
// thread through the dispatcher's Post, in the order they happened. Nothing
// here waits on the network: the probes run on threads of their own.

#include "download/untEnginePacing.h"
#include "download/untResumeRecord.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::platform {
class IDispatcher;
}

namespace zv2::download {

class TTaskThread;

enum TDownloadImage : int { diWaiting = 0, diDownloading = 1, diPaused = 2, diFailed = 3 };

// The refusal of a song that is already downloading or downloaded.
inline constexpr char kAlreadyQueuedText[] = "该音乐已经在下载中或者已经下载完成！";
inline constexpr char kAlreadyQueuedCaption[] = "出错";
// The speed column of an unfinished download kept from an earlier run.
inline constexpr char kUnfinishedText[] = "未完成";
// The speed column of one continued whose file changed on the server.
inline constexpr char kRestartedText[] = "文件已变，重新下载";

struct TDownloadRow {
    std::uint32_t Key = 0;       // the download's key in the engine
    std::uint32_t StartTick = 0; // when the row was added
    int Image = diWaiting;
    std::int64_t Size = 1; // the "大小(字节)" column's value
    std::string FileName;
    std::string Progress = "0.0%";
    std::string SizeText = "1";
    std::string Speed = "0 k/s";
    std::string Elapsed = "00:00:00.000";
    int Retry = 0;              // the last retry of a failed segment (1 ..), shown until bytes arrive again
    std::int64_t RetryFrom = 0; // the bytes written when it began
    std::string Note;           // shown in the speed column in place of the speed while set
    std::int64_t FromBytes = 0; // the bytes it had when it started: the speed counts those that came since
};

// "%2.2f %%" of 100 x downloaded / size; 0.00 when above 100 or undefined.
std::string ProgressText(std::int64_t downloaded, std::int64_t size);
// "%2.2f k/s" of downloaded / elapsed (bytes per ms = KB/s); 0.00 above 1000 or undefined.
std::string SpeedText(std::int64_t downloaded, std::uint32_t elapsedMs);
// The speed column of a row whose failed segment is fetched again: "重试 attempt/retries".
std::string RetryText(int attempt, int retries);
// "hh:mm:ss.mmm"; the hours wrap at 256.
std::string ElapsedText(std::uint32_t elapsedMs);
// The download folder: the save path when it has more than blanks, else
// "programFolder" + "Music".
std::string DownloadFolder(const std::string& savePath, const std::string& programFolder);
// Where a download is saved: DownloadFolder() + "/" + fileName.
std::string TargetPath(const std::string& savePath, const std::string& programFolder, const std::string& fileName);

class TDownloadList {
public:
    struct TOptions {
        std::string SavePath;
        std::string ProgramFolder; // ends with "/"
        int MaxTasks = 5;
        int ThreadsPeerTask = 3;
        TEngineTiming Timing;
        std::function<std::uint32_t()> TickCount; // null: the system's
    };

    TDownloadList(platform::IDispatcher& ui, TOptions options);
    // Stops the engine: every probe and segment is aborted and its threads end.
    ~TDownloadList();
    TDownloadList(const TDownloadList&) = delete;
    TDownloadList& operator=(const TDownloadList&) = delete;

    // A download asked for from a search row ("下载歌曲[&D]", double click):
    // false (nothing started) when the row is marked already (`rowImage` not
    // 0) or its address is queued; the caller then shows kAlreadyQueuedText.
    // Otherwise starts "songName.mp3" (made safe) and returns true; the caller
    // marks the search row.
    bool StartFromSearchRow(int rowImage, const std::string& songName, const std::string& url);
    // Adds a row and queues the download; returns its key (unique, not 0).
    std::uint32_t StartDownload(const std::string& fileName, const std::string& url);
    // "继续下载", or a double click on a paused row: the download goes on.
    // False (nothing changes) when the row is not a paused one.
    bool ContinueTask(std::uint32_t key);
    bool IsUrlQueued(const std::string& url) const;
    std::int64_t GetTaskProgress(std::uint32_t key) const;

    // The once-a-second refresh of the downloading rows' texts.
    void RefreshStatus();
    // "删除任务[&D]": the download, its record and its row (and the files of an unfinished one).
    void DeleteTask(std::uint32_t key);
    // "删除所有[&R]": every download and row; the records stay.
    void DeleteAll();
    // "清除错误[&C]": the failed rows; the records stay. False when there was none.
    bool ClearErrors();

    const std::vector<TDownloadRow>& Rows() const { return Rows_; }
    // The engine, once the first download made it (tests look at it).
    TTaskThread* Engine() const { return Engine_.get(); }

    std::function<void()> OnRowsChanged;
    std::function<void(const std::string& path)> OnSongDone;

private:
    struct TTaskInfo {
        std::uint32_t Key = 0;
        std::string FileName;
        std::string Url;
        std::int64_t Size = 0;
        std::int64_t Downloaded = 0;
        std::optional<TUnfinishedSong> Unfinished; // the row came from an unfinished download
    };

    std::uint32_t Now() const;
    // A key for a row added at `tick`: the tick, or the next value no row or record has.
    std::uint32_t NewKey(std::uint32_t tick);
    void EnsureEngine();
    void AddUnfinishedRow(const std::string& folder, TUnfinishedSong song);
    // Removes the files of the unfinished download a row came from, if any.
    void DiscardUnfinished(std::uint32_t key);
    TDownloadRow* FindRow(std::uint32_t key);
    void RemoveTaskInfo(std::uint32_t key);
    void Changed();
    // Task thread.
    void TaskStarted(std::uint32_t key, std::int32_t size);
    void TaskFailed(std::uint32_t key);
    void TaskProgress(std::uint32_t key, std::int32_t bytes);
    void TaskRetry(std::uint32_t key, int attempt);
    void TaskRestarted(std::uint32_t key);
    void TaskDone(std::uint32_t key, const std::string& savedPath);
    void PostToUi(std::function<void()> change);

    platform::IDispatcher& Ui_;
    const TOptions Options_;
    std::vector<TDownloadRow> Rows_;
    mutable std::mutex TaskInfosMutex_; // guards TaskInfos_; never held around a call out
    std::vector<TTaskInfo> TaskInfos_;
    std::shared_ptr<int> Alive_ = std::make_shared<int>(0); // posted changes check it
    std::unique_ptr<TTaskThread> Engine_;
};

} // namespace zv2::download
