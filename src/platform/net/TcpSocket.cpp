#include "platform/net/TcpSocket.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <poll.h>
#include <sys/socket.h>

namespace zv2::platform {

using net_detail::WaitFor;

TNetResult TTcpSocket::Fail(int error) {
    LastError_ = error;
    if (error == EPIPE || error == ENOTCONN) {
        return TNetResult::Closed;
    }
    return TNetResult::Error;
}

TNetResult TTcpSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    TSocketAddress to;
    const TNetResult resolved = net_detail::ResolveWithin(host, port, to, timeoutMs, Abort_);
    if (resolved != TNetResult::Ok) {
        return resolved;
    }
    if (timeoutMs >= 0) {
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        timeoutMs = spent < timeoutMs ? timeoutMs - static_cast<int>(spent) : 0;
    }
    return Connect(to, timeoutMs);
}

TNetResult TTcpSocket::Connect(const TSocketAddress& to, int timeoutMs) {
    if (!DestinationAllowed(to)) {
        return TNetResult::Refused;
    }
    if (Aborted()) {
        return TNetResult::Aborted;
    }
    Close();
    Fd_ = net_detail::OpenSocket(SOCK_STREAM);
    if (Fd_ < 0) {
        return Fail(errno);
    }
    Peer_ = to;
    const sockaddr_in in = net_detail::ToSockaddr(to);
    if (::connect(Fd_, reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0) {
        return TNetResult::Ok;
    }
    if (errno != EINPROGRESS) {
        return Fail(errno);
    }
    const TNetResult waited = WaitFor(Fd_, POLLOUT, timeoutMs, Abort_);
    if (waited != TNetResult::Ok) {
        return waited;
    }
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(Fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        return Fail(errno);
    }
    return error == 0 ? TNetResult::Ok : Fail(error);
}

TNetResult TTcpSocket::SendAll(const void* data, std::size_t size, int stallTimeoutMs) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        if (Aborted()) {
            return TNetResult::Aborted;
        }
        if (Fd_ < 0) {
            return TNetResult::Closed;
        }
        const ssize_t sent = ::send(Fd_, bytes, size, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return Fail(errno);
        }
        const TNetResult waited = WaitFor(Fd_, POLLOUT, stallTimeoutMs, Abort_);
        if (waited != TNetResult::Ok) {
            return waited;
        }
    }
    return TNetResult::Ok;
}

bool TTcpSocket::SetSendBuffer(int bytes) {
    return Fd_ >= 0 && ::setsockopt(Fd_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

TNetResult TTcpSocket::Receive(void* buffer, std::size_t capacity, std::size_t& received, int timeoutMs) {
    received = 0;
    return UntilDone(POLLIN, timeoutMs, [&]() -> std::optional<TNetResult> {
        const ssize_t got = ::recv(Fd_, buffer, capacity, 0);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return TNetResult::Ok;
        }
        if (got == 0) {
            return TNetResult::Closed;
        }
        if (net_detail::Transient(errno)) {
            return std::nullopt;
        }
        return Fail(errno);
    });
}

TNetResult TTcpListener::Listen(const TSocketAddress& at, int backlog) {
    Close();
    Fd_ = net_detail::OpenSocket(SOCK_STREAM);
    if (Fd_ < 0 || !net_detail::BindShared(Fd_, at, false) || ::listen(Fd_, backlog) != 0) {
        Close();
        return TNetResult::Error;
    }
    return TNetResult::Ok;
}

TNetResult TTcpListener::Accept(std::unique_ptr<TTcpSocket>& accepted, int timeoutMs) {
    return UntilDone(POLLIN, timeoutMs, [&]() -> std::optional<TNetResult> {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(Fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            accepted = std::make_unique<TTcpSocket>();
            accepted->Fd_ = fd;
            accepted->Peer_ = net_detail::FromSockaddr(peer);
            return TNetResult::Ok;
        }
        // A connection that was reset while queued: take the next one.
        if (net_detail::Transient(errno) || errno == ECONNABORTED) {
            return std::nullopt;
        }
        return TNetResult::Error;
    });
}

} // namespace zv2::platform
