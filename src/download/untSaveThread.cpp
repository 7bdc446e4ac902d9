#include "download/untSaveThread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::download {

namespace {

constexpr std::int64_t kLargestSize = 0x7FFFFFFF;

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::int32_t Low32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
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

TSaveThread::TSaveThread(TMemoryPool& pool, int openLimit, TWriterCallbacks callbacks, int passMs)
    : Pool_(pool), OpenLimit_(openLimit), Callbacks_(std::move(callbacks)), PassMs_(passMs) {
    Thread_ = std::thread([this] { Execute(); });
}

TSaveThread::~TSaveThread() {
    Pacer_.Stop();
    Thread_.join();
    for (const TBlockInfo& block : Blocks_)
        Pool_.FreeBuffer(block.Buffer);
}

bool TSaveThread::AddFile(std::uint32_t key, const std::string& fileName, std::int64_t size, int segments) {
    if (size <= 0 || size > kLargestSize)
        return false;
    auto file = std::make_unique<TFileInfo>();
    file->FileName = fileName;
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
    }
    Pacer_.Wake();
}

void TSaveThread::RemoveFile(std::uint32_t key) {
    std::lock_guard lock(Mutex_);
    for (auto it = Files_.end(); it != Files_.begin();) {
        --it;
        if ((*it)->Key != key)
            continue;
        // Only an opened file holds one of the OpenLimit places.
        if ((*it)->Stream)
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
    std::unique_ptr<TFileInfo> complete;
    {
        std::lock_guard lock(Mutex_);
        if (OpenCount_.load() <= OpenLimit_) {
            auto it = std::find_if(Files_.begin(), Files_.end(), [](const auto& file) { return !file->Stream; });
            if (it != Files_.end()) {
                TFileInfo& file = **it;
                file.Stream = std::make_unique<std::vector<char>>();
                ++OpenCount_;
                notices.push_back({&Callbacks_.OnFileOpened, file.Key, Low32(file.Size)});
                didWork = true;
            }
        }
        if (!Blocks_.empty()) {
            const TBlockInfo block = Blocks_.front();
            Blocks_.pop_front();
            WriteBlock(block, notices);
            Pool_.FreeBuffer(block.Buffer);
            didWork = true;
            // A finished file leaves the list here; it is saved without the lock.
            auto it = std::find_if(Files_.begin(), Files_.end(), [&](const auto& file) {
                return file->Key == block.Key && file->Stream && file->Written == file->Size;
            });
            if (it != Files_.end()) {
                complete = std::move(*it);
                Files_.erase(it);
                --OpenCount_;
            }
        }
    }
    if (complete) {
        if (std::string saved = SaveFile(complete->FileName, *complete->Stream); !saved.empty()) {
            {
                std::lock_guard lock(Mutex_);
                SavedNames_[complete->Key] = std::move(saved);
            }
            notices.push_back({&Callbacks_.OnFileFinished, complete->Key, Low32(complete->Written)});
        } else
            notices.push_back({&Callbacks_.OnFileError, complete->Key, 0});
    }
    return didWork;
}

void TSaveThread::WriteBlock(const TBlockInfo& block, std::vector<TNotice>& notices) {
    auto it = std::find_if(Files_.begin(), Files_.end(),
                           [&](const auto& file) { return file->Key == block.Key && file->Stream; });
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
    try {
        std::vector<char>& stream = *file.Stream;
        if (stream.size() < static_cast<std::size_t>(end)) {
            stream.reserve(static_cast<std::size_t>(file.Size));
            stream.resize(static_cast<std::size_t>(end));
        }
        std::memcpy(stream.data() + start, block.Buffer + (start - block.Offset),
                    static_cast<std::size_t>(end - start));
    } catch (const std::bad_alloc&) {
        notices.push_back({&Callbacks_.OnFileError, file.Key, 0});
        return;
    }
    AddRange(file, start, end);
    notices.push_back({&Callbacks_.OnFileProgress, file.Key, Low32(file.Written)});
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

std::string TSaveThread::SaveFile(const std::string& fileName, const std::vector<char>& data) {
    const std::size_t slash = fileName.rfind('/');
    if (slash != std::string::npos && slash > 0)
        ::mkdir(fileName.substr(0, slash).c_str(), 0755); // one level; the open below tells
    // O_EXCL: a file that appears meanwhile is not overwritten; the next number is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = FreeFileName(fileName, PathExists);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        const bool ok = done == data.size() && ::close(fd) == 0;
        if (!ok) {
            if (done != data.size())
                ::close(fd);
            ::unlink(name.c_str()); // a half-written song is never left behind
            return {};
        }
        return name;
    }
    return {};
}

std::string TSaveThread::TakeSavedName(std::uint32_t key) {
    std::lock_guard lock(Mutex_);
    auto node = SavedNames_.extract(key);
    return node ? std::move(node.mapped()) : std::string();
}

} // namespace zv2::download
