#pragma once
// A file server for the download engine's tests that misbehaves on purpose
// (a plain site is tools/LocalMusicSite.h), on http/PageServer.h: HEAD gives
// Content-Length, GET with "Range: bytes=a-b" gives 206 and the bytes a..b
// (b clipped to the file), without a range 200 and the whole file; but it
// can close early, hang, send bodies in small pieces, give a fixed or a slow
// HEAD reply, or lie about a file's size. It records every request.

#include "../http/PageServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>

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

    // Ends every connection (those that hang too) and waits for them.
    void Stop() { Server_.Stop(); }

    std::uint16_t Port() const { return Server_.Port(); }
    // "http://127.0.0.1:port/path"
    std::string Url(const std::string& path) const { return "http://" + Server_.Site() + path; }

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

    std::vector<std::string> Requests() const { return Server_.Requests(); }
    // Wait (a generous minute at most) until `count` requests beginning with `start` have come.
    bool WaitForRequestCount(const std::string& start, std::size_t count) {
        return Server_.WaitForRequests(count, 60000, start);
    }
    bool WaitForRequest(const std::string& start) { return WaitForRequestCount(start, 1); }

private:
    void Serve(const std::string& request, TPageServer::TPeer& peer) {
        std::string path = RequestPath(request);
        for (std::size_t at = path.find("%20"); at != std::string::npos; at = path.find("%20"))
            path.replace(at, 3, " ");
        std::unique_lock lock(Mutex_);
        const auto file = Files_.find(path);
        const bool lie = LieSize_ > 0;
        if (!lie && file == Files_.end()) {
            lock.unlock();
            peer.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        // What the server has, and the size it says the file has.
        const std::string bytes = lie ? SongBytes(LieSent_) : file->second;
        const std::int64_t size = lie ? LieSize_ : static_cast<std::int64_t>(bytes.size());
        const std::string headReply =
            !HeadReply_.empty()
                ? HeadReply_
                : "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n";
        const bool slowHead = SlowHeads_.count(path) > 0;
        lock.unlock();
        if (request.starts_with("HEAD ")) {
            if (slowHead)
                peer.Drip(headReply);
            else
                peer.Send(headReply);
            return;
        }
        // The asked range, its end clipped to the size; without one the whole file.
        const std::size_t at = request.find("Range: bytes=");
        const std::int64_t first = at == std::string::npos ? 0 : std::int64_t{std::stoll(request.substr(at + 13))};
        const std::int64_t last =
            at == std::string::npos
                ? size - 1
                : std::min<std::int64_t>(std::stoll(request.substr(request.find('-', at + 13) + 1)), size - 1);
        peer.Send(std::string(at == std::string::npos ? "HTTP/1.1 200 OK" : "HTTP/1.1 206 Partial Content") +
                  "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n" +
                  (at == std::string::npos ? ""
                                           : "Content-Range: bytes " + std::to_string(first) + "-" +
                                                 std::to_string(last) + "/" + std::to_string(size) + "\r\n") +
                  "Connection: close\r\n\r\n");
        if (lie) {
            peer.Send(bytes);
            return;
        }
        const std::string_view body = std::string_view(bytes).substr(first, last - first + 1);
        const TMode mode = FailGets_.fetch_sub(1) > 0 ? TMode::CloseEarly : Mode_.load();
        const std::size_t sent = mode == TMode::CloseEarly ? body.size() / 2
                                 : mode == TMode::Hang     ? std::min<std::size_t>(body.size() / 2, 100)
                                                           : body.size();
        const std::size_t piece = PieceSize_.load() ? PieceSize_.load() : sent;
        for (std::size_t done = 0; done < sent; done += piece)
            peer.Send(body.substr(done, std::min(piece, sent - done)));
        if (mode == TMode::Hang)
            peer.Hang();
    }

    std::atomic<int> FailGets_{0};
    std::atomic<TMode> Mode_{TMode::Normal};
    std::atomic<std::size_t> PieceSize_{0};
    mutable std::mutex Mutex_;
    std::map<std::string, std::string> Files_;
    std::string HeadReply_;
    std::set<std::string> SlowHeads_;
    std::int64_t LieSize_ = 0;
    std::size_t LieSent_ = 0;
    // Last: it ends, and waits for its connections, before the settings they read go.
    TPageServer Server_{[this](const std::string& request, TPageServer::TPeer& peer) { Serve(request, peer); }};
};

} // namespace zv2::test
