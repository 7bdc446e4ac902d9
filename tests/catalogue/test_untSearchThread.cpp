#include "catalogue/untSearchThread.h"

#include "FixtureSite.h"
#include "catalogue/untSitePages.h"
#include "tools/LocalMusicSite.h"

#include <gtest/gtest.h>

using namespace zv2;
using namespace zv2::catalogue;
using namespace zv2::test;
using platform::TQueueDispatcher;

namespace {

struct TSearch {
    TSearch(platform::IDispatcher& ui, const std::string& url, http::TFetchLimits limits = {}) {
        Thread = std::make_unique<TSearchThread>(
            ui, url, [this](const TSearchRow& row) { Rows.push_back(row); }, [this] { ++Terminations; }, limits);
    }
    std::vector<TSearchRow> Rows;
    int Terminations = 0;
    std::unique_ptr<TSearchThread> Thread;
};

// Seven songs on the local music site, "Artist N - Song N.mp3".
TLocalMusicSite::TFiles SevenSongs() {
    TLocalMusicSite::TFiles songs;
    for (int i = 1; i <= 7; ++i)
        songs["Artist " + std::to_string(i) + " - Song " + std::to_string(i) + ".mp3"] = "ID3 " + std::to_string(i);
    return songs;
}

TEST(SearchThread, SevenSongsGiveSevenRowsInPageOrderWithTheirFileAddresses) {
    const TLocalMusicSite site(SevenSongs());
    TQueueDispatcher ui;
    TSearch search(ui, "http://" + site.Site() + "/search?key=song");
    ASSERT_TRUE(PumpUntil(ui, [&] { return search.Terminations == 1; }));
    ASSERT_EQ(search.Rows.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        const TSearchRow& row = search.Rows[i];
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(row.SongName, "Song " + n);
        EXPECT_EQ(row.Artist, "Artist " + n);
        // The site followed by the download page's "downlink=" value.
        EXPECT_EQ(row.SongLink, site.Site() + "/data/music/file?link=http://" + site.Site() + "/file/Artist%20" + n +
                                    "%20-%20Song%20" + n + ".mp3");
        EXPECT_EQ(row.Album + row.Format + row.Size, "");
        EXPECT_EQ(row.Speed, 0);
    }
    EXPECT_EQ(site.RequestsFor("/download"), 7);
    EXPECT_EQ(site.RequestsFor("GET //song/1/download "), 1) << "the site path keeps its slash after the request's own";
    EXPECT_EQ(site.Requests()[0], "GET /search?key=song HTTP/1.1");
}

TEST(SearchThread, MoreThanTwentySongsGiveTwenty) {
    TFixtureSite site(NumberedSongs(25));
    TQueueDispatcher ui;
    TSearch search(ui, site.SearchUrl() + "x");
    ASSERT_TRUE(PumpUntil(ui, [&] { return search.Terminations == 1; }));
    EXPECT_EQ(search.Rows.size(), 20u);
    EXPECT_EQ(search.Rows.back().SongName, "Song 20");
    EXPECT_EQ(site.RequestsFor("/download"), 20);
}

TEST(SearchThread, NamesAreCleanedAndASongWithoutLinkIsListedAsSuch) {
    TFixtureSite site({{"&nbsp;Wind &amp; Rain&nbsp; ", "", "/song/1"}, {"Two", "Band&nbsp; ", "/song/2"}});
    site.NoLink = {"/song/1"};
    TQueueDispatcher ui;
    TSearch search(ui, site.SearchUrl() + "a b");
    ASSERT_TRUE(PumpUntil(ui, [&] { return search.Terminations == 1; }));
    ASSERT_EQ(search.Rows.size(), 2u);
    EXPECT_EQ(search.Rows[0].SongName, "Wind &amp; Rain");
    EXPECT_EQ(search.Rows[0].Artist, "");
    EXPECT_EQ(search.Rows[0].SongLink, "未获取链接！");
    EXPECT_EQ(search.Rows[1].Artist, "Band");
    EXPECT_EQ(RequestPath(site.Server().Requests()[0]), "/search?key=a%20b");
}

TEST(SearchThread, AnEmptyResultPageEndsWithNoRows) {
    const TLocalMusicSite site(SevenSongs());
    TQueueDispatcher ui;
    TSearch search(ui, "http://" + site.Site() + "/search?key=nothing");
    ASSERT_TRUE(PumpUntil(ui, [&] { return search.Terminations == 1; }));
    EXPECT_TRUE(search.Rows.empty());
}

TEST(SearchThread, StoppedDuringTheThirdDownloadPageItListsTheThirdSongAndEnds) {
    TFixtureSite site(NumberedSongs(7));
    site.HangOn = "//song/103/download";
    TQueueDispatcher ui;
    TSearch search(ui, site.SearchUrl() + "x", {.TimeLimitMs = 600000}); // only the stop can end the hang
    ASSERT_TRUE(PumpUntil(ui, [&] { return site.RequestsFor("//song/103/download") == 1; }));
    search.Thread->Stop();
    ASSERT_TRUE(PumpUntil(ui, [&] { return search.Terminations == 1; }));
    ASSERT_EQ(search.Rows.size(), 3u);
    EXPECT_EQ(search.Rows[2].SongName, "Song 3");
    EXPECT_EQ(search.Rows[2].SongLink, kNoDownloadLink);
    EXPECT_EQ(site.RequestsFor("/download"), 3);
}

TEST(SearchThread, StoppedWhileItScrapesTheLargestResultPageOfUntitledItemsItEndsAtOnce) {
    TOnePageSite site(RepeatedPiece("index-num checkbox-item-hook ", http::TFetchLimits{}.SizeCap));
    TQueueDispatcher ui;
    TSearch search(ui, "http://" + site.Site() + "/search?key=x");
    ASSERT_TRUE(site.WaitUntilPageSent());
    search.Thread->Stop();
    ASSERT_TRUE(PumpUntil(
        ui, [&] { return search.Terminations == 1; }, kLargePageGiveUpMs));
    EXPECT_TRUE(search.Rows.empty());
}

TEST(SearchThread, DestroyedWhileWaitingForTheUiThreadItEndsOnceTheDispatcherShutsDown) {
    const TLocalMusicSite site(SevenSongs());
    TCountingDispatcher ui;
    TSearch search(ui, "http://" + site.Site() + "/search?key=song", {.TimeLimitMs = 600000});
    ASSERT_TRUE(ui.WaitForPosts(1)) << "the first row waits for the UI thread";
    ui.Shutdown();
    search.Thread.reset();
    ui.RunPending();
    EXPECT_TRUE(search.Rows.empty());
    EXPECT_EQ(search.Terminations, 0) << "no callback after the thread object is gone";
}

TEST(SearchThread, TheHostPortAndEscapedPathComeFromTheSearchAddress) {
    TQueueDispatcher ui;
    ui.Shutdown(); // nothing is delivered; the fetch to port 9 fails at once
    TSearchThread thread(ui, "http://127.0.0.1:9/search?key=a b", nullptr, nullptr);
    EXPECT_EQ(thread.Host(), "127.0.0.1");
    EXPECT_EQ(thread.Port(), 9);
    EXPECT_EQ(thread.Path(), "search?key=a%20b");
}

} // namespace
