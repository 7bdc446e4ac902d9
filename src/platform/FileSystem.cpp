#include "platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::platform {

namespace {

// Retries short writes and interruptions; 0 or errno.
int WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

constexpr char kTemporaryPrefix[] = ".zv2-";
constexpr char kTemporarySuffix[] = ".tmp";

// Numbers the temporary files of this process, so that two threads writing
// into one folder never meet.
std::atomic<unsigned> TemporarySerial{0};

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A new temporary file in `folder`, opened for writing, and its path in `temp`;
// -1 (errno set) when none can be made. The name never follows a link or
// reuses a file that is there.
int CreateTemporaryFile(const std::string& folder, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + (folder.ends_with('/') ? "" : "/") + kTemporaryPrefix + std::to_string(::getpid()) + "-" +
               std::to_string(TemporarySerial.fetch_add(1)) + kTemporarySuffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The process number in a temporary file's name, or 0 when the name is not one.
pid_t OwnerOfTemporaryFile(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return 0;
    name.remove_prefix(sizeof kTemporaryPrefix - 1);
    name.remove_suffix(sizeof kTemporarySuffix - 1);
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos)
        return 0;
    const std::string_view owner = name.substr(0, dash), serial = name.substr(dash + 1);
    const auto digits = [](std::string_view s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    pid_t pid = 0;
    if (!digits(owner) || !digits(serial) ||
        std::from_chars(owner.data(), owner.data() + owner.size(), pid).ec != std::errc())
        return 0;
    return pid;
}

// Fills a temporary file beside `path` through `fill` (0 or errno), flushes
// it and renames it over `path`; the folder is flushed too, so the new name
// survives a pulled disk. On failure the temporary file is gone, `path` as it
// was, and `step` names what failed.
int ReplaceFile(const std::string& path, const std::function<int(int fd)>& fill, const char*& step) {
    const std::string folder = FolderOf(path);
    std::string temp;
    const int fd = CreateTemporaryFile(folder, temp);
    if (fd < 0) {
        step = "cannot create";
        return errno;
    }
    int err = fill(fd);
    step = "cannot write";
    if (err == 0 && ::fsync(fd) != 0) {
        err = errno;
        step = "cannot flush";
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
        step = "cannot close";
    }
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        step = "cannot rename";
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir); // best effort: the file itself is complete either way
        ::close(dir);
    }
    return 0;
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SafeFileName(std::string_view name) {
    constexpr std::size_t kLongestFileName = 240;
    std::string safe;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') ? '_' : c;
    }
    if (safe.size() > kLongestFileName) {
        std::size_t cut = kLongestFileName;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 character
        safe.resize(cut);
    }
    if (safe.empty() || safe == "." || safe == "..")
        safe = "_";
    return safe;
}

int ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    // One byte more than the size, so that the read which finds the end needs no room of its own.
    bytes.resize(::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096);
    std::size_t done = 0;
    int err = 0;
    for (;;) {
        if (done == bytes.size())
            bytes.resize(2 * bytes.size()); // the file grew while it was read
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        err = n < 0 ? errno : 0;
        break;
    }
    ::close(fd);
    bytes.resize(err == 0 ? done : 0);
    return err;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    return WriteFileAtomically(
        path, [data](const TWritePiece& write) { write(data); }, error);
}

bool WriteFileAtomically(const std::string& path, const std::function<void(const TWritePiece& write)>& produce,
                         std::string* error) {
    const char* step = "";
    const int err = ReplaceFile(
        path,
        [&produce](int fd) {
            constexpr std::size_t kBlock = 64 * 1024;
            std::string block;
            int failure = 0;
            const auto flush = [&] {
                if (!block.empty())
                    failure = WriteAll(fd, block.data(), block.size());
                block.clear();
            };
            produce([&](std::string_view piece) {
                if (failure == 0 && block.size() + piece.size() > kBlock)
                    flush();
                if (failure != 0)
                    return false;
                if (piece.size() >= kBlock)
                    failure = WriteAll(fd, piece.data(), piece.size());
                else
                    block += piece;
                return failure == 0;
            });
            if (failure == 0)
                flush();
            return failure;
        },
        step);
    if (err != 0 && error)
        *error = std::string(step) + " " + path + ": " + std::strerror(err);
    return err == 0;
}

std::size_t RemoveStaleTemporaryFiles(const std::string& folder,
                                      const std::function<bool(std::string_view name)>& alsoRemove) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = OwnerOfTemporaryFile(entry->d_name);
        // A process that still runs may be writing it (our own number, too).
        const bool stale = owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH;
        if (!stale && !(alsoRemove && alsoRemove(entry->d_name)))
            continue;
        removed += ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0 ? 1 : 0;
    }
    ::closedir(dir);
    return removed;
}

int CopyFileAtomically(const std::string& source, const std::string& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const char* step = "";
    const int err = ReplaceFile(
        target,
        [in](int fd) {
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::read(in, buffer, sizeof buffer);
                if (n == 0)
                    return 0;
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    return errno;
                }
                if (const int e = WriteAll(fd, buffer, static_cast<std::size_t>(n)); e != 0)
                    return e;
            }
        },
        step);
    ::close(in);
    return err;
}

} // namespace zv2::platform
