#pragma once
// Inside the socket layer: the abort signal every socket carries, the one
// place that waits on a descriptor, and address conversions.

#include "platform/net/NetAddress.h"

#include <atomic>
#include <netinet/in.h>

namespace zv2::platform::net_detail {

// Wakes every present and later wait of one socket. An eventfd that stays
// readable once signalled, so a wait that starts after Signal() ends at once.
class TAbortSignal {
public:
    TAbortSignal();
    ~TAbortSignal();
    TAbortSignal(const TAbortSignal&) = delete;
    TAbortSignal& operator=(const TAbortSignal&) = delete;

    void Signal();
    bool Signalled() const { return Signalled_.load(); }
    int Fd() const { return Fd_; }

private:
    int Fd_ = -1;
    std::atomic<bool> Signalled_{false};
};

// Waits until `fd` reports one of `events` (poll flags), the abort signal
// fires, or `timeoutMs` passes (-1: no time limit, only the abort ends it).
// Returns Ok, Aborted or Timeout; Error when poll itself fails.
TNetResult WaitFor(int fd, short events, int timeoutMs, const TAbortSignal& abort);

sockaddr_in ToSockaddr(const TSocketAddress& address);
TSocketAddress FromSockaddr(const sockaddr_in& address);

// A non-blocking, close-on-exec IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM), or -1.
int OpenSocket(int type);

// Sets SO_REUSEADDR (for a fixed port) and SO_BROADCAST (when asked) and binds `fd` to `at`.
bool BindShared(int fd, const TSocketAddress& at, bool broadcast);

// The local address a socket is bound to.
TSocketAddress LocalAddress(int fd);

} // namespace zv2::platform::net_detail
