#pragma once
// A UDP socket for datagrams, with address sharing (SO_REUSEADDR, so several
// programs may bind the same port on one machine) and, when asked, broadcast
// sending. The loopback guard (NetAddress.h) applies to every send, the
// broadcast address included.
//
// Threads: Open() and Close() when no other call runs; SendTo() from any
// thread; one thread at a time receives; Abort() from any thread wakes the
// receiver and makes every later receive return Aborted.

#include "platform/net/NetAddress.h"
#include "platform/net/NetWait.h"

#include <cstddef>

namespace zv2::platform {

class TUdpSocket : private net_detail::TSocketHandle {
public:
    TUdpSocket() = default;
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;

    // Binds to `local` (Host 0: all interfaces; Port 0: a free port of its
    // own, not shared; any other port is shared). A
    // socket bound to one address receives no broadcasts on Linux; one bound
    // to the wildcard or to 255.255.255.255 does. Ok or Error.
    TNetResult Open(const TSocketAddress& local, bool broadcast);

    // One datagram to `to`. Ok, Refused (the guard: nothing sent), Closed
    // (not open) or Error.
    TNetResult SendTo(const TSocketAddress& to, const void* data, std::size_t size);

    // The next datagram, cut to `capacity` bytes, waiting at most `timeoutMs`
    // (-1: until one arrives or abort). Ok (also for an empty datagram),
    // Timeout, Aborted, Closed or Error.
    TNetResult ReceiveFrom(void* buffer, std::size_t capacity, std::size_t& received, TSocketAddress& from,
                           int timeoutMs);

    using TSocketHandle::Abort;
    using TSocketHandle::Close;
    using TSocketHandle::IsOpen;
    using TSocketHandle::LocalAddress;
};

} // namespace zv2::platform
