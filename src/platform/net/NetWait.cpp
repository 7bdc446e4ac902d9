#include "platform/net/NetWait.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace zv2::platform::net_detail {

TAbortSignal::TAbortSignal() : Fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TAbortSignal::~TAbortSignal() {
    if (Fd_ >= 0) {
        ::close(Fd_);
    }
}

void TAbortSignal::Signal() {
    Signalled_.store(true);
    const std::uint64_t one = 1;
    // The counter only ever grows; the descriptor stays readable from now on.
    [[maybe_unused]] auto written = ::write(Fd_, &one, sizeof one);
}

namespace {

// What a lookup thread shares with the one waiting for it; whichever of the
// two ends last frees it.
struct TLookup {
    TAbortSignal Done; // fired when Result and Address are set
    std::mutex Mutex;
    TNetResult Result = TNetResult::Error;
    TSocketAddress Address;
};

} // namespace

TNetResult ResolveWithin(const std::string& host, std::uint16_t port, TSocketAddress& out, int timeoutMs,
                         const TAbortSignal& abort) {
    // Literal addresses, and every name under the guard (which answers
    // "localhost" itself and refuses the rest), need no resolver and no thread.
    if (TSocketAddress::Parse(host, port) || LoopbackOnly())
        return Resolve(host, port, out);
    auto lookup = std::make_shared<TLookup>();
    try {
        std::thread([lookup, host, port] {
            TSocketAddress address;
            const TNetResult result = Resolve(host, port, address);
            {
                std::lock_guard lock(lookup->Mutex);
                lookup->Result = result;
                lookup->Address = address;
            }
            lookup->Done.Signal();
        }).detach();
    } catch (const std::system_error&) {
        return TNetResult::Error; // no thread to be had
    }
    const TNetResult waited = WaitFor(lookup->Done.Fd(), POLLIN, timeoutMs, abort);
    if (waited != TNetResult::Ok) {
        return waited;
    }
    std::lock_guard lock(lookup->Mutex);
    out = lookup->Address;
    return lookup->Result;
}

TNetResult WaitFor(int fd, short events, int timeoutMs, const TAbortSignal& abort) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (abort.Signalled()) {
            return TNetResult::Aborted;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd fds[2] = {{fd, events, 0}, {abort.Fd(), POLLIN, 0}};
        const int n = ::poll(fds, 2, wait);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return TNetResult::Error;
        }
        if (fds[1].revents != 0) {
            return TNetResult::Aborted;
        }
        if (fds[0].revents != 0) {
            return TNetResult::Ok;
        }
        if (n == 0 && wait >= 0 && Clock::now() >= deadline) {
            return TNetResult::Timeout;
        }
    }
}

TSocketHandle::~TSocketHandle() {
    Close();
}

void TSocketHandle::Close() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
}

TSocketAddress TSocketHandle::LocalAddress() const {
    return net_detail::LocalAddress(Fd_);
}

sockaddr_in ToSockaddr(const TSocketAddress& address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(address.Port);
    in.sin_addr.s_addr = htonl(address.Host);
    return in;
}

TSocketAddress FromSockaddr(const sockaddr_in& address) {
    return TSocketAddress{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

int OpenSocket(int type) {
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

bool BindShared(int fd, const TSocketAddress& at, bool broadcast) {
    const int on = 1;
    // Only a fixed port is shared: with SO_REUSEADDR the system may hand out
    // a port that another sharing socket already has when asked for any port.
    if (at.Port != 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        return false;
    }
    if (broadcast && ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        return false;
    }
    const sockaddr_in in = ToSockaddr(at);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

TSocketAddress LocalAddress(int fd) {
    sockaddr_in in{};
    socklen_t len = sizeof in;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &len) != 0) {
        return {};
    }
    return FromSockaddr(in);
}

} // namespace zv2::platform::net_detail
