#include "catalogue/untSearchTopNThread.h"

#include "FixtureSite.h"

#include <gtest/gtest.h>

using namespace zv2;
using namespace zv2::catalogue;
using namespace zv2::test;
using platform::TQueueDispatcher;

namespace {

struct TCharts {
    TCharts(platform::IDispatcher& ui, const std::string& site, http::TFetchLimits limits = {}) {
        TTopNTargets targets;
        targets.OnCharts = [this](const std::vector<TChartEntry>& charts) { Charts = charts; };
        targets.OnSongs = [this](const std::vector<TChartSongRow>& rows) { Rows = rows; };
        targets.OnDone = [this] { ++Done; };
        Thread = std::make_unique<TSearchTopNThread>(ui, site, targets, limits);
    }
    std::vector<TChartEntry> Charts;
    std::vector<TChartSongRow> Rows;
    int Done = 0;
    std::unique_ptr<TSearchTopNThread> Thread;
};

TEST(SearchTopNThread, DeliversTheSeventeenChartsThenAChartsFiftySongs) {
    TFixtureSite site({});
    TQueueDispatcher ui;
    TCharts top(ui, site.Site());
    EXPECT_FALSE(top.Thread->Busy());
    top.Thread->RequestList("", "", 0);
    EXPECT_TRUE(top.Thread->Busy());
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 1; }));
    EXPECT_FALSE(top.Thread->Busy());
    ASSERT_EQ(top.Charts.size(), 17u);
    EXPECT_EQ(top.Charts[16].Name, "Chart 17");
    EXPECT_EQ(site.Server().Requests()[0].substr(0, 20), "GET //top HTTP/1.1\r\n");

    top.Thread->RequestList(top.Charts[1].Name, top.Charts[1].Link, 1);
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 2; }));
    ASSERT_EQ(top.Rows.size(), 50u);
    EXPECT_EQ(top.Rows[0].Index, 1);
    EXPECT_EQ(top.Rows[0].Name, "c2 song 1");
    EXPECT_EQ(top.Rows[49].Artist, "Singer 50");
    EXPECT_EQ(RequestPath(site.Server().Requests()[1]), "//top/c2");
}

TEST(SearchTopNThread, ARequestWhileBusyIsDroppedAndStopEndsTheRunningFetch) {
    TFixtureSite site({});
    site.HangOn = "//top/c1";
    TCountingDispatcher ui;
    TCharts top(ui, site.Site(), {.TimeLimitMs = 600000}); // only the stop can end the hang
    top.Thread->RequestList("Chart 1", "/top/c1", 1);
    ASSERT_TRUE(site.Server().WaitForRequests(1, GiveUpMs));
    top.Thread->RequestList("", "", 0);
    EXPECT_TRUE(top.Thread->Busy());
    top.Thread->Stop();
    // The aborted fetch still delivers (an empty chart: the song list is cleared), then the worker ends.
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 1; }));
    top.Thread.reset();
    EXPECT_TRUE(top.Charts.empty()) << "the dropped chart-list request never ran";
    EXPECT_TRUE(top.Rows.empty());
    EXPECT_EQ(site.Server().Requests().size(), 1u);
}

TEST(SearchTopNThread, StoppedWhileItScrapesTheLargestChartPageOfLiOnlyItEndsAtOnce) {
    TOnePageSite site(RepeatedPiece("<li>", http::TFetchLimits{}.SizeCap));
    TQueueDispatcher ui;
    TCharts top(ui, site.Site());
    top.Thread->RequestList("Chart 1", "/top/c1", 1);
    ASSERT_TRUE(site.WaitUntilPageSent());
    top.Thread->Stop();
    ASSERT_TRUE(PumpUntil(
        ui, [&] { return top.Done == 1; }, kLargePageGiveUpMs));
    EXPECT_TRUE(top.Rows.empty());
    top.Thread.reset();
}

TEST(SearchTopNThread, AFailedOverviewStillGivesSeventeenBlankCharts) {
    TQueueDispatcher ui;
    TCharts top(ui, "127.0.0.1:9");
    top.Thread->RequestList("", "", 0);
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 1; }));
    ASSERT_EQ(top.Charts.size(), 17u);
    EXPECT_EQ(top.Charts[0].Name, "");
}

} // namespace
