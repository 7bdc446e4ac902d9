#pragma once
// Blocking TCP with an end to every wait: a connect, send or receive returns
// when it is done, when its time limit passes, or when another thread calls
// Abort(). The loopback guard (NetAddress.h) applies to every connect.
//
// Threads: one thread at a time connects and receives, one thread at a time
// sends (the two may be different threads); Abort() from any thread, at any
// time, wakes them and makes every later call return Aborted. The descriptor
// is closed by Close() or the destructor, when no other call runs, so it is
// never reused under a waiting thread.

#include "platform/net/NetAddress.h"
#include "platform/net/NetWait.h"

#include <cstddef>
#include <memory>
#include <string>

namespace zv2::platform {

class TTcpSocket : private net_detail::TSocketHandle {
public:
    TTcpSocket() = default;
    TTcpSocket(const TTcpSocket&) = delete;
    TTcpSocket& operator=(const TTcpSocket&) = delete;

    // Connects to `to`, waiting at most `timeoutMs`. Ok, Refused (the guard;
    // no packet sent), Timeout, Aborted or Error (refused by the peer, no route).
    TNetResult Connect(const TSocketAddress& to, int timeoutMs);
    // Looks `host` up, then Connect(); `timeoutMs` bounds both together, and
    // Abort() ends the lookup's wait too. A refused or failed lookup returns
    // its result.
    TNetResult Connect(const std::string& host, std::uint16_t port, int timeoutMs);

    // Sends all `size` bytes. `stallTimeoutMs` bounds each wait for room in
    // the send buffer: the call returns Timeout when the peer takes nothing
    // for that long. Closed when not connected or the peer is gone, Error on
    // a reset; after a failure an unknown part of the bytes was sent.
    TNetResult SendAll(const void* data, std::size_t size, int stallTimeoutMs);

    // Limits the system's send buffer of the connected socket to about
    // `bytes` (SO_SNDBUF, which also ends its automatic growth): how much a
    // peer that stops reading can leave unread before SendAll() waits.
    // False when not connected or refused.
    bool SetSendBuffer(int bytes);

    // Receives what is there, up to `capacity` bytes, waiting at most
    // `timeoutMs` (-1: until data, end or abort). Ok with `received` > 0,
    // Closed at the peer's orderly end, Timeout, Aborted or Error.
    TNetResult Receive(void* buffer, std::size_t capacity, std::size_t& received, int timeoutMs);

    // Any thread: wakes every wait of this socket, now and later.
    using TSocketHandle::Abort;
    using TSocketHandle::Aborted;

    using TSocketHandle::Close;
    using TSocketHandle::IsOpen;
    TSocketAddress Peer() const { return Peer_; }
    // errno of the last call that returned Error.
    int LastError() const { return LastError_; }

private:
    friend class TTcpListener;
    TNetResult Fail(int error);

    TSocketAddress Peer_;
    int LastError_ = 0;
};

// A listening socket (with SO_REUSEADDR) that hands out accepted connections.
// Threads: one thread accepts; Abort() from any thread.
class TTcpListener : private net_detail::TSocketHandle {
public:
    TTcpListener() = default;
    TTcpListener(const TTcpListener&) = delete;
    TTcpListener& operator=(const TTcpListener&) = delete;

    // Binds to `at` (port 0: a free port of its own; another port is shared
    // with SO_REUSEADDR) and listens. Ok or Error.
    TNetResult Listen(const TSocketAddress& at, int backlog = 8);
    // Waits at most `timeoutMs` (-1: until a connection or abort) for the next
    // connection. Ok with `accepted` set, Timeout, Aborted or Error.
    TNetResult Accept(std::unique_ptr<TTcpSocket>& accepted, int timeoutMs);

    using TSocketHandle::Abort;
    using TSocketHandle::Close;
    using TSocketHandle::LocalAddress;
};

} // namespace zv2::platform
