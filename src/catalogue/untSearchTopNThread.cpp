#include "catalogue/untSearchTopNThread.h"

#include "platform/Dispatcher.h"

namespace zv2::catalogue {

TSearchTopNThread::TSearchTopNThread(platform::IDispatcher& ui, const std::string& site, TTopNTargets targets,
                                     http::TFetchLimits limits)
    : Ui_(ui), Targets_(std::move(targets)), Fetch_(limits) {
    const http::TUrlParts parts = http::SplitUrl(site);
    Site_.Host = parts.Host;
    Site_.Port = parts.Port;
    Worker_ = std::thread([this] { Execute(); });
}

TSearchTopNThread::~TSearchTopNThread() {
    Stop();
    Worker_.join();
}

void TSearchTopNThread::RequestList(const std::string& name, const std::string& link, std::uint8_t mode) {
    if (Busy_.load())
        return;
    {
        std::lock_guard lock(Mutex_);
        Mode_ = mode;
        ChartName_ = name;
        Busy_.store(true);
        ChartLink_ = link;
        Signalled_ = true;
    }
    Wake_.notify_one();
}

void TSearchTopNThread::Stop() {
    {
        std::lock_guard lock(Mutex_);
        Terminated_ = true;
        Signalled_ = true;
    }
    Fetch_.Abort();
    Wake_.notify_one();
}

void TSearchTopNThread::Execute() {
    for (;;) {
        std::uint8_t mode = 0;
        std::string link;
        {
            std::unique_lock lock(Mutex_);
            Wake_.wait(lock, [this] { return Signalled_; });
            Signalled_ = false;
            if (Terminated_)
                return;
            mode = Mode_;
            link = ChartLink_;
        }
        bool delivered = false;
        try {
            delivered = mode == 0 ? LoadCharts() : LoadSongs(link);
        } catch (const std::exception&) {
            // A request that fails delivers nothing; the worker waits for the next.
        }
        if (!delivered)
            Busy_.store(false);
    }
}

bool TSearchTopNThread::Deliver(std::function<void()> deliver) {
    return Ui_.Call([alive = std::weak_ptr<int>(Alive_), this, deliver = std::move(deliver)] {
        if (!alive.lock())
            return;
        // Not busy from here on, so that OnDone may ask for the next list at once.
        Busy_.store(false);
        if (deliver)
            deliver();
        if (Targets_.OnDone)
            Targets_.OnDone();
    });
}

bool TSearchTopNThread::LoadCharts() {
    if (!Targets_.OnCharts)
        return Deliver(nullptr);
    http::TPageRequest overview = Site_;
    overview.Path = kChartOverviewPath;
    const std::vector<TChartEntry> charts = ParseCharts(Fetch_.FetchPage(overview).Text, &Terminated_);
    return Deliver([this, charts] { Targets_.OnCharts(charts); });
}

bool TSearchTopNThread::LoadSongs(const std::string& link) {
    if (!Targets_.OnSongs)
        return Deliver(nullptr);
    http::TPageRequest chart = Site_;
    chart.Path = link;
    const auto rows = ChartSongRows(ParseChartSongs(Fetch_.FetchPage(chart).Text, &Terminated_));
    return Deliver([this, rows] { Targets_.OnSongs(rows); });
}

} // namespace zv2::catalogue
