#include "catalogue/untSearchTopNThread.h"

#include "FixtureSite.h"
#include "tools/LocalMusicSite.h"

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
    const TLocalMusicSite site({{"Singer A - Tune A.mp3", "a"}, {"Singer B - Tune B.mp3", "b"}, {"Tune C.mp3", "c"}});
    const auto& charts = site::TSiteLibrary::Charts();
    TQueueDispatcher ui;
    TCharts top(ui, site.Site());
    EXPECT_FALSE(top.Thread->Busy());
    top.Thread->RequestList("", "", 0);
    EXPECT_TRUE(top.Thread->Busy());
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 1; }));
    EXPECT_FALSE(top.Thread->Busy());
    ASSERT_EQ(top.Charts.size(), 17u);
    // The site's names hold "&" and "'", escaped on the page: they come back plain.
    for (std::size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(top.Charts[i].Name, charts[i].Name);
        EXPECT_EQ(top.Charts[i].Link, "/top/" + charts[i].Slug);
    }
    EXPECT_EQ(site.Requests()[0], "GET //top HTTP/1.1");

    top.Thread->RequestList(top.Charts[1].Name, top.Charts[1].Link, 1);
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 2; }));
    const auto listed = site.Library().ChartSongs(charts[1], 50);
    ASSERT_EQ(top.Rows.size(), 50u);
    EXPECT_EQ(top.Rows[0].Index, 1);
    EXPECT_EQ(top.Rows[0].Name, listed[0]->Title);
    EXPECT_EQ(top.Rows[49].Name, listed[49]->Title);
    EXPECT_EQ(top.Rows[49].Artist, listed[49]->Artist);
    EXPECT_EQ(site.Requests()[1], "GET //top/" + charts[1].Slug + " HTTP/1.1");
}

TEST(SearchTopNThread, ARequestWhileBusyIsDroppedAndStopEndsTheRunningFetch) {
    TPageServer site([](const std::string&) { return TReply{"HTTP/1.1 200 OK\r\n\r\n", true}; }); // hangs
    TCountingDispatcher ui;
    TCharts top(ui, site.Site(), {.TimeLimitMs = 600000}); // only the stop can end the hang
    top.Thread->RequestList("Chart 1", "/top/c1", 1);
    ASSERT_TRUE(site.WaitForRequests(1, GiveUpMs));
    top.Thread->RequestList("", "", 0);
    EXPECT_TRUE(top.Thread->Busy());
    top.Thread->Stop();
    // The aborted fetch still delivers (an empty chart: the song list is cleared), then the worker ends.
    ASSERT_TRUE(PumpUntil(ui, [&] { return top.Done == 1; }));
    top.Thread.reset();
    EXPECT_TRUE(top.Charts.empty()) << "the dropped chart-list request never ran";
    EXPECT_TRUE(top.Rows.empty());
    EXPECT_EQ(site.Requests().size(), 1u);
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
