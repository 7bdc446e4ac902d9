#pragma once
// Inside the socket layer: the abort signal every socket carries, the one
// place that waits on a descriptor, the handle every socket class is built
// on, and address conversions.

#include "platform/net/NetAddress.h"

#include <atomic>
#include <cerrno>
#include <netinet/in.h>
#include <optional>
#include <string>

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

// Resolve() that waits at most `timeoutMs` (-1: no time limit) and ends when
// `abort` fires: Ok, Refused, Error, Timeout or Aborted. A name that needs the
// system's resolver is looked up on a thread of its own, since getaddrinfo
// cannot be interrupted; when the wait ends first, that thread finishes by
// itself and its answer is dropped. Literal addresses need no thread.
TNetResult ResolveWithin(const std::string& host, std::uint16_t port, TSocketAddress& out, int timeoutMs,
                         const TAbortSignal& abort);

// Whether a non-blocking call that failed with `error` is to be tried again:
// interrupted (EINTR) or not ready yet (EAGAIN, EWOULDBLOCK).
inline bool Transient(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

// The descriptor of one socket and its abort signal, with what every socket
// class does alike with them. The socket classes inherit it privately and
// make public what their own interface offers; their thread rules apply. The
// descriptor is closed by Close() or the destructor.
class TSocketHandle {
public:
    TSocketHandle() = default;
    ~TSocketHandle();
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    // Any thread: wakes every wait of this socket, now and later.
    void Abort() { Abort_.Signal(); }
    bool Aborted() const { return Abort_.Signalled(); }

    void Close();
    bool IsOpen() const { return Fd_ >= 0; }
    TSocketAddress LocalAddress() const;

protected:
    // Runs `tryOnce` (a non-blocking call on Fd_, returning std::optional<
    // TNetResult>) until the call ends: Aborted once Abort() was called,
    // Closed while there is no descriptor, else what `tryOnce` returns. It
    // returns nothing to go on, with errno as the call left it: after EAGAIN
    // or EWOULDBLOCK the next try waits for `events` at most `timeoutMs`
    // (-1: no time limit; Timeout, Aborted or Error end the call), after
    // anything else (EINTR, an error it skips) it comes at once.
    template <class TTry> TNetResult UntilDone(short events, int timeoutMs, TTry&& tryOnce) {
        for (;;) {
            if (Aborted()) {
                return TNetResult::Aborted;
            }
            if (Fd_ < 0) {
                return TNetResult::Closed;
            }
            if (const std::optional<TNetResult> done = tryOnce()) {
                return *done;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                continue;
            }
            const TNetResult waited = WaitFor(Fd_, events, timeoutMs, Abort_);
            if (waited != TNetResult::Ok) {
                return waited;
            }
        }
    }

    int Fd_ = -1;
    TAbortSignal Abort_;
};

sockaddr_in ToSockaddr(const TSocketAddress& address);
TSocketAddress FromSockaddr(const sockaddr_in& address);

// A non-blocking, close-on-exec IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM), or -1.
int OpenSocket(int type);

// Sets SO_REUSEADDR (for a fixed port) and SO_BROADCAST (when asked) and binds `fd` to `at`.
bool BindShared(int fd, const TSocketAddress& at, bool broadcast);

// The local address a socket is bound to.
TSocketAddress LocalAddress(int fd);

} // namespace zv2::platform::net_detail
