#include "catalogue/untSitePages.h"

#include "SiteFixtures.h"

#include <gtest/gtest.h>

using namespace zv2::catalogue;
using namespace zv2::test;

namespace {

std::vector<TSearchItem> AllItems(const std::string& text) {
    std::vector<TSearchItem> items;
    TPageCursor page(text);
    while (auto item = NextSearchItem(page))
        items.push_back(*item);
    return items;
}

TEST(SearchPage, EachItemGivesNameLinkAndArtistInPageOrder) {
    const auto items = AllItems(SearchPage(NumberedSongs(7)));
    ASSERT_EQ(items.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(items[i].SongName, "Song " + std::to_string(i + 1));
        EXPECT_EQ(items[i].Artist, "Artist " + std::to_string(i + 1));
        EXPECT_EQ(items[i].SongLink, "/song/" + std::to_string(101 + i));
    }
}

TEST(SearchPage, ASectionWithoutTitleIsSkipped) {
    std::string page = SearchPage(NumberedSongs(2));
    page.insert(page.find("<li>"),
                "<li><span class=\"index-num\">0</span> ad <span class=\"checkbox-item-hook\"></li>");
    const auto items = AllItems(page);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].SongName, "Song 1");
}

TEST(SearchPage, AnItemWithoutArtistTagHasAnEmptyArtistAndEntitiesStayForCleaning) {
    const auto items = AllItems(SearchPage({{"A&nbsp;B &amp; C&nbsp; ", "", "/song/1"}, {"中文歌", "歌手", "/s/2"}}));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].SongName, "A&nbsp;B &amp; C&nbsp; ");
    EXPECT_EQ(items[0].Artist, "");
    EXPECT_EQ(items[1].Artist, "歌手");
}

TEST(SearchPage, APageWithoutItemsGivesNone) {
    EXPECT_TRUE(AllItems("").empty());
    EXPECT_TRUE(AllItems("<html>index-num title but never closed").empty());
}

TEST(DownloadPage, TheLinkIsTheSiteFollowedByTheDownlinkValue) {
    EXPECT_EQ(DownloadLinkOf(DownloadPage("/data/music/101.mp3"), "127.0.0.1:8080"),
              "127.0.0.1:8080/data/music/101.mp3");
    EXPECT_EQ(DownloadLinkOf("<html><input type=\"text\"></html>", "h"), "未获取链接！");
    EXPECT_EQ(DownloadLinkOf("", "h"), kNoDownloadLink);
    EXPECT_EQ(DownloadPagePath("/song/101"), "/song/101/download");
}

std::vector<std::pair<std::string, std::string>> NumberedCharts(int count) {
    std::vector<std::pair<std::string, std::string>> charts;
    for (int i = 1; i <= count; ++i)
        charts.push_back({"Chart " + std::to_string(i), "/top/c" + std::to_string(i)});
    return charts;
}

TEST(ChartOverview, GivesSeventeenChartsWithNamesDecoded) {
    auto charts = NumberedCharts(20);
    charts[0].first = "Rock &amp; Roll";
    charts[1].first = "Today&#039;s Hits";
    const auto entries = ParseCharts(ChartOverview(charts));
    ASSERT_EQ(entries.size(), 17u);
    EXPECT_EQ(entries[0].Name, "Rock & Roll");
    EXPECT_EQ(entries[0].Link, "/top/c1");
    EXPECT_EQ(entries[1].Name, "Today's Hits");
    EXPECT_EQ(entries[16].Name, "Chart 17");
    EXPECT_EQ(entries[16].Link, "/top/c17");
}

TEST(ChartOverview, LinksBeforeTheListAreNotChartsAndMissingChartsAreBlank) {
    const auto entries = ParseCharts(ChartOverview(NumberedCharts(3)));
    ASSERT_EQ(entries.size(), 17u);
    EXPECT_EQ(entries[0].Name, "Chart 1") << "the link before <dt> is skipped";
    EXPECT_EQ(entries[3].Name, "");
    EXPECT_EQ(entries[16].Link, "");
    EXPECT_EQ(ParseCharts("no list here").size(), 17u);
}

TEST(ChartPage, GivesFiftySongsWithTheirEntityRules) {
    std::vector<std::pair<std::string, std::string>> songs;
    for (int i = 1; i <= 60; ++i)
        songs.push_back({"Song " + std::to_string(i), "Singer " + std::to_string(i)});
    songs[0] = {"Don&#039;t &amp; Stop", "A&amp;B &#039;C&#039;"};
    const auto entries = ParseChartSongs(ChartPage(songs));
    ASSERT_EQ(entries.size(), 50u);
    EXPECT_EQ(entries[0].Name, "Don't & Stop");
    EXPECT_EQ(entries[0].Artist, "A&B &#039;C&#039;") << "only &amp; is replaced in an artist";
    EXPECT_EQ(entries[49].Name, "Song 50");
    EXPECT_EQ(entries[49].Artist, "Singer 50");
}

TEST(ChartText, NamesTurnTheEscapedApostropheThenTheBareOneThenAmpersandsAndArtistsOnlyAmpersands) {
    struct {
        std::string Raw, Name, Artist;
    } const table[] = {
        {R"(Rock \&#039;n\&#039; Roll)", "Rock 'n' Roll", R"(Rock \&#039;n\&#039; Roll)"},
        {"Today&#039;s Hits", "Today's Hits", "Today&#039;s Hits"},
        {"Rock &amp; Roll", "Rock & Roll", "Rock & Roll"},
        {"&amp;#039;", "&#039;", "&#039;"}, // "&amp;" is turned last: no entity comes out of it
        {R"(a\b)", R"(a\b)", R"(a\b)"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(CleanChartName(row.Raw), row.Name) << row.Raw;
        EXPECT_EQ(CleanChartArtist(row.Raw), row.Artist) << row.Raw;
    }
}

TEST(ChartText, AChartAndASongWrittenWithTheEscapedApostropheShowItPlain) {
    auto charts = NumberedCharts(17);
    charts[0].first = R"(Rock \&#039;n\&#039; Roll)";
    EXPECT_EQ(ParseCharts(ChartOverview(charts))[0].Name, "Rock 'n' Roll");
    const auto songs = ParseChartSongs(ChartPage({{R"(Rock \&#039;n\&#039; Roll)", R"(\&#039;A\&#039;)"}}));
    EXPECT_EQ(songs[0].Name, "Rock 'n' Roll");
    EXPECT_EQ(songs[0].Artist, R"(\&#039;A\&#039;)") << "an artist keeps it";
}

TEST(Scrapers, GiveNothingMoreOnceTheStopFlagIsSet) {
    std::atomic<bool> stop{false};
    const std::string search = SearchPage(NumberedSongs(3));
    TPageCursor page(search, &stop);
    ASSERT_TRUE(NextSearchItem(page));
    stop = true;
    EXPECT_FALSE(NextSearchItem(page));
    EXPECT_EQ(DownloadLinkOf(DownloadPage("/data/1.mp3"), "h", &stop), kNoDownloadLink);
    EXPECT_EQ(ParseCharts(ChartOverview(NumberedCharts(17)), &stop)[0].Link, "");
    EXPECT_TRUE(ChartSongRows(ParseChartSongs(ChartPage({{"Song", "Singer"}}), &stop)).empty());
}

TEST(ChartPage, RowsKeepTheirPagePositionAndSkipBlankNames) {
    std::vector<std::pair<std::string, std::string>> songs;
    for (int i = 1; i <= 12; ++i)
        songs.push_back({i == 3 ? " " : "S" + std::to_string(i), "A"});
    const auto rows = ChartSongRows(ParseChartSongs(ChartPage(songs)));
    ASSERT_EQ(rows.size(), 11u) << "one blank name, and the 38 missing songs are blank too";
    EXPECT_EQ(rows[1].Index, 2);
    EXPECT_EQ(rows[2].Index, 4) << "the skipped entry leaves a gap";
    EXPECT_EQ(rows[2].Name, "S4");
}

} // namespace
