#pragma once
// A TCP client whose connect, disconnect and error notices reach the UI
// thread through the dispatcher, for a connection that lives next to the
// window (the speaker's stream). Each Open() makes a new connection with a
// number of its own and a thread of its own that connects and then watches
// the connection for its end; bytes that the peer sends are read and dropped.
//
// Notices, on the UI thread, for the current connection only:
//   Open -> OnConnect, or OnError (lookup refused or failed, connect refused,
//           timed out);
//   after OnConnect -> OnDisconnect (the peer closed, or Drop()), or OnError
//           (reset).
// Close() ends a connection silently: notices of earlier connections that
// are still on their way are not delivered.
//
// Threads: construct, Open(), Close(), Active() and destroy on the UI thread;
// Connection(), SendAll() and Drop() from any thread. Close() and the
// destructor never wait on the network: a connect or a name lookup in
// progress is abandoned at once.

#include "platform/Dispatcher.h"
#include "platform/net/NetAddress.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zv2::platform {

class TClientSocket {
public:
    explicit TClientSocket(IDispatcher& dispatcher);
    ~TClientSocket();
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    std::function<void()> OnConnect;
    std::function<void()> OnDisconnect;
    std::function<void(TNetResult result, int error)> OnError; // error: errno, or 0

    // Closes the current connection, then starts connecting to `host`:`port`
    // (a connect that takes longer than `connectTimeoutMs` ends in OnError
    // with Timeout). `sendBufferBytes` above 0 limits the connection's send
    // buffer (TTcpSocket::SetSendBuffer). Returns the new connection's number.
    std::uint64_t Open(const std::string& host, std::uint16_t port, int connectTimeoutMs, int sendBufferBytes = 0);
    // Ends the current connection, if any, without a notice, and waits for its thread.
    void Close();
    // A connection is opening or open (until Close() or its ending notice).
    bool Active() const;

    // The current connection's number; 0 when there is none.
    std::uint64_t Connection() const;

    // Sends all bytes on connection `connection` (see TTcpSocket::SendAll for
    // `stallTimeoutMs`). Closed when it is no longer the current connection
    // or not connected yet; Aborted when it is closed or dropped meanwhile.
    TNetResult SendAll(std::uint64_t connection, const void* data, std::size_t size, int stallTimeoutMs);

    // Ends connection `connection` as if the peer had closed it: its
    // OnDisconnect follows. Nothing when it is not the current one.
    void Drop(std::uint64_t connection);

private:
    struct TConnection;
    enum class TNotice { Connect, Disconnect, Error };
    void Run(const std::shared_ptr<TConnection>& connection, std::string host, std::uint16_t port, int connectTimeoutMs,
             int sendBufferBytes);
    void Notify(std::uint64_t id, TNotice notice, TNetResult result, int error);
    void Deliver(std::uint64_t id, TNotice notice, TNetResult result, int error);

    IDispatcher& Dispatcher_;
    mutable std::mutex Mutex_;
    std::shared_ptr<TConnection> Current_;
    std::uint64_t LastId_ = 0;
    // Posted notices hold a weak reference: a socket destroyed before they
    // run is not touched.
    std::shared_ptr<TClientSocket*> Self_;
};

} // namespace zv2::platform
