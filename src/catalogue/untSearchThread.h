#pragma once
// TSearchThread: one search on the music site, on a worker thread of its own.
// It fetches the result page for a search address, takes up to 20 song items
// off it, fetches each song's download page for the file address, and hands
// one row per song to the UI thread. It touches no widget: rows go to the
// OnRow callback, which runs on the UI thread while the worker waits
// (IDispatcher::Call), so rows arrive one by one and in page order. When the
// scan ends, the OnTerminate callback is posted to the UI thread.
//
// Lifecycle: constructed on the UI thread, it starts at once. Stop() (UI
// thread) closes the running fetch and sets the terminate flag; the scan then
// ends after the pass it is in (a page being scraped is given up at once, the
// song of that pass listed with what was found), and OnTerminate runs as always. The owner
// destroys the object on the UI thread, usually from OnTerminate; the
// destructor stops the worker and waits for it. A worker blocked in a row
// delivery is released only by the UI thread running it or by the
// dispatcher's Shutdown(): an owner that destroys a running search without
// going back to its event loop (the window at exit) shuts the dispatcher
// down first. Callbacks never run after the object is destroyed.

#include "http/untHttpFetch.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace zv2::platform {
class IDispatcher;
}

namespace zv2::catalogue {

// One row of the search list: the columns "歌曲名", "歌手", "专辑", "格式",
// "速度", "大小" and "下载地址". Album, format and size are never filled and
// the speed is always 0: the result pages do not show them.
struct TSearchRow {
    std::string SongName; // "&nbsp;" and trailing spaces removed
    std::string Artist;   // likewise
    std::string Album;    // likewise
    std::string Format;
    int Speed = 0;
    std::string Size;
    std::string SongLink; // the file's address ("host[:port]/path"), or kNoDownloadLink
};

// At most this many songs per search: one result page of the site.
inline constexpr int kSearchPageItems = 20;

class TSearchThread {
public:
    using TRowHandler = std::function<void(const TSearchRow&)>;
    using TTerminateHandler = std::function<void()>;

    // UI thread. `url` is the whole search address ("http://host[:port]/search?key=..."):
    // its host and port are those of every fetch, the spaces of its path are sent as "%20".
    TSearchThread(platform::IDispatcher& ui, const std::string& url, TRowHandler onRow, TTerminateHandler onTerminate,
                  http::TFetchLimits limits = {});
    ~TSearchThread();
    TSearchThread(const TSearchThread&) = delete;
    TSearchThread& operator=(const TSearchThread&) = delete;

    // Any thread. Ends the running fetch (it gives what has arrived) and every later one.
    void CloseSocket();
    // Any thread. The scan ends after the pass it is in.
    void Terminate();
    bool Terminated() const { return Terminated_.load(); }
    // CloseSocket() then Terminate(): how the window stops a search.
    void Stop();

    const std::string& Host() const { return Request_.Host; }
    std::uint16_t Port() const { return Request_.Port; }
    const std::string& Path() const { return Request_.Path; }

private:
    void Execute();
    void Scan();

    platform::IDispatcher& Ui_;
    http::TPageRequest Request_;
    TRowHandler OnRow_;
    TTerminateHandler OnTerminate_;
    http::THttpFetch Fetch_;
    std::atomic<bool> Terminated_{false};
    // Deliveries still queued when the object goes check this token first.
    std::shared_ptr<int> Alive_ = std::make_shared<int>(0);
    std::thread Worker_;
};

} // namespace zv2::catalogue
