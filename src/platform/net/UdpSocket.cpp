#include "platform/net/UdpSocket.h"

#include <cerrno>
#include <optional>
#include <poll.h>
#include <sys/socket.h>

namespace zv2::platform {

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
    return UntilDone(POLLIN, timeoutMs, [&]() -> std::optional<TNetResult> {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const ssize_t got = ::recvfrom(Fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&peer), &len);
        if (got >= 0) {
            received = static_cast<std::size_t>(got);
            from = net_detail::FromSockaddr(peer);
            return TNetResult::Ok;
        }
        // An ICMP error for an earlier send (connection refused, unreachable)
        // is not a failure of this socket: skip it, as the speaker link does
        // not want its listening thread ended by a peer that went away.
        if (net_detail::Transient(errno) || errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) {
            return std::nullopt;
        }
        return TNetResult::Error;
    });
}

} // namespace zv2::platform
