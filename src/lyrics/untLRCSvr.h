#pragma once
// TLRCSvrThread: the long-lived lyric worker. It asks the lyric site's search
// (a GBK page) for a song's name and, for a search-and-save request, stores
// the first LRC file found as "<name>.lrc" in the lyric folder, where the
// lyric display picks it up by name (LyricFilePath).
//
// Requests wait in a queue and are served one at a time, in the order posted:
//   lrSearchAndSave (0): search; fetch the first link found; save it. Then
//       OnSaved(path of the file written), or OnSaved("") when nothing was
//       saved (no result, a request the guard refused, a failed
//       download, a file that cannot be written).
//   lrSearchOnly (1): search; then OnList(the links found, at most one).
// A lyric file is written only from a whole, good reply (status 200, the
// server closed after it, the body as long as its Content-Length says and
// holding at least one timed lyric line), and written whole (temporary file,
// then rename), so an existing good file is never replaced by an empty or
// broken one. The name is made a safe file name: it never writes outside the
// lyric folder.
//
// Threads: the owner (the UI thread) creates it and calls SetLyricFolder,
// Post and Stop; Post and SetLyricFolder are safe from any thread. Every wait
// on the network ends: by the fetch's time limit, or at once by Stop().
// OnSaved and OnList run on the worker thread: they hand anything for the
// window to the UI-thread dispatcher. A request cut short by Stop() reports
// nothing; no callback runs after the destructor returned.
//
// Lifecycle: created (it makes the default lyric folder "LRCs/" in the
// program folder and starts waiting) -> serving requests -> Stop() (the
// running fetch is cut short, queued requests are dropped, the thread ends)
// -> destroyed (the destructor stops and waits for the thread).

#include "http/untHttpFetch.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zv2::lyrics {

enum TLyricRequest : std::uint8_t { lrSearchAndSave = 0, lrSearchOnly = 1 };

// The lyric site's query word from the name's GBK bytes: bytes up to and
// including 128 as they are (blanks and punctuation too), bytes 129..255 as
// "%xx" with lower-case hex digits.
std::string EncodeLyricKey(std::string_view gbkName);

// The first lyric link of a raw (GBK) search page: after the marker
// "LRC歌词来自" (in GBK) and two more bytes, up to the next "<" or the page's
// end. Adds it to `results` and gives true; false, adding nothing, when the
// page has no marker or the link is empty.
bool ParseLyricResults(std::string_view page, std::vector<std::string>& results);

// The content to save from a lyric file's reply, or nullopt when the reply is
// not one to keep: the fetch must have ended with the server's close, the
// status be 200, the body plain (not chunked), as long as a Content-Length
// says, and hold at least one timed lyric line.
std::optional<std::string> LyricFileBody(const http::TFetchResult& reply);

// Where the lyric file of song `name` lies in `folder`: the folder, a "/"
// unless it ends with one, and SafeFileName(name + ".lrc").
std::string LyricFilePath(const std::string& folder, const std::string& name);

struct TLyricTargets {
    std::function<void(const std::string& savedPath)> OnSaved;
    std::function<void(const std::vector<std::string>& links)> OnList;
};

class TLRCSvrThread {
public:
    // `programFolder` ends with "/"; `site` is the lyric site, "host[:port]".
    TLRCSvrThread(const std::string& programFolder, const std::string& site, TLyricTargets targets,
                  http::TFetchLimits limits = {});
    ~TLRCSvrThread();
    TLRCSvrThread(const TLRCSvrThread&) = delete;
    TLRCSvrThread& operator=(const TLRCSvrThread&) = delete;

    // Where later requests save their files (the "LRCPath" setting).
    void SetLyricFolder(const std::string& folder);
    std::string LyricFolder() const;
    // Queues a request for song `name` (UTF-8). Ignored after Stop().
    void Post(const std::string& name, TLyricRequest kind);
    // True from a Post until the queue is empty and the last request served.
    bool Busy() const;
    // Cuts the running fetch short, drops the queue and ends the thread.
    void Stop();

private:
    struct TQueued {
        std::string Name;
        TLyricRequest Kind = lrSearchAndSave;
    };

    void Execute();
    // The links the lyric site lists for `name` (`listOnly`: the list-only query).
    std::vector<std::string> Search(const std::string& name, bool listOnly);
    // The path written, or "" when nothing was.
    std::string SearchAndSave(const std::string& name);
    bool Stopped() const;

    const TLyricTargets Targets_;
    http::TUrlParts Site_;
    http::THttpFetch Fetch_;
    mutable std::mutex Mutex_;
    std::condition_variable Wake_;
    std::deque<TQueued> Queue_; // guarded by Mutex_
    std::string LyricFolder_;   // guarded by Mutex_
    std::string TidiedFolder_;  // the worker's own: the last folder rid of stale temporary files
    bool Serving_ = false;      // guarded by Mutex_
    bool Terminated_ = false;   // guarded by Mutex_
    std::thread Worker_;
};

} // namespace zv2::lyrics
