#pragma once
// TSearchTopNThread: the long-lived worker that reads the music site's charts.
// It sleeps until RequestList() wakes it, then fetches either the chart
// overview (mode 0) or one chart's page (any other mode), and hands the result
// to the UI thread (IDispatcher::Call, the worker waiting), followed by
// OnDone. One request at a time: a request made while Busy() is dropped.
// It touches no widget; the window turns the deliveries into list items.
//
// Lifecycle: created once (UI thread), it waits at once. Stop() (UI thread)
// sets the terminate flag, ends the running fetch and the scrape of a page in
// progress (the entries not reached stay empty, as on a short page) and wakes
// the worker; the destructor stops and waits for it. As with TSearchThread, a
// worker blocked in a delivery is released by the UI thread running it or by
// the dispatcher's Shutdown(), which an owner destroying it at exit calls first.
// Callbacks run on the UI thread only, never after the object is destroyed.

#include "catalogue/untSitePages.h"
#include "http/untHttpFetch.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv2::platform {
class IDispatcher;
}

namespace zv2::catalogue {

// Where the results go, all on the UI thread. Without OnCharts (OnSongs) a
// chart-list (chart-songs) request fetches nothing and delivers nothing.
struct TTopNTargets {
    // The kChartCount charts of the overview, in order.
    std::function<void(const std::vector<TChartEntry>&)> OnCharts;
    // The rows of one chart (ChartSongRows): the song list is replaced by them.
    std::function<void(const std::vector<TChartSongRow>&)> OnSongs;
    // After every delivery, and after a request whose target is missing.
    std::function<void()> OnDone;
};

class TSearchTopNThread {
public:
    // UI thread. `site` is the music site, "host[:port]".
    TSearchTopNThread(platform::IDispatcher& ui, const std::string& site, TTopNTargets targets,
                      http::TFetchLimits limits = {});
    ~TSearchTopNThread();
    TSearchTopNThread(const TSearchTopNThread&) = delete;
    TSearchTopNThread& operator=(const TSearchTopNThread&) = delete;

    // UI thread. Mode 0: the chart list; any other mode: the songs of the chart
    // at site path `link` (`name` is carried along). Ignored while Busy().
    void RequestList(const std::string& name, const std::string& link, std::uint8_t mode);
    // Any thread. From a request until its delivery starts on the UI thread.
    bool Busy() const { return Busy_.load(); }
    // UI thread. Ends the worker: its running fetch is cut short.
    void Stop();

private:
    void Execute();
    // Each fetches, then delivers; true when the delivery ran.
    bool LoadCharts();
    bool LoadSongs(const std::string& link);
    // Clears Busy(), runs `deliver` and then OnDone on the UI thread; false once
    // the UI thread is gone.
    bool Deliver(std::function<void()> deliver);

    platform::IDispatcher& Ui_;
    http::TPageRequest Site_;
    const TTopNTargets Targets_;
    http::THttpFetch Fetch_;
    std::mutex Mutex_;
    std::condition_variable Wake_;
    bool Signalled_ = false; // the wake event; guarded by Mutex_
    std::uint8_t Mode_ = 0;  // guarded by Mutex_
    std::string ChartName_;  // guarded by Mutex_
    std::string ChartLink_;  // guarded by Mutex_
    // Written under Mutex_ (the wake condition); read by the scrapers without it.
    std::atomic<bool> Terminated_{false};
    std::atomic<bool> Busy_{false};
    std::shared_ptr<int> Alive_ = std::make_shared<int>(0);
    std::thread Worker_;
};

} // namespace zv2::catalogue
