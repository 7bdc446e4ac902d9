#include "platform/net/ClientSocket.h"

#include "platform/net/TcpSocket.h"

#include <atomic>
#include <thread>

namespace zv2::platform {

namespace {
// How long the watching thread waits per receive before it looks again.
constexpr int WatchWaitMs = 1000;
} // namespace

struct TClientSocket::TConnection {
    std::uint64_t Id = 0;
    TTcpSocket Socket;
    std::atomic<bool> Connected{false};
    std::atomic<bool> Dropped{false};
    std::thread Thread;
};

TClientSocket::TClientSocket(IDispatcher& dispatcher)
    : Dispatcher_(dispatcher), Self_(std::make_shared<TClientSocket*>(this)) {}

TClientSocket::~TClientSocket() {
    Close();
    Self_.reset();
}

std::uint64_t TClientSocket::Open(const std::string& host, std::uint16_t port, int connectTimeoutMs,
                                  int sendBufferBytes) {
    Close();
    auto connection = std::make_shared<TConnection>();
    {
        std::lock_guard lock(Mutex_);
        connection->Id = ++LastId_;
        Current_ = connection;
    }
    connection->Thread =
        std::thread(&TClientSocket::Run, this, connection, host, port, connectTimeoutMs, sendBufferBytes);
    return connection->Id;
}

void TClientSocket::Close() {
    std::shared_ptr<TConnection> connection;
    {
        std::lock_guard lock(Mutex_);
        connection.swap(Current_);
    }
    if (connection) {
        connection->Socket.Abort();
        connection->Thread.join();
    }
}

bool TClientSocket::Active() const {
    std::lock_guard lock(Mutex_);
    return Current_ != nullptr;
}

std::uint64_t TClientSocket::Connection() const {
    std::lock_guard lock(Mutex_);
    return Current_ ? Current_->Id : 0;
}

TNetResult TClientSocket::SendAll(std::uint64_t connection, const void* data, std::size_t size, int stallTimeoutMs) {
    std::shared_ptr<TConnection> current;
    {
        std::lock_guard lock(Mutex_);
        current = Current_;
    }
    // The shared reference keeps the descriptor open until the send returns,
    // also when the UI thread closes the connection meanwhile (that aborts it).
    if (!current || current->Id != connection || !current->Connected.load()) {
        return TNetResult::Closed;
    }
    return current->Socket.SendAll(data, size, stallTimeoutMs);
}

void TClientSocket::Drop(std::uint64_t connection) {
    std::lock_guard lock(Mutex_);
    if (Current_ && Current_->Id == connection) {
        Current_->Dropped.store(true);
        Current_->Socket.Abort();
    }
}

void TClientSocket::Run(const std::shared_ptr<TConnection>& connection, std::string host, std::uint16_t port,
                        int connectTimeoutMs, int sendBufferBytes) {
    TTcpSocket& socket = connection->Socket;
    const TNetResult connected = socket.Connect(host, port, connectTimeoutMs);
    if (connected != TNetResult::Ok) {
        if (connection->Dropped.load()) {
            Notify(connection->Id, TNotice::Disconnect, TNetResult::Closed, 0);
        } else if (connected != TNetResult::Aborted) {
            Notify(connection->Id, TNotice::Error, connected, socket.LastError());
        }
        return;
    }
    if (sendBufferBytes > 0) {
        socket.SetSendBuffer(sendBufferBytes);
    }
    connection->Connected.store(true);
    Notify(connection->Id, TNotice::Connect, TNetResult::Ok, 0);
    char sink[4096];
    for (;;) {
        std::size_t received = 0;
        const TNetResult result = socket.Receive(sink, sizeof sink, received, WatchWaitMs);
        if (result == TNetResult::Ok || result == TNetResult::Timeout) {
            continue;
        }
        if (result == TNetResult::Closed || connection->Dropped.load()) {
            Notify(connection->Id, TNotice::Disconnect, TNetResult::Closed, 0);
        } else if (result != TNetResult::Aborted) {
            Notify(connection->Id, TNotice::Error, result, socket.LastError());
        }
        return;
    }
}

void TClientSocket::Notify(std::uint64_t id, TNotice notice, TNetResult result, int error) {
    std::weak_ptr<TClientSocket*> self = Self_;
    Dispatcher_.Post([self, id, notice, result, error] {
        if (auto alive = self.lock()) {
            (*alive)->Deliver(id, notice, result, error);
        }
    });
}

void TClientSocket::Deliver(std::uint64_t id, TNotice notice, TNetResult result, int error) {
    std::shared_ptr<TConnection> ended;
    {
        std::lock_guard lock(Mutex_);
        if (!Current_ || Current_->Id != id) {
            return;
        }
        if (notice != TNotice::Connect) {
            ended.swap(Current_);
        }
    }
    if (ended) {
        // The thread posted this notice as its last act.
        ended->Thread.join();
    }
    switch (notice) {
    case TNotice::Connect:
        if (OnConnect) {
            OnConnect();
        }
        break;
    case TNotice::Disconnect:
        if (OnDisconnect) {
            OnDisconnect();
        }
        break;
    case TNotice::Error:
        if (OnError) {
            OnError(result, error);
        }
        break;
    }
}

} // namespace zv2::platform
