#include "platform/net/TcpSocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv2::platform {

using net_detail::WaitFor;

TTcpSocket::~TTcpSocket() {
    Close();
}

TNetResult TTcpSocket::Fail(int error) {
    LastError_ = error;
    if (error == EPIPE || error == ENOTCONN) {
        return TNetResult::Closed;
    }
    return TNetResult::Error;
}

TNetResult TTcpSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    TSocketAddress to;
    const TNetResult resolved = Resolve(host, port, to);
    if (resolved != TNetResult::Ok) {
        return resolved;
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

TNetResult TTcpSocket::Receive(void* buffer, std::size_t capacity, std::size_t& received, int timeoutMs) {
    received = 0;
    for (;;) {
        if (Aborted()) {
            return TNetResult::Aborted;
        }
        if (Fd_ < 0) {
            return TNetResult::Closed;
        }
        const ssize_t got = ::recv(Fd_, buffer, capacity, 0);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return TNetResult::Ok;
        }
        if (got == 0) {
            return TNetResult::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Fail(errno);
        }
        const TNetResult waited = WaitFor(Fd_, POLLIN, timeoutMs, Abort_);
        if (waited != TNetResult::Ok) {
            return waited;
        }
    }
}

void TTcpSocket::Abort() {
    Abort_.Signal();
}

void TTcpSocket::Close() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
}

TTcpListener::~TTcpListener() {
    Close();
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
    for (;;) {
        if (Abort_.Signalled()) {
            return TNetResult::Aborted;
        }
        if (Fd_ < 0) {
            return TNetResult::Closed;
        }
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(Fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            accepted = std::make_unique<TTcpSocket>();
            accepted->Fd_ = fd;
            accepted->Peer_ = net_detail::FromSockaddr(peer);
            return TNetResult::Ok;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return TNetResult::Error;
        }
        const TNetResult waited = WaitFor(Fd_, POLLIN, timeoutMs, Abort_);
        if (waited != TNetResult::Ok) {
            return waited;
        }
    }
}

void TTcpListener::Abort() {
    Abort_.Signal();
}

void TTcpListener::Close() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
}

TSocketAddress TTcpListener::LocalAddress() const {
    return net_detail::LocalAddress(Fd_);
}

} // namespace zv2::platform
