#pragma once
// The local music site as an HTTP server (cpp-httplib): the music site's
// search, download, chart and file pages and the lyric site's search and LRC
// files, from one TSiteLibrary. One request per connection, as the program's
// fetchers send them ("Connection: Close", paths with doubled slashes).
//
// Lifecycle: StallAt() (when wanted), then Start() binds and starts serving
// on a thread of its own; Stop() (any thread, once) ends it and waits. The
// library is read-only meanwhile.

#include "untSiteLibrary.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace zv2::site {

class TMusicSite {
public:
    // One line per request, called on the server's threads, one call at a time.
    using TLog = std::function<void(const std::string& line)>;

    TMusicSite(const TSiteLibrary& library, TLog log);
    ~TMusicSite();
    TMusicSite(const TMusicSite&) = delete;
    TMusicSite& operator=(const TMusicSite&) = delete;

    // File replies send the bytes of the file before `offset` and then
    // nothing more, their connections open, until the site stops: a site
    // that stops half way, for trying interrupted downloads. Before Start().
    void StallAt(std::int64_t offset);

    // Binds to `address` and `port` (0: one the system picks) and serves.
    // False with `error` set when the address cannot be bound.
    bool Start(const std::string& address, std::uint16_t port, std::string& error);
    // The port bound by Start().
    std::uint16_t Port() const { return Port_; }
    void Stop();

private:
    void Route();
    // Each true when it served the page, false for "404 Not Found".
    bool ServeSearch(const httplib::Request& request, httplib::Response& response) const;
    bool ServeChart(std::string_view slug, httplib::Response& response) const;
    bool ServeDownloadPage(std::string_view rest, std::string_view site, httplib::Response& response) const;
    bool ServeFile(const std::string& path, const char* type, const httplib::Request& request,
                   httplib::Response& response) const;
    static bool ServeDownloadAddress(const httplib::Request& request, httplib::Response& response);

    // Where file replies stall (negative: nowhere), and the end of their wait.
    struct TStall {
        std::int64_t At = -1;
        std::mutex Mutex;
        std::condition_variable Ended;
        bool Stopping = false;
        void Wait();
        void End();
    };

    const TSiteLibrary& Library_;
    const std::shared_ptr<TStall> Stall_ = std::make_shared<TStall>();
    std::unique_ptr<httplib::Server> Server_;
    std::thread Thread_;
    std::uint16_t Port_ = 0;
    std::atomic<bool> Listening_ = false;
};

} // namespace zv2::site
