#include "app/untSearchTab.h"

#include "app/untSettings.h"

#include <gtest/gtest.h>

using namespace zv2::app;

namespace {

TEST(EncodeSearchKey, KeepsTheSafeCharactersAndEncodesEveryOtherByte) {
    const struct {
        const char* Key;
        const char* Encoded;
    } cases[] = {
        {"beyond", "beyond"},
        {"Beyond 1997", "Beyond+1997"},
        {" two  blanks ", "+two++blanks+"},
        {"周杰伦", "%e5%91%a8%e6%9d%b0%e4%bc%a6"},
        {"*@._-$!'()", "*@._-$!'()"},
        {"a&b=c/d?e#f%g+h", "a%26b%3dc%2fd%3fe%23f%25g%2bh"},
        {"\t\"<>,;:~", "%09%22%3c%3e%2c%3b%3a%7e"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeSearchKey(c.Key), c.Encoded) << c.Key;
}

TEST(SearchAddress, AppendsTheFormatFilterOnlyWhenOneIsChosen) {
    const std::string prefix = "http://127.0.0.1:8080/search?key=";
    EXPECT_EQ(SearchAddress(prefix, "a b", 0), prefix + "a+b");
    EXPECT_EQ(SearchAddress(prefix, "x", 1), prefix + "x&lm=0") << "MP3";
    EXPECT_EQ(SearchAddress(prefix, "x", 2), prefix + "x&lm=1") << "RM";
    EXPECT_EQ(SearchAddress(prefix, "x", 3), prefix + "x&lm=2") << "WMA ";
}

TEST(SearchKey, OnlyTheEmptinessTestTrims) {
    EXPECT_TRUE(IsBlankKey(""));
    EXPECT_TRUE(IsBlankKey(" \t "));
    EXPECT_FALSE(IsBlankKey(" a "));
    EXPECT_EQ(TrimmedKey("  Beyond \t"), "Beyond");
}

TEST(SearchHistory, TakesANewKeyAsTypedAndNoDuplicate) {
    const std::vector<std::string> items = {"beyond", " 周杰伦 ", kClearHistoryItem};
    EXPECT_FALSE(HistoryTakesKey(items, "beyond"));
    EXPECT_FALSE(HistoryTakesKey(items, " 周杰伦 "));
    EXPECT_TRUE(HistoryTakesKey(items, "周杰伦")) << "an untrimmed key is another key";
    EXPECT_TRUE(HistoryTakesKey(items, "Beyond")) << "compared with case";
    EXPECT_TRUE(HistoryTakesKey(items, kClearHistoryItem)) << "the clear entry itself is not a key";
    EXPECT_TRUE(HistoryTakesKey({kClearHistoryItem}, "a"));
}

TEST(SearchHistory, OnlyTheLastItemWithItsTextClearsIt) {
    EXPECT_TRUE(ChoosesClearHistory(2, 3, kClearHistoryItem));
    EXPECT_FALSE(ChoosesClearHistory(1, 3, kClearHistoryItem));
    EXPECT_FALSE(ChoosesClearHistory(2, 3, "beyond"));
    EXPECT_FALSE(ChoosesClearHistory(-1, 0, kClearHistoryItem));
}

TEST(SearchCaptions, SayWhatIsSearchedAndHowManyRowsWereFound) {
    EXPECT_EQ(SearchingCaption(" a b"), "正在搜索: a b");
    EXPECT_EQ(SearchFinishedCaption(0), "搜索完成，共找到记录条数：0");
    EXPECT_EQ(SearchFinishedCaption(20), "搜索完成，共找到记录条数：20");
}

TEST(SearchMenu, ItemsFollowTheSelectedRowAndTheRunningSearch) {
    const auto none = SearchMenuState(false, {});
    EXPECT_FALSE(none.DownLoad || none.StopSearch || none.CopyURL || none.SearchArtist || none.SearchAlum);
    EXPECT_TRUE(none.ClearSearchList);
    EXPECT_TRUE(SearchMenuState(true, {}).StopSearch);

    const auto scraped = SearchMenuState(false, {true, "Beyond", "", "h/a.mp3"});
    EXPECT_TRUE(scraped.DownLoad && scraped.CopyURL && scraped.SearchArtist);
    EXPECT_FALSE(scraped.SearchAlum) << "scraped rows have no album";
    EXPECT_FALSE(scraped.StopSearch);

    const auto blank = SearchMenuState(false, {true, "  ", " album ", " "});
    EXPECT_TRUE(blank.DownLoad && blank.SearchAlum);
    EXPECT_FALSE(blank.CopyURL || blank.SearchArtist);
}

TEST(TopNMenu, TheSingerItemNeedsAnArtist) {
    EXPECT_FALSE(TopNMenuState(false, "x").SearchSong);
    EXPECT_TRUE(TopNMenuState(true, "").SearchSong);
    EXPECT_FALSE(TopNMenuState(true, "").SearchSinger);
    EXPECT_TRUE(TopNMenuState(true, " ").SearchSinger) << "the column is not trimmed";
}

} // namespace
