#include "download/untSaveThread.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::download {

namespace {

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::int32_t Low32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A new temporary song file in `folder`, open for writing and locked (the
// lock tells ScanUnfinishedSongs that its download or save is alive); -1 on failure.
int CreateTemporarySong(const std::string& folder, std::string& path) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        path = folder + "/" + kTemporarySongPrefix + "XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        struct stat info {};
        // A start-up clean-up may have taken the file between its creation and
        // the lock: then it is gone, and another one is made.
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
            return fd;
        ::close(fd);
    }
    return -1;
}

// Takes an unfinished download's temporary file, open for writing and locked,
// when it is a file that holds at least `length` bytes and no download alive
// holds it; -1 otherwise.
int TakeTemporarySong(const std::string& path, std::int64_t length) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink > 0 &&
        info.st_size >= length)
        return fd;
    ::close(fd);
    return -1;
}

// Writes bytes [start, end) of a file at their offset.
bool WriteAt(int fd, const char* bytes, std::int64_t start, std::int64_t end) {
    while (start < end) {
        const ssize_t n = ::pwrite(fd, bytes, static_cast<std::size_t>(end - start), start);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        start += n;
    }
    return true;
}

// Moves `from` to `to` unless `to` exists (errno EEXIST then).
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: a link never replaces either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

std::string FolderOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

} // namespace

TBlockInfo MakeSegmentEnd(std::uint32_t key) {
    TBlockInfo block;
    block.Key = key;
    return block;
}

std::string FreeFileName(const std::string& fileName, const std::function<bool(const std::string&)>& exists) {
    if (!exists(fileName))
        return fileName;
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string part = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : std::string();
    for (unsigned long number = 0;; ++number) {
        std::string candidate = part + std::to_string(number) + extension;
        if (!exists(candidate))
            return candidate;
    }
}

TSaveThread::TFileInfo::~TFileInfo() {
    if (Fd < 0)
        return;
    if (!Keep)
        RemoveTemporarySong(Temporary); // while it is still locked
    ::close(Fd);
}

TSaveThread::TSaveThread(TMemoryPool& pool, int openLimit, TWriterCallbacks callbacks, int passMs, bool writeToFile)
    : Pool_(pool), OpenLimit_(openLimit), Callbacks_(std::move(callbacks)), PassMs_(passMs), WriteToFile_(writeToFile) {
    Thread_ = std::thread([this] { Execute(); });
}

TSaveThread::~TSaveThread() {
    Pacer_.Stop();
    Thread_.join();
    for (const TBlockInfo& block : Blocks_)
        Pool_.FreeBuffer(block.Buffer);
    // What has arrived of the files open stays for the next start.
    for (const auto& file : Files_)
        if (file->Opened)
            KeepUnfinished(*file);
}

bool TSaveThread::AddFile(std::uint32_t key, const std::string& fileName, std::int64_t size, int segments,
                          TFileOrigin origin) {
    if (size <= 0 || size > kLargestSong)
        return false;
    auto file = std::make_shared<TFileInfo>();
    file->FileName = fileName;
    file->Origin = std::move(origin);
    file->Key = key;
    file->Size = size;
    file->Segments = std::max(1, segments);
    {
        std::lock_guard lock(Mutex_);
        Files_.push_back(std::move(file));
    }
    Pacer_.Wake();
    return true;
}

void TSaveThread::AddBlock(const TBlockInfo& block) {
    {
        std::lock_guard lock(Mutex_);
        Blocks_.push_back(block);
        QueuedBytes_[block.Key] += block.Length;
    }
    Pacer_.Wake();
}

std::int64_t TSaveThread::QueuedBytes(std::uint32_t key) const {
    std::lock_guard lock(Mutex_);
    const auto it = QueuedBytes_.find(key);
    return it == QueuedBytes_.end() ? 0 : it->second;
}

void TSaveThread::RemoveFile(std::uint32_t key) {
    std::lock_guard lock(Mutex_);
    if (Saving_.Active && Saving_.Key == key)
        Saving_.Cancelled = true;
    // Its queued blocks go at once, and their buffers back to the pool.
    std::erase_if(Blocks_, [&](const TBlockInfo& block) {
        if (block.Key != key)
            return false;
        Pool_.FreeBuffer(block.Buffer);
        return true;
    });
    QueuedBytes_.erase(key);
    for (auto it = Files_.end(); it != Files_.begin();) {
        --it;
        if ((*it)->Key != key)
            continue;
        // Only an opened file holds one of the OpenLimit places.
        if ((*it)->Opened)
            --OpenCount_;
        it = Files_.erase(it);
    }
}

void TSaveThread::Execute() {
    std::vector<TNotice> notices;
    bool didWork = false;
    while (Pacer_.Pause(PassMs_, didWork)) {
        didWork = Pass(notices);
        // Called with no lock held: a callback may lead into the task thread's
        // queue, and the task thread calls into this writer.
        for (const TNotice& notice : notices)
            if (*notice.Event)
                (*notice.Event)(notice.Key, notice.Value);
        notices.clear();
    }
}

bool TSaveThread::Pass(std::vector<TNotice>& notices) {
    bool didWork = false;
    std::shared_ptr<TFileInfo> complete;
    std::shared_ptr<TFileInfo> toRecord;
    TResumeRecord record;
    {
        std::lock_guard lock(Mutex_);
        if (OpenCount_.load() <= OpenLimit_) {
            auto it = std::find_if(Files_.begin(), Files_.end(), [](const auto& file) { return !file->Opened; });
            if (it != Files_.end()) {
                TFileInfo& file = **it;
                file.Opened = true;
                ++OpenCount_;
                if (OpenFile(file)) {
                    notices.push_back({&Callbacks_.OnFileOpened, file.Key, Low32(file.Size)});
                    if (file.Written > 0) // what an unfinished download had already
                        notices.push_back({&Callbacks_.OnFileProgress, file.Key, Low32(file.Written)});
                } else {
                    notices.push_back({&Callbacks_.OnFileError, file.Key, 0});
                }
                didWork = true;
            }
        }
        if (!Blocks_.empty()) {
            const TBlockInfo block = Blocks_.front();
            Blocks_.pop_front();
            if (auto queued = QueuedBytes_.find(block.Key); queued != QueuedBytes_.end())
                if ((queued->second -= block.Length) <= 0)
                    QueuedBytes_.erase(queued);
            WriteBlock(block, notices);
            Pool_.FreeBuffer(block.Buffer);
            didWork = true;
        }
        // A finished file leaves the list here; it is saved without the lock.
        auto it = std::find_if(Files_.begin(), Files_.end(),
                               [&](const auto& file) { return file->Opened && file->Written == file->Size; });
        if (it != Files_.end()) {
            complete = std::move(*it);
            Files_.erase(it);
            --OpenCount_;
            Saving_ = {complete->Key, true, false};
        } else {
            toRecord = RecordDue(record);
        }
    }
    if (toRecord) {
        // Without the lock: a flush may take a while. A file removed meanwhile
        // takes its record along when the last hold of it goes.
        WriteRecord(*toRecord, record);
        didWork = true;
    }
    if (complete) {
        const std::string saved = SaveFile(*complete);
        bool abandoned = false;
        {
            std::lock_guard lock(Mutex_);
            abandoned = Saving_.Cancelled || Pacer_.Stopped();
            Saving_ = {};
        }
        if (!saved.empty())
            notices.push_back({&Callbacks_.OnFileFinished, complete->Key, Low32(complete->Written)});
        else if (!abandoned)
            notices.push_back({&Callbacks_.OnFileError, complete->Key, 0});
    }
    return didWork;
}

void TSaveThread::WriteBlock(const TBlockInfo& block, std::vector<TNotice>& notices) {
    auto it = std::find_if(Files_.begin(), Files_.end(),
                           [&](const auto& file) { return file->Key == block.Key && file->Opened; });
    if (it == Files_.end())
        return; // removed, or never registered: the block is dropped
    TFileInfo& file = **it;
    if (!block.Buffer) {
        ++file.SegmentsEnded;
        if (file.SegmentsEnded == file.Segments && file.Written < file.Size)
            notices.push_back({&Callbacks_.OnFileError, file.Key, 0});
        return;
    }
    // Only the file's own bytes are kept: a range may reach past its end.
    const std::int64_t start = std::max<std::int64_t>(block.Offset, 0);
    const std::int64_t end = std::min<std::int64_t>(block.Offset + block.Length, file.Size);
    if (start >= end)
        return;
    if (!WriteBytes(file, block.Buffer + (start - block.Offset), start, end)) {
        notices.push_back({&Callbacks_.OnFileError, file.Key, 0});
        return;
    }
    AddRange(file, start, end);
    notices.push_back({&Callbacks_.OnFileProgress, file.Key, Low32(file.Written)});
}

bool TSaveThread::OpenFile(TFileInfo& file) {
    if (!file.Origin.Temporary.empty()) {
        const std::vector<TByteRange>& complete = file.Origin.Complete;
        file.Fd = TakeTemporarySong(file.Origin.Temporary, complete.empty() ? 0 : complete.back().End);
        if (file.Fd < 0)
            return false;
        file.Temporary = file.Origin.Temporary;
        for (const TByteRange& range : complete)
            if (const std::int64_t end = std::min(range.End, file.Size); range.Start >= 0 && range.Start < end)
                AddRange(file, range.Start, end);
        // Its record says so already.
        file.Recorded = file.Written;
        file.RecordedAt = std::chrono::steady_clock::now();
        return true;
    }
    if (!WriteToFile_) {
        file.Pages.resize(static_cast<std::size_t>((file.Size + kPageSize - 1) / kPageSize));
        return true;
    }
    const std::string folder = FolderOf(file.FileName);
    ::mkdir(folder.c_str(), 0755); // one level; the file's creation below tells
    file.Fd = CreateTemporarySong(folder, file.Temporary);
    return file.Fd >= 0;
}

bool TSaveThread::WriteBytes(TFileInfo& file, const char* bytes, std::int64_t start, std::int64_t end) {
    if (file.Fd >= 0)
        return WriteAt(file.Fd, bytes, start, end);
    try {
        // The image grows by the pages the bytes reach, never by what the
        // server announced.
        for (std::int64_t at = start; at < end;) {
            const std::int64_t page = at / kPageSize;
            const std::int64_t upTo = std::min(end, (page + 1) * kPageSize);
            std::unique_ptr<char[]>& pageBytes = file.Pages[static_cast<std::size_t>(page)];
            if (!pageBytes)
                pageBytes.reset(new char[kPageSize]);
            std::memcpy(pageBytes.get() + (at - page * kPageSize), bytes, static_cast<std::size_t>(upTo - at));
            bytes += upTo - at;
            at = upTo;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void TSaveThread::AddRange(TFileInfo& file, std::int64_t start, std::int64_t end) {
    auto& ranges = file.Ranges;
    // Merge with every range that touches [start, end).
    auto it = ranges.upper_bound(start);
    if (it != ranges.begin() && std::prev(it)->second >= start)
        --it;
    while (it != ranges.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        file.Written -= it->second - it->first;
        it = ranges.erase(it);
    }
    ranges.emplace(start, end);
    file.Written += end - start;
}

TResumeRecord TSaveThread::RecordOf(const TFileInfo& file) {
    TResumeRecord record;
    record.Url = file.Origin.Url;
    record.Name = file.FileName.substr(file.FileName.rfind('/') + 1);
    record.Size = file.Size;
    record.LastModified = file.Origin.LastModified;
    record.ETag = file.Origin.ETag;
    // A record names at most so many ranges: those after them are fetched again.
    for (auto it = file.Ranges.begin(); it != file.Ranges.end() && record.Ranges.size() < kMostResumeRanges; ++it)
        record.Ranges.push_back({it->first, it->second});
    return record;
}

std::shared_ptr<TSaveThread::TFileInfo> TSaveThread::RecordDue(TResumeRecord& record) {
    const auto now = std::chrono::steady_clock::now();
    for (const auto& file : Files_) {
        if (file->Fd < 0 ||
            (file->Recorded >= 0 &&
             (file->Written == file->Recorded || now - file->RecordedAt < std::chrono::milliseconds(kRecordEveryMs))))
            continue;
        record = RecordOf(*file);
        file->Recorded = file->Written;
        file->RecordedAt = now;
        return file;
    }
    return nullptr;
}

void TSaveThread::WriteRecord(TFileInfo& file, const TResumeRecord& record) {
    // Every byte the record names was written before it was taken; on disk first.
    if (::fdatasync(file.Fd) == 0)
        WriteResumeRecord(file.Temporary, record);
}

void TSaveThread::KeepUnfinished(TFileInfo& file) {
    if (file.Fd < 0) {
        if (file.Pages.empty())
            return; // it never got a place
        const std::string folder = FolderOf(file.FileName);
        ::mkdir(folder.c_str(), 0755); // one level; the file's creation below tells
        file.Fd = CreateTemporarySong(folder, file.Temporary);
        if (file.Fd < 0)
            return;
        for (const auto& [start, end] : file.Ranges)
            for (std::int64_t at = start; at < end;) {
                const std::int64_t page = at / kPageSize;
                const std::int64_t upTo = std::min(end, (page + 1) * kPageSize);
                if (!WriteAt(file.Fd, file.Pages[static_cast<std::size_t>(page)].get() + (at - page * kPageSize), at,
                             upTo))
                    return; // the file goes with its record
                at = upTo;
            }
    }
    file.Keep = ::fdatasync(file.Fd) == 0 && WriteResumeRecord(file.Temporary, RecordOf(file));
}

std::string TSaveThread::SaveFile(TFileInfo& file) {
    const std::string folder = FolderOf(file.FileName);
    std::string temporary;
    int fd = -1;
    if (file.Fd >= 0) {
        // Written to file already: it is flushed and moved; the file record no
        // longer removes it.
        std::swap(fd, file.Fd);
        temporary = file.Temporary;
    } else {
        ::mkdir(folder.c_str(), 0755); // one level; the file's creation below tells
        fd = CreateTemporarySong(folder, temporary);
    }
    if (fd < 0)
        return {};
    bool written = true;
    for (std::size_t page = 0; page < file.Pages.size() && written; ++page) {
        const std::int64_t from = static_cast<std::int64_t>(page) * kPageSize;
        written = WriteAll(fd, file.Pages[page].get(), static_cast<std::size_t>(std::min(kPageSize, file.Size - from)));
    }
    written = written && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        RemoveTemporarySong(temporary);
        return {};
    }
    std::string saved = CommitSong(temporary, file.FileName);
    if (!saved.empty())
        SyncFolder(folder);
    return saved;
}

std::string TSaveThread::CommitSong(const std::string& temporary, const std::string& fileName) {
    // Under the lock: a RemoveFile either came before (the song is not saved)
    // or waits until the song is in place and its name recorded.
    std::lock_guard lock(Mutex_);
    if (!Saving_.Cancelled && !Pacer_.Stopped()) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = FreeFileName(fileName, PathExists);
            if (MoveWithoutReplacing(temporary, name)) {
                ::unlink(ResumeRecordPath(temporary).c_str());
                SavedNames_[Saving_.Key] = name;
                return name;
            }
            if (errno != EEXIST)
                break; // a name that appeared meanwhile is passed over; anything else fails
        }
    }
    RemoveTemporarySong(temporary);
    return {};
}

std::string TSaveThread::TakeSavedName(std::uint32_t key) {
    std::lock_guard lock(Mutex_);
    auto node = SavedNames_.extract(key);
    return node ? std::move(node.mapped()) : std::string();
}

} // namespace zv2::download
