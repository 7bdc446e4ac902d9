#include "download/untDownloadList.h"

#include "download/untSaveThread.h"
#include "download/untTaskThread.h"
#include "platform/Dispatcher.h"
#include "platform/FileSystem.h"
#include "platform/TickCount.h"
#include "platform/UntDebug.h"

#include <algorithm>
#include <cstdio>

namespace zv2::download {

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string ProgressText(std::int64_t downloaded, std::int64_t size) {
    double p = 100.0 * static_cast<double>(downloaded) / static_cast<double>(size);
    if (p > 100 || !(p >= 0))
        p = 0;
    return Format("%2.2f %%", p);
}

std::string SpeedText(std::int64_t downloaded, std::uint32_t elapsedMs) {
    double v = static_cast<double>(downloaded) / static_cast<double>(elapsedMs);
    if (v > 1000 || !(v >= 0))
        v = 0;
    return Format("%2.2f k/s", v);
}

std::string RetryText(int attempt, int retries) {
    return "重试 " + std::to_string(attempt) + "/" + std::to_string(retries);
}

std::string ElapsedText(std::uint32_t e) {
    const std::uint32_t h = e / 3600000;
    const std::uint32_t m = (e - h * 3600000) / 60000;
    const std::uint32_t s = (e - h * 3600000 - m * 60000) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d.%.3d", static_cast<int>(static_cast<std::uint8_t>(h)),
                  static_cast<int>(static_cast<std::uint8_t>(m)), static_cast<int>(static_cast<std::uint8_t>(s)),
                  static_cast<int>(e % 1000));
    return text;
}

std::string DownloadFolder(const std::string& savePath, const std::string& programFolder) {
    if (savePath.find_first_not_of(" \t") != std::string::npos)
        return savePath;
    return programFolder + "Music";
}

std::string TargetPath(const std::string& savePath, const std::string& programFolder, const std::string& fileName) {
    return DownloadFolder(savePath, programFolder) + "/" + fileName;
}

TDownloadList::TDownloadList(platform::IDispatcher& ui, TOptions options) : Ui_(ui), Options_(std::move(options)) {
    const std::string folder = DownloadFolder(Options_.SavePath, Options_.ProgramFolder);
    TUnfinishedScan scan = ScanUnfinishedSongs(folder);
    for (const std::string& line : scan.Discarded)
        platform::DebugOutput("Resume record discarded: " + folder + "/" + line);
    for (TUnfinishedSong& song : scan.Songs)
        AddUnfinishedRow(folder, std::move(song));
}

TDownloadList::~TDownloadList() {
    Engine_.reset();
    Alive_.reset();
}

std::uint32_t TDownloadList::Now() const {
    return Options_.TickCount ? Options_.TickCount() : platform::GetTickCount();
}

bool TDownloadList::StartFromSearchRow(int rowImage, const std::string& songName, const std::string& url) {
    if (rowImage != 0 || IsUrlQueued(url))
        return false;
    StartDownload(platform::SafeFileName(songName + ".mp3"), url);
    return true;
}

void TDownloadList::EnsureEngine() {
    if (!Engine_) {
        TTaskCallbacks callbacks;
        callbacks.OnTaskStart = [this](std::uint32_t key, std::int32_t size) { TaskStarted(key, size); };
        callbacks.OnTaskError = [this](std::uint32_t key) { TaskFailed(key); };
        callbacks.OnTaskProgress = [this](std::uint32_t key, std::int32_t bytes) { TaskProgress(key, bytes); };
        callbacks.OnTaskDone = [this](std::uint32_t key, const std::string& saved) { TaskDone(key, saved); };
        callbacks.OnTaskRetry = [this](std::uint32_t key, int attempt) { TaskRetry(key, attempt); };
        callbacks.OnTaskRestart = [this](std::uint32_t key) { TaskRestarted(key); };
        Engine_ = std::make_unique<TTaskThread>(std::move(callbacks), Options_.MaxTasks, Options_.ThreadsPeerTask,
                                                Options_.Timing);
    }
}

std::uint32_t TDownloadList::NewKey(std::uint32_t tick) {
    // The tick count names the download; two rows in one tick get the next free value.
    std::uint32_t key = tick;
    std::lock_guard lock(TaskInfosMutex_);
    const auto used = [&](std::uint32_t k) {
        return k == 0 || FindRow(k) ||
               std::any_of(TaskInfos_.begin(), TaskInfos_.end(), [k](const TTaskInfo& t) { return t.Key == k; });
    };
    while (used(key))
        ++key;
    return key;
}

void TDownloadList::AddUnfinishedRow(const std::string& folder, TUnfinishedSong song) {
    const TResumeRecord& record = song.Record;
    TDownloadRow row;
    row.StartTick = Now();
    row.Key = NewKey(row.StartTick);
    row.Image = diPaused;
    row.FileName = record.Name;
    row.Size = record.Size;
    row.SizeText = std::to_string(record.Size);
    row.Progress = ProgressText(record.Complete(), record.Size);
    row.Speed = kUnfinishedText;
    Rows_.push_back(row);
    std::lock_guard lock(TaskInfosMutex_);
    TaskInfos_.push_back(
        {row.Key, folder + "/" + record.Name, record.Url, record.Size, record.Complete(), std::move(song)});
}

std::uint32_t TDownloadList::StartDownload(const std::string& fileName, const std::string& url) {
    EnsureEngine();
    TDownloadRow row;
    row.StartTick = Now();
    const std::uint32_t key = NewKey(row.StartTick);
    row.Key = key;
    row.FileName = fileName;
    Rows_.push_back(row);
    const std::string path = TargetPath(Options_.SavePath, Options_.ProgramFolder, fileName);
    {
        std::lock_guard lock(TaskInfosMutex_);
        TaskInfos_.push_back({key, path, url, 0, 0, std::nullopt});
    }
    Engine_->AddTask(key, path, url);
    Changed();
    return key;
}

bool TDownloadList::ContinueTask(std::uint32_t key) {
    TDownloadRow* row = FindRow(key);
    if (!row || row->Image != diPaused)
        return false;
    std::optional<TUnfinishedSong> song;
    std::string path;
    {
        std::lock_guard lock(TaskInfosMutex_);
        for (const TTaskInfo& t : TaskInfos_)
            if (t.Key == key) {
                song = t.Unfinished;
                path = t.FileName;
                break;
            }
    }
    if (!song)
        return false;
    EnsureEngine();
    row->Image = diWaiting;
    row->StartTick = Now();
    row->Speed = "0 k/s";
    row->Elapsed = "00:00:00.000";
    row->FromBytes = song->Record.Complete();
    Engine_->ContinueTask(key, path, *song);
    Changed();
    return true;
}

bool TDownloadList::IsUrlQueued(const std::string& url) const {
    std::lock_guard lock(TaskInfosMutex_);
    return std::any_of(TaskInfos_.begin(), TaskInfos_.end(), [&](const TTaskInfo& t) { return t.Url == url; });
}

std::int64_t TDownloadList::GetTaskProgress(std::uint32_t key) const {
    std::lock_guard lock(TaskInfosMutex_);
    for (const TTaskInfo& t : TaskInfos_)
        if (t.Key == key)
            return t.Downloaded;
    return 0;
}

void TDownloadList::RefreshStatus() {
    bool changed = false;
    for (TDownloadRow& row : Rows_) {
        if (row.Image != diDownloading)
            continue;
        const std::int64_t downloaded = GetTaskProgress(row.Key);
        const std::uint32_t elapsed = Now() - row.StartTick;
        row.Progress = ProgressText(downloaded, row.Size);
        row.Elapsed = ElapsedText(elapsed);
        if (row.Retry > 0 && downloaded > row.RetryFrom)
            row.Retry = 0;
        row.Speed = row.Retry > 0       ? RetryText(row.Retry, Options_.Timing.SegmentRetries)
                    : !row.Note.empty() ? row.Note
                                        : SpeedText(downloaded - row.FromBytes, elapsed);
        changed = true;
    }
    if (changed)
        Changed();
}

void TDownloadList::DeleteTask(std::uint32_t key) {
    if (!FindRow(key))
        return;
    if (Engine_)
        Engine_->RemoveTask(key);
    DiscardUnfinished(key);
    RemoveTaskInfo(key);
    std::erase_if(Rows_, [key](const TDownloadRow& row) { return row.Key == key; });
    Changed();
}

void TDownloadList::DeleteAll() {
    if (Rows_.empty())
        return;
    for (auto it = Rows_.rbegin(); it != Rows_.rend(); ++it) {
        if (Engine_)
            Engine_->RemoveTask(it->Key);
        DiscardUnfinished(it->Key);
    }
    Rows_.clear();
    Changed();
}

bool TDownloadList::ClearErrors() {
    bool any = false;
    for (auto it = Rows_.end(); it != Rows_.begin();) {
        --it;
        if (it->Image != diFailed)
            continue;
        if (Engine_)
            Engine_->RemoveTask(it->Key);
        DiscardUnfinished(it->Key);
        it = Rows_.erase(it);
        any = true;
    }
    if (any)
        Changed();
    return any;
}

TDownloadRow* TDownloadList::FindRow(std::uint32_t key) {
    auto it = std::find_if(Rows_.begin(), Rows_.end(), [key](const TDownloadRow& row) { return row.Key == key; });
    return it == Rows_.end() ? nullptr : &*it;
}

void TDownloadList::RemoveTaskInfo(std::uint32_t key) {
    std::lock_guard lock(TaskInfosMutex_);
    auto it = std::find_if(TaskInfos_.begin(), TaskInfos_.end(), [key](const TTaskInfo& t) { return t.Key == key; });
    if (it != TaskInfos_.end())
        TaskInfos_.erase(it);
}

void TDownloadList::DiscardUnfinished(std::uint32_t key) {
    std::string temporary;
    {
        std::lock_guard lock(TaskInfosMutex_);
        for (const TTaskInfo& t : TaskInfos_)
            if (t.Key == key && t.Unfinished)
                temporary = t.Unfinished->Temporary;
    }
    // A download alive holds its file, and takes it along when it goes.
    if (!temporary.empty())
        DiscardUnfinishedSong(temporary);
}

void TDownloadList::Changed() {
    if (OnRowsChanged)
        OnRowsChanged();
}

void TDownloadList::PostToUi(std::function<void()> change) {
    Ui_.Post([alive = std::weak_ptr<int>(Alive_), change = std::move(change)] {
        if (!alive.expired())
            change();
    });
}

void TDownloadList::TaskStarted(std::uint32_t key, std::int32_t size) {
    {
        std::lock_guard lock(TaskInfosMutex_);
        for (TTaskInfo& t : TaskInfos_)
            if (t.Key == key) {
                t.Size = size;
                break;
            }
    }
    PostToUi([this, key, size] {
        if (TDownloadRow* row = FindRow(key)) {
            row->Image = diDownloading;
            row->Size = size;
            row->SizeText = std::to_string(size);
            Changed();
        }
    });
}

void TDownloadList::TaskFailed(std::uint32_t key) {
    PostToUi([this, key] {
        if (TDownloadRow* row = FindRow(key)) {
            row->Image = diFailed;
            row->Progress = "0.00 %";
            Changed();
        }
    });
}

void TDownloadList::TaskProgress(std::uint32_t key, std::int32_t bytes) {
    std::lock_guard lock(TaskInfosMutex_);
    for (TTaskInfo& t : TaskInfos_)
        if (t.Key == key) {
            t.Downloaded = bytes;
            break;
        }
}

void TDownloadList::TaskRetry(std::uint32_t key, int attempt) {
    PostToUi([this, key, attempt] {
        if (TDownloadRow* row = FindRow(key); row && row->Image == diDownloading) {
            row->Retry = attempt;
            row->RetryFrom = GetTaskProgress(key);
            row->Speed = RetryText(attempt, Options_.Timing.SegmentRetries);
            Changed();
        }
    });
}

void TDownloadList::TaskRestarted(std::uint32_t key) {
    {
        std::lock_guard lock(TaskInfosMutex_);
        for (TTaskInfo& t : TaskInfos_)
            if (t.Key == key)
                t.Downloaded = 0;
    }
    PostToUi([this, key] {
        if (TDownloadRow* row = FindRow(key)) {
            row->Note = kRestartedText;
            row->Speed = kRestartedText;
            row->FromBytes = 0;
            Changed();
        }
    });
}

void TDownloadList::TaskDone(std::uint32_t key, const std::string& savedPath) {
    PostToUi([this, key, savedPath] {
        // A row deleted meanwhile went after its song was saved: the song is
        // listed all the same.
        const bool listed = std::erase_if(Rows_, [key](const TDownloadRow& row) { return row.Key == key; }) > 0;
        std::string path = savedPath;
        {
            std::lock_guard lock(TaskInfosMutex_);
            auto it =
                std::find_if(TaskInfos_.begin(), TaskInfos_.end(), [key](const TTaskInfo& t) { return t.Key == key; });
            if (it != TaskInfos_.end()) {
                if (path.empty())
                    path = it->FileName;
                TaskInfos_.erase(it);
            }
        }
        if (listed)
            Changed();
        if (!path.empty() && OnSongDone)
            OnSongDone(path);
    });
}

} // namespace zv2::download
