#pragma once
// A small file server on 127.0.0.1 (a port the system picks) for the download
// engine's tests: HEAD gives Content-Length, GET with "Range: bytes=a-b"
// gives 206 and the bytes a..b (b clipped to the file), without a range 200
// and the whole file. It can misbehave on purpose (close early, hang, odd
// HEAD replies, lie about a file's size) and records every request.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zv2::test {

// Bytes that look like a song and hold every value, CR and LF included.
inline std::string SongBytes(std::size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

// A listening TCP socket on 127.0.0.1, on a port the system picks (set in
// `port`); it takes connections into its backlog and answers nothing.
inline int ListenOnLoopback(int backlog, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(fd, backlog);
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    port = ntohs(at.sin_port);
    return fd;
}

class TFileServer {
public:
    enum class TMode {
        Normal,
        CloseEarly, // GET: the header and half the body, then the connection ends
        Hang,       // GET: the header and a few bytes, then silence until the server stops
    };

    TFileServer() {
        Listener_ = ListenOnLoopback(32, Port_);
        Accepter_ = std::thread([this] { Accept(); });
    }
    ~TFileServer() { Stop(); }

    void Stop() {
        {
            std::lock_guard lock(Mutex_);
            if (Stopped_)
                return;
            Stopped_ = true;
        }
        Changed_.notify_all();
        ::shutdown(Listener_, SHUT_RDWR);
        Accepter_.join();
        ::close(Listener_);
        std::vector<std::thread> connections;
        {
            std::lock_guard lock(Mutex_);
            for (int fd : Open_)
                ::shutdown(fd, SHUT_RDWR);
            connections.swap(Connections_);
        }
        for (auto& t : connections)
            t.join();
    }

    std::uint16_t Port() const { return Port_; }
    // "http://127.0.0.1:port/path"
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(Port_) + path; }

    // Set before the requests come.
    void AddFile(const std::string& path, std::string bytes) {
        std::lock_guard lock(Mutex_);
        Files_[path] = std::move(bytes);
    }
    void SetMode(TMode mode) { Mode_ = mode; }
    // The next `count` GETs are served as in CloseEarly, whatever the mode.
    void FailGets(int count) { FailGets_ = count; }
    // A fixed reply to every HEAD request.
    void SetHeadReply(std::string reply) {
        std::lock_guard lock(Mutex_);
        HeadReply_ = std::move(reply);
    }
    // GET bodies are written in pieces of this many bytes (0: at once).
    void SetPieceSize(std::size_t bytes) { PieceSize_ = bytes; }
    // Every file is said to hold `announced` bytes (HEAD and Content-Range),
    // and every GET of a range sends the header of the whole range, then
    // `sent` bytes, then closes.
    void SetLie(std::int64_t announced, std::size_t sent) {
        std::lock_guard lock(Mutex_);
        LieSize_ = announced;
        LieSent_ = sent;
    }

    // HEAD requests of `path` get their reply one byte a second.
    void SetSlowHead(const std::string& path) {
        std::lock_guard lock(Mutex_);
        SlowHeads_.insert(path);
    }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(Mutex_);
        return Requests_;
    }
    // Waits (a generous minute at most) until a request beginning with `start` has come.
    // Waits until `count` requests beginning with `start` have come.
    bool WaitForRequestCount(const std::string& start, std::size_t count) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::seconds(60), [&] {
            return static_cast<std::size_t>(
                       std::count_if(Requests_.begin(), Requests_.end(), [&](const std::string& request) {
                           return request.rfind(start, 0) == 0;
                       })) >= count;
        });
    }
    bool WaitForRequest(const std::string& start) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::seconds(60), [&] {
            return std::any_of(Requests_.begin(), Requests_.end(),
                               [&](const std::string& request) { return request.rfind(start, 0) == 0; });
        });
    }

private:
    void Accept() {
        for (;;) {
            const int fd = ::accept4(Listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            std::lock_guard lock(Mutex_);
            if (Stopped_) {
                ::close(fd);
                return;
            }
            Open_.push_back(fd);
            Connections_.emplace_back([this, fd] { Serve(fd); });
        }
    }

    bool SendText(int fd, const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One byte a second until the reply is out, the client has gone or the server stops.
    void Drip(int fd, const std::string& text) {
        for (const char c : text) {
            if (!SendText(fd, std::string(1, c)))
                return;
            std::unique_lock lock(Mutex_);
            if (Changed_.wait_for(lock, std::chrono::seconds(1), [this] { return Stopped_; }))
                return;
        }
    }

    void Serve(int fd) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        std::string file, headReply;
        bool found = false, slowHead = false;
        std::int64_t lieSize = 0;
        std::size_t lieSent = 0;
        const std::string method = request.substr(0, request.find(' '));
        const std::size_t pathAt = request.find(' ') + 1;
        std::string path = request.substr(pathAt, request.find(' ', pathAt) - pathAt);
        for (std::size_t at = path.find("%20"); at != std::string::npos; at = path.find("%20"))
            path.replace(at, 3, " ");
        {
            std::lock_guard lock(Mutex_);
            Requests_.push_back(request);
            headReply = HeadReply_;
            slowHead = SlowHeads_.count(path) > 0;
            lieSize = LieSize_;
            lieSent = LieSent_;
            if (auto it = Files_.find(path); it != Files_.end()) {
                file = it->second;
                found = true;
            }
        }
        Changed_.notify_all();
        if (lieSize > 0) {
            ServeLie(fd, method, request, lieSize, lieSent);
        } else if (!found) {
            SendText(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else if (method == "HEAD") {
            const std::string reply = !headReply.empty()
                                          ? headReply
                                          : "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(file.size()) +
                                                "\r\nConnection: close\r\n\r\n";
            if (slowHead)
                Drip(fd, reply);
            else
                SendText(fd, reply);
        } else {
            ServeGet(fd, request, file);
        }
        Finish(fd);
    }

    void ServeGet(int fd, const std::string& request, const std::string& file) {
        std::size_t first = 0, last = file.size() - 1;
        std::string status = "200 OK", range;
        if (const std::size_t at = request.find("Range: bytes="); at != std::string::npos) {
            first = std::stoull(request.substr(at + 13));
            last = std::min<std::size_t>(std::stoull(request.substr(request.find('-', at + 13) + 1)), last);
            status = "206 Partial Content";
            range = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                    std::to_string(file.size()) + "\r\n";
        }
        const std::string body = file.substr(first, last - first + 1);
        SendText(fd, "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + range +
                         "Connection: close\r\n\r\n");
        const TMode mode = FailGets_.fetch_sub(1) > 0 ? TMode::CloseEarly : Mode_.load();
        const std::size_t sent = mode == TMode::CloseEarly ? body.size() / 2
                                 : mode == TMode::Hang     ? std::min<std::size_t>(body.size() / 2, 100)
                                                           : body.size();
        const std::size_t piece = PieceSize_.load() ? PieceSize_.load() : sent;
        for (std::size_t at = 0; at < sent; at += piece)
            SendText(fd, body.substr(at, std::min(piece, sent - at)));
        if (mode == TMode::Hang) {
            std::unique_lock lock(Mutex_);
            Changed_.wait(lock, [this] { return Stopped_; });
        }
    }

    void ServeLie(int fd, const std::string& method, const std::string& request, std::int64_t size, std::size_t sent) {
        if (method == "HEAD") {
            SendText(fd,
                     "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n");
            return;
        }
        const std::size_t at = request.find("Range: bytes=");
        const std::int64_t first = at == std::string::npos ? 0 : std::int64_t{std::stoll(request.substr(at + 13))};
        const std::int64_t last =
            at == std::string::npos
                ? size - 1
                : std::min<std::int64_t>(std::stoll(request.substr(request.find('-', at + 13) + 1)), size - 1);
        SendText(fd, "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(last - first + 1) +
                         "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                         std::to_string(size) + "\r\nConnection: close\r\n\r\n");
        SendText(fd, SongBytes(sent));
    }

    void Finish(int fd) {
        std::lock_guard lock(Mutex_);
        std::erase(Open_, fd);
        ::close(fd);
    }

    int Listener_ = -1;
    std::uint16_t Port_ = 0;
    std::atomic<int> FailGets_{0};
    std::atomic<TMode> Mode_{TMode::Normal};
    std::atomic<std::size_t> PieceSize_{0};
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    bool Stopped_ = false;
    std::map<std::string, std::string> Files_;
    std::string HeadReply_;
    std::set<std::string> SlowHeads_;
    std::int64_t LieSize_ = 0;
    std::size_t LieSent_ = 0;
    std::vector<std::string> Requests_;
    std::vector<int> Open_;
    std::vector<std::thread> Connections_;
    std::thread Accepter_;
};

} // namespace zv2::test
