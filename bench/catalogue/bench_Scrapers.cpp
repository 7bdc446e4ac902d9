// Scraper benchmark: the catalogue's page scrapers over worst-case pages (a
// chart page of "<li>" only, a chart overview of "<a</a>" repeated, a search
// page of "index-num checkbox-item-hook" pieces without "title"), each against
// a plain std::string::find scan for the page's start marker over the same
// page in the same run. Then the time the Top-N and search workers take to end
// when stopped while they scrape such a page, served by a loopback server.
// Usage: build/bin/bench_Scrapers [MiB (8)] [runs (10)]
#include "catalogue/FixtureSite.h"
#include "catalogue/untSearchThread.h"
#include "catalogue/untSearchTopNThread.h"
#include "catalogue/untSitePages.h"
#include "platform/Dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

using namespace zv2;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The best of `runs` timings of `a` and of `b`, in milliseconds. The two
// take turns, so a change in the machine's load meets both alike.
std::pair<double, double> BestMs(int runs, const std::function<void()>& a, const std::function<void()>& b) {
    double bestA = 1e300;
    double bestB = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        a();
        bestA = std::min(bestA, Ms(Clock::now() - t0));
        t0 = Clock::now();
        b();
        bestB = std::min(bestB, Ms(Clock::now() - t0));
    }
    return {bestA, bestB};
}

std::size_t CountMarker(const std::string& page, std::string_view marker) {
    std::size_t n = 0;
    for (auto at = page.find(marker); at != std::string::npos; at = page.find(marker, at + marker.size()))
        ++n;
    return n;
}

volatile std::size_t Sink = 0;

struct TCase {
    const char* Name;
    std::string Page;
    std::string_view Marker;
    std::function<std::size_t(const std::string&)> Scrape;
};

std::size_t ScrapeSearchPage(const std::string& text) {
    catalogue::TPageCursor page(text);
    std::size_t items = 0;
    while (catalogue::NextSearchItem(page))
        ++items;
    return items;
}

// The time from a worker's stop to the end of its destructor, the worker
// having been sent `page` whole; `start` makes the worker ask for it.
template <typename TWorker>
double CloseMs(const std::string& page,
               const std::function<std::unique_ptr<TWorker>(platform::IDispatcher&, const std::string&)>& start) {
    test::TOnePageSite site(page);
    platform::TQueueDispatcher ui;
    auto worker = start(ui, site.Site());
    if (!site.WaitUntilPageSent())
        return -1; // the page never went out: nothing measured
    ui.Shutdown(); // as the window does before it destroys its workers
    const auto t0 = Clock::now();
    worker.reset();
    return Ms(Clock::now() - t0);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1); // the workers reach the loopback server only
    // By default the largest page a fetch keeps (8 MiB).
    const double mib = argc > 1 ? std::strtod(argv[1], nullptr) : double(http::TFetchLimits{}.SizeCap) / (1024 * 1024);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const auto size = static_cast<std::size_t>(mib * 1024 * 1024);

    TCase cases[] = {
        {"chart page, <li> only", test::RepeatedPiece("<li>", size), "<li",
         [](const std::string& page) { return catalogue::ParseChartSongs(page).size(); }},
        {"chart overview, <a</a> repeated", test::RepeatedPiece("<a</a>", size, "<dt>"), "<a",
         [](const std::string& page) { return catalogue::ParseCharts(page).size(); }},
        {"search page, items without title", test::RepeatedPiece("index-num checkbox-item-hook ", size), "index-num",
         ScrapeSearchPage},
    };
    std::printf("page size: %.1f MiB, best of %d runs\n", mib, runs);
    bool met = true;
    for (TCase& c : cases) {
        const auto [scrape, find] = BestMs(
            runs, [&] { Sink = Sink + c.Scrape(c.Page); }, [&] { Sink = Sink + CountMarker(c.Page, c.Marker); });
        const double ratio = scrape / find;
        met = met && ratio <= 5;
        std::printf("%-34s scraper %9.1f ms   std::string::find scan %7.1f ms   ratio %6.2f\n", c.Name, scrape, find,
                    ratio);
    }
    std::printf("goal: ratio <= 5 on every page: %s\n", met ? "met" : "MISSED");

    const double topN =
        CloseMs<catalogue::TSearchTopNThread>(cases[0].Page, [](platform::IDispatcher& ui, const std::string& site) {
            catalogue::TTopNTargets targets;
            targets.OnSongs = [](const std::vector<catalogue::TChartSongRow>&) {};
            auto worker = std::make_unique<catalogue::TSearchTopNThread>(ui, site, targets);
            worker->RequestList("Chart", "/top/c1", 1);
            return worker;
        });
    std::printf("closing while the Top-N worker scrapes the chart page: %.1f ms\n", topN);
    const double search =
        CloseMs<catalogue::TSearchThread>(cases[2].Page, [](platform::IDispatcher& ui, const std::string& site) {
            return std::make_unique<catalogue::TSearchThread>(ui, "http://" + site + "/search?key=x", nullptr, nullptr);
        });
    std::printf("closing while the search worker scrapes the search page: %.1f ms\n", search);
    return met && topN >= 0 && search >= 0 ? 0 : 1;
}
