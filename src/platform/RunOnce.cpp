#include "platform/RunOnce.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace zv2::platform {

namespace {

constexpr int kWakeTimeoutMs = 5000;
constexpr int kRequestTimeoutMs = 2000; // for a later start to send its whole request
constexpr std::string_view kOpenHeader = "OPEN ";
constexpr char kWakeAnswer[] = "OK\n";
constexpr char kRefusedAnswer[] = "ERR\n";

std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
        return dir;
    return "/tmp";
}

std::string InstanceName(const std::string& programFolder) {
    char resolved[PATH_MAX];
    const std::string folder = ::realpath(programFolder.c_str(), resolved) ? resolved : programFolder;
    const std::uint64_t hash = Fnv1a64(folder);
    char text[64];
    std::snprintf(text, sizeof text, "zv2player-%u-%016llx", static_cast<unsigned>(::getuid()),
                  static_cast<unsigned long long>(hash));
    return text;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool IsSet(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

} // namespace

std::string EncodeOpenRequest(const std::vector<std::string>& files, std::size_t* sent) {
    std::string payload;
    std::size_t count = 0;
    for (const std::string& path : files) {
        if (path.empty() || path.find('\0') != std::string::npos)
            continue;
        if (payload.size() + path.size() + 1 > kMaxOpenBytes)
            break;
        payload += path;
        payload += '\0';
        ++count;
    }
    if (sent)
        *sent = count;
    return std::string(kOpenHeader) + std::to_string(payload.size()) + "\n" + payload;
}

TOpenParse ParseOpenRequest(const std::string& bytes, std::vector<std::string>& files) {
    const std::string_view text(bytes);
    const std::size_t prefix = std::min(text.size(), kOpenHeader.size());
    if (text.substr(0, prefix) != kOpenHeader.substr(0, prefix))
        return TOpenParse::Malformed;
    const std::size_t maxDigits = std::to_string(kMaxOpenBytes).size();
    const std::size_t newline = text.find('\n');
    const std::string_view digits =
        text.substr(prefix, newline == std::string_view::npos ? std::string_view::npos : newline - prefix);
    if (digits.size() > maxDigits || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return TOpenParse::Malformed;
    if (newline == std::string_view::npos)
        return TOpenParse::NeedMore;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0'))
        return TOpenParse::Malformed;
    const std::size_t length = std::stoul(std::string(digits));
    if (length > kMaxOpenBytes)
        return TOpenParse::Malformed;
    const std::string_view payload = text.substr(newline + 1);
    if (payload.size() < length)
        return TOpenParse::NeedMore;
    if (payload.size() > length || (length > 0 && payload.back() != '\0'))
        return TOpenParse::Malformed;
    std::vector<std::string> paths;
    for (std::size_t start = 0; start < payload.size();) {
        const std::size_t end = payload.find('\0', start);
        if (end == start)
            return TOpenParse::Malformed; // an empty path
        paths.emplace_back(payload.substr(start, end - start));
        start = end + 1;
    }
    files = std::move(paths);
    return TOpenParse::Done;
}

TRunOnce::TRunOnce(const std::string& programFolder, TLockCall lockCall) : LockCall_(lockCall) {
    const std::string base = RuntimeFolder() + "/" + InstanceName(programFolder);
    LockPath_ = base + ".lock";
    SocketPath_ = base + ".sock";
}

TRunOnce::~TRunOnce() {
    StopListening();
    if (LockFd_ >= 0)
        ::close(LockFd_); // releases the lock
}

void TRunOnce::StopListening() {
    if (Listener_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(StopFd_, &one, sizeof one);
        Listener_.join();
    }
    if (ListenFd_ >= 0) {
        ::close(ListenFd_);
        ListenFd_ = -1;
        ::unlink(SocketPath_.c_str());
    }
    if (StopFd_ >= 0) {
        ::close(StopFd_);
        StopFd_ = -1;
    }
    OnWake_ = nullptr;
}

TRunOnce::TLock TRunOnce::TryLock() {
    if (LockFd_ < 0)
        LockFd_ = ::open(LockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (LockFd_ < 0)
        return TLock::Unavailable;
    for (;;) {
        if (LockCall_(LockFd_, LOCK_EX | LOCK_NB) == 0) {
            HoldsLock_ = true;
            return TLock::Taken;
        }
        if (errno == EWOULDBLOCK)
            return TLock::Held;
        if (errno != EINTR)
            return TLock::Unavailable; // ENOLCK and the like: this file system has no locks
    }
}

bool TRunOnce::CheckFirstInstance(const std::vector<std::string>& files) {
    std::size_t sent = 0;
    const std::string request = EncodeOpenRequest(files, &sent);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWakeTimeoutMs);
    for (;;) {
        const TLock lock = TryLock();
        if (lock != TLock::Held)
            return false; // the first copy, or no guard possible: run without it
        // Another copy holds the lock. It may still be starting, so its socket
        // may not be there yet; it may also be ending, and then the lock frees.
        if (WakeFirstCopy(request)) {
            if (sent < files.size())
                std::fprintf(stderr, "zv2player: %zu of the %zu files given were too many to hand over\n",
                             files.size() - sent, files.size());
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
        ::usleep(50 * 1000);
    }
}

bool TRunOnce::WakeFirstCopy(const std::string& request) {
    sockaddr_un addr;
    if (!FillAddress(SocketPath_, addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // The first copy reads one request at a time: a send waits a while at most.
    const timeval sendLimit{kWakeTimeoutMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && SendAll(fd, request) &&
        WaitFor(fd, POLLIN, kWakeTimeoutMs)) {
        char answer[8] = {};
        ok = ::recv(fd, answer, sizeof answer - 1, 0) > 0;
    }
    ::close(fd);
    return ok;
}

void TRunOnce::Listen(TOnWake onWake) {
    // Without the lock the socket may be another copy's, and must stay.
    if (!HoldsLock_ || Listener_.joinable())
        return;
    sockaddr_un addr;
    if (!FillAddress(SocketPath_, addr))
        return;
    // We hold the lock, so a socket file left here belongs to a copy that died.
    ::unlink(SocketPath_.c_str());
    ListenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ListenFd_ < 0)
        return;
    if (::bind(ListenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(ListenFd_, 8) != 0) {
        ::close(ListenFd_);
        ListenFd_ = -1;
        return;
    }
    ::chmod(SocketPath_.c_str(), 0600);
    StopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (StopFd_ < 0) {
        ::close(ListenFd_);
        ListenFd_ = -1;
        ::unlink(SocketPath_.c_str());
        return;
    }
    OnWake_ = std::move(onWake);
    Listener_ = std::thread([this] { ListenLoop(); });
}

void TRunOnce::ListenLoop() {
    for (;;) {
        pollfd fds[2] = {{ListenFd_, POLLIN, 0}, {StopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(ListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::vector<std::string> files;
        if (ReadRequest(client, files)) {
            if (OnWake_)
                OnWake_(std::move(files));
            ::send(client, kWakeAnswer, sizeof kWakeAnswer - 1, MSG_NOSIGNAL);
        } else if (IsSet(StopFd_)) {
            ::close(client); // no answer: the caller tries again and finds the lock freed
            return;
        } else {
            ::send(client, kRefusedAnswer, sizeof kRefusedAnswer - 1, MSG_NOSIGNAL);
        }
        ::close(client);
    }
}

bool TRunOnce::ReadRequest(int client, std::vector<std::string>& files) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait[2] = {{client, POLLIN, 0}, {StopFd_, POLLIN, 0}};
        const int ready = ::poll(wait, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        if (wait[1].revents)
            return false;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.append(buffer, static_cast<std::size_t>(n));
        switch (ParseOpenRequest(bytes, files)) {
        case TOpenParse::Done:
            return true;
        case TOpenParse::Malformed:
            return false;
        case TOpenParse::NeedMore:
            break;
        }
    }
}

} // namespace zv2::platform
