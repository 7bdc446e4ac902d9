#pragma once
// A web server for tests that need one misbehaving on purpose (crafted bytes,
// a reply that hangs, drips or stops short), on 127.0.0.1 and a port the
// system picks; a plain site is tools/LocalMusicSite.h. It reads each request
// (up to its blank line), records it and hands it to its handler with the
// connection, every connection open at once on a thread of its own; the
// connection closes when the handler returns. A thread whose connection has
// ended takes the next one, so the threads (and what a sanitizer keeps for
// each thread it saw) follow the connections open at once, not all there
// were. Stop() (or the destructor) wakes every handler that hangs or drips
// and waits for them.

#include "platform/net/TcpSocket.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zv2::test {

struct TReply {
    std::string Bytes;
    bool Hang = false; // after Bytes, keep the connection open until the server ends
};

// A 200 reply holding `body`.
inline std::string HtmlReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n" + body;
}

// The path of a request line, "GET /x HTTP/1.1" gives "/x".
inline std::string RequestPath(const std::string& request) {
    const auto from = request.find(' ');
    const auto to = request.find(" HTTP/1.1\r\n");
    return from == std::string::npos || to == std::string::npos ? "" : request.substr(from + 1, to - from - 1);
}

// The host line of a request: the site that the links of a page for it name.
inline std::string RequestHost(const std::string& request) {
    const auto at = request.find("\r\nHost: ");
    return request.substr(at + 8, request.find("\r\n", at + 8) - at - 8);
}

class TPageServer {
public:
    // The connection of one request, for its handler.
    struct TPeer {
        // False once the client has gone or the server ends.
        bool Send(std::string_view bytes) {
            return Socket.SendAll(bytes.data(), bytes.size(), 60000) == platform::TNetResult::Ok;
        }
        // One byte a second until all are out, the client has gone or the server ends.
        void Drip(std::string_view bytes) {
            for (std::size_t at = 0; at < bytes.size() && Send(bytes.substr(at, 1)); ++at)
                if (Server.WaitUntilStopped(1000))
                    return;
        }
        // Keeps the connection open without a word until the server ends (a day at most).
        void Hang() { Server.WaitUntilStopped(24 * 3600 * 1000); }

        TPageServer& Server;
        platform::TTcpSocket& Socket;
    };
    using TServe = std::function<void(const std::string& request, TPeer& peer)>;
    // A handler that gives the whole reply at once.
    using THandler = std::function<TReply(const std::string& request)>;

    explicit TPageServer(TServe serve) : Serve_(std::move(serve)) {
        Listener_.Listen(*platform::TSocketAddress::Parse("127.0.0.1", 0), 32);
        Accepter_ = std::thread([this] { Accept(); });
    }
    explicit TPageServer(THandler handler)
        : TPageServer(TServe([handler = std::move(handler)](const std::string& request, TPeer& peer) {
              const TReply reply = handler(request);
              if (peer.Send(reply.Bytes) && reply.Hang)
                  peer.Hang();
          })) {}
    ~TPageServer() { Stop(); }

    void Stop() {
        {
            std::lock_guard lock(Mutex_);
            if (Stopped_)
                return;
            Stopped_ = true;
            for (auto* socket : Open_)
                socket->Abort();
        }
        Changed_.notify_all();
        Listener_.Abort();
        Accepter_.join();
        for (auto& handler : Handlers_) // no new ones once the accepter has ended
            handler.join();
        Waiting_.clear(); // accepted but never taken: closed unanswered
    }

    bool Listening() const { return Port() != 0; }
    std::uint16_t Port() const { return Listener_.LocalAddress().Port; }
    std::string Site() const { return "127.0.0.1:" + std::to_string(Port()); }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(Mutex_);
        return Requests_;
    }
    // Waits until `count` requests beginning with `start` have come (at most `limitMs`).
    bool WaitForRequests(std::size_t count, int limitMs, const std::string& start = "") {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
            return static_cast<std::size_t>(std::count_if(Requests_.begin(), Requests_.end(), [&](const auto& request) {
                       return request.starts_with(start);
                   })) >= count;
        });
    }
    // Waits until `count` replies have gone out whole and their connections closed.
    bool WaitForReplies(std::size_t count, int limitMs) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return Replied_ >= count; });
    }

private:
    // True when the server ended within `limitMs`.
    bool WaitUntilStopped(int limitMs) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return Stopped_; });
    }

    void Accept() {
        for (;;) {
            std::unique_ptr<platform::TTcpSocket> socket;
            if (Listener_.Accept(socket, -1) != platform::TNetResult::Ok)
                return;
            std::lock_guard lock(Mutex_);
            if (Stopped_)
                return;
            Open_.push_back(socket.get());
            Waiting_.push_back(std::move(socket));
            // Each waiting connection has an idle handler of its own, or a new one.
            if (Waiting_.size() > Idle_)
                Handlers_.emplace_back([this] { Handle(); });
            Changed_.notify_all();
        }
    }

    // A handler thread: answers one waiting connection after another until the server ends.
    void Handle() {
        for (;;) {
            std::unique_ptr<platform::TTcpSocket> socket;
            {
                std::unique_lock lock(Mutex_);
                ++Idle_;
                Changed_.wait(lock, [this] { return Stopped_ || !Waiting_.empty(); });
                --Idle_;
                if (Stopped_)
                    return;
                socket = std::move(Waiting_.front());
                Waiting_.pop_front();
            }
            Answer(*socket);
        }
    }

    void Answer(platform::TTcpSocket& socket) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            std::size_t got = 0;
            if (socket.Receive(buffer, sizeof buffer, got, 10000) != platform::TNetResult::Ok)
                break;
            request.append(buffer, got);
        }
        {
            std::lock_guard lock(Mutex_);
            Requests_.push_back(request);
        }
        Changed_.notify_all();
        TPeer peer{*this, socket};
        Serve_(request, peer);
        {
            std::lock_guard lock(Mutex_);
            std::erase(Open_, &socket);
            socket.Close();
            ++Replied_;
        }
        Changed_.notify_all();
    }

    TServe Serve_;
    platform::TTcpListener Listener_;
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    bool Stopped_ = false;
    std::vector<std::string> Requests_;
    std::size_t Replied_ = 0;
    std::vector<platform::TTcpSocket*> Open_;
    std::deque<std::unique_ptr<platform::TTcpSocket>> Waiting_; // accepted, not yet taken by a handler
    std::size_t Idle_ = 0;                                      // handlers waiting for a connection
    std::vector<std::thread> Handlers_;
    std::thread Accepter_;
};

} // namespace zv2::test
