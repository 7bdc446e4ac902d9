#include "platform/net/UdpSocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv2::platform {

TUdpSocket::~TUdpSocket() {
    Close();
}

TNetResult TUdpSocket::Open(const TSocketAddress& local, bool broadcast) {
    Close();
    Fd_ = net_detail::OpenSocket(SOCK_DGRAM);
    if (Fd_ < 0 || !net_detail::BindShared(Fd_, local, broadcast)) {
        Close();
        return TNetResult::Error;
    }
    return TNetResult::Ok;
}

TNetResult TUdpSocket::SendTo(const TSocketAddress& to, const void* data, std::size_t size) {
    if (!DestinationAllowed(to)) {
        return TNetResult::Refused;
    }
    if (Fd_ < 0) {
        return TNetResult::Closed;
    }
    const sockaddr_in in = net_detail::ToSockaddr(to);
    for (;;) {
        if (::sendto(Fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&in), sizeof in) >= 0) {
            return TNetResult::Ok;
        }
        if (errno != EINTR) {
            return TNetResult::Error;
        }
    }
}

TNetResult TUdpSocket::ReceiveFrom(void* buffer, std::size_t capacity, std::size_t& received, TSocketAddress& from,
                                   int timeoutMs) {
    received = 0;
    for (;;) {
        if (Abort_.Signalled()) {
            return TNetResult::Aborted;
        }
        if (Fd_ < 0) {
            return TNetResult::Closed;
        }
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const ssize_t got = ::recvfrom(Fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&peer), &len);
        if (got >= 0) {
            received = static_cast<std::size_t>(got);
            from = net_detail::FromSockaddr(peer);
            return TNetResult::Ok;
        }
        if (errno == EINTR) {
            continue;
        }
        // An ICMP error for an earlier send (connection refused, unreachable)
        // is not a failure of this socket: skip it, as the speaker link does
        // not want its listening thread ended by a peer that went away.
        if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return TNetResult::Error;
        }
        const TNetResult waited = net_detail::WaitFor(Fd_, POLLIN, timeoutMs, Abort_);
        if (waited != TNetResult::Ok) {
            return waited;
        }
    }
}

void TUdpSocket::Abort() {
    Abort_.Signal();
}

void TUdpSocket::Close() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
}

TSocketAddress TUdpSocket::LocalAddress() const {
    return net_detail::LocalAddress(Fd_);
}

} // namespace zv2::platform
