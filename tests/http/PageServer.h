#pragma once
// A web server for the catalogue's tests, on 127.0.0.1 and a port the system
// picks. It reads each request (up to its blank line), records it, and sends
// the reply its handler gives for it, then closes the connection, or keeps
// it open without a word when the reply asks it to hang. One connection at a
// time, as the fetchers make them.

#include "platform/net/TcpSocket.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
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

class TPageServer {
public:
    using THandler = std::function<TReply(const std::string& request)>;

    explicit TPageServer(THandler handler) : Handler_(std::move(handler)) {
        const auto at = platform::TSocketAddress::Parse("127.0.0.1", 0);
        Listening_ = Listener_.Listen(*at) == platform::TNetResult::Ok;
        Thread_ = std::thread([this] { Run(); });
    }
    ~TPageServer() {
        {
            std::lock_guard lock(Mutex_);
            Ending_ = true;
            if (Open_)
                Open_->Abort();
        }
        Listener_.Abort();
        Changed_.notify_all();
        Thread_.join();
    }

    bool Listening() const { return Listening_; }
    std::uint16_t Port() const { return Listener_.LocalAddress().Port; }
    std::string Site() const { return "127.0.0.1:" + std::to_string(Port()); }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(Mutex_);
        return Requests_;
    }
    // Waits until `count` requests have arrived (at most `limitMs`).
    bool WaitForRequests(std::size_t count, int limitMs) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return Requests_.size() >= count; });
    }

private:
    void Run() {
        for (;;) {
            std::unique_ptr<platform::TTcpSocket> peer;
            if (Listener_.Accept(peer, -1) != platform::TNetResult::Ok)
                return;
            std::string request;
            char buffer[512];
            while (request.find("\r\n\r\n") == std::string::npos) {
                std::size_t got = 0;
                if (peer->Receive(buffer, sizeof buffer, got, 10000) != platform::TNetResult::Ok)
                    break;
                request.append(buffer, got);
            }
            const TReply reply = Handler_(request);
            {
                std::lock_guard lock(Mutex_);
                Requests_.push_back(request);
                Open_ = peer.get();
            }
            Changed_.notify_all();
            peer->SendAll(reply.Bytes.data(), reply.Bytes.size(), 10000);
            std::unique_lock lock(Mutex_);
            if (reply.Hang)
                Changed_.wait(lock, [this] { return Ending_; });
            Open_ = nullptr;
            if (Ending_)
                return;
        }
    }

    THandler Handler_;
    platform::TTcpListener Listener_;
    bool Listening_ = false;
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    std::vector<std::string> Requests_;
    platform::TTcpSocket* Open_ = nullptr;
    bool Ending_ = false;
    std::thread Thread_;
};

} // namespace zv2::test
