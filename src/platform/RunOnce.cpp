#include "platform/RunOnce.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zv2::platform {

namespace {

constexpr int kWakeTimeoutMs = 5000;
constexpr char kWakeRequest[] = "SHOW\n";
constexpr char kWakeAnswer[] = "OK\n";

std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
        return dir;
    return "/tmp";
}

std::string InstanceName(const std::string& programFolder) {
    char resolved[PATH_MAX];
    const std::string folder = ::realpath(programFolder.c_str(), resolved) ? resolved : programFolder;
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
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

bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

} // namespace

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

bool TRunOnce::CheckFirstInstance() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWakeTimeoutMs);
    for (;;) {
        const TLock lock = TryLock();
        if (lock != TLock::Held)
            return false; // the first copy, or no guard possible: run without it
        // Another copy holds the lock. It may still be starting, so its socket
        // may not be there yet; it may also be ending, and then the lock frees.
        if (WakeFirstCopy())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
        ::usleep(50 * 1000);
    }
}

bool TRunOnce::WakeFirstCopy() {
    sockaddr_un addr;
    if (!FillAddress(SocketPath_, addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, kWakeRequest, sizeof kWakeRequest - 1, MSG_NOSIGNAL) == sizeof kWakeRequest - 1 &&
        WaitFor(fd, POLLIN, kWakeTimeoutMs)) {
        char answer[8] = {};
        ok = ::recv(fd, answer, sizeof answer - 1, 0) > 0;
    }
    ::close(fd);
    return ok;
}

void TRunOnce::Listen(std::function<void()> onWake) {
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
        // A caller that sends nothing is given a second, and the stop ends the wait too.
        pollfd wait[2] = {{client, POLLIN, 0}, {StopFd_, POLLIN, 0}};
        while (::poll(wait, 2, 1000) < 0 && errno == EINTR) {
        }
        if (wait[1].revents) {
            ::close(client);
            return;
        }
        char request[16] = {};
        if ((wait[0].revents & POLLIN) && ::recv(client, request, sizeof request - 1, 0) > 0) {
            if (OnWake_)
                OnWake_();
            ::send(client, kWakeAnswer, sizeof kWakeAnswer - 1, MSG_NOSIGNAL);
        }
        ::close(client);
    }
}

} // namespace zv2::platform
