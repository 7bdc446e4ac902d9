#include "catalogue/untPageText.h"

#include <gtest/gtest.h>

using namespace zv2::catalogue;

namespace {

TEST(CutSection, OnSearchPagesThePieceEndsWithTheFirstCharacterOfTheEndMarker) {
    TPageCursor page("xx<a href=\"1\">yy<a href=\"2\">");
    EXPECT_EQ(CutSection(page, "<a", ">"), "<a href=\"1\">");
    EXPECT_EQ(page.Rest(), ">yy<a href=\"2\">");
    TPageCursor item("..index-num 1 title checkbox-item-hook..");
    EXPECT_EQ(CutSection(item, "index-num", "checkbox-item-hook"), "index-num 1 title c");
    EXPECT_EQ(item.Rest(), "checkbox-item-hook..");
}

TEST(CutSection, OnChartPagesThePieceHoldsTheWholeEndMarker) {
    TPageCursor page("<dt><a href=\"/t\">Hot</a><a");
    EXPECT_EQ(CutSection(page, "<a", "</a>", TCutEnd::WholeMarker), "<a href=\"/t\">Hot</a>");
    EXPECT_EQ(page.Rest(), "</a><a");
}

TEST(CutSection, AMissingStartLeavesThePageAndAMissingEndLeavesItAtTheStart) {
    TPageCursor page("abc<a x");
    EXPECT_EQ(CutSection(page, "<b", ">"), "");
    EXPECT_EQ(page.Rest(), "abc<a x");
    EXPECT_EQ(CutSection(page, "<a", ">"), "");
    EXPECT_EQ(page.Rest(), "<a x");
}

TEST(FindSection, SkipsPiecesWithoutTheRequiredTextAndEndsWhenNoneIsLeft) {
    TPageCursor page("<a 1><a 2 hidefocus><a 3>");
    EXPECT_EQ(FindSection(page, "<a", ">", "hidefocus"), "<a 2 hidefocus>");
    EXPECT_EQ(FindSection(page, "<a", ">", "hidefocus"), "");
    TPageCursor same("aaaa");
    EXPECT_EQ(FindSection(same, "a", "a", "b"), "") << "a marker that is its own end still ends";
}

TEST(FindSection, OnceItGivesNothingItGivesNothingAgainForTheSameMarkers) {
    TPageCursor page("<a 1><a 2 hidefocus><a 3 hidefocus");
    EXPECT_EQ(FindSection(page, "<a", ">", "hidefocus"), "<a 2 hidefocus>");
    EXPECT_EQ(FindSection(page, "<a", ">", "hidefocus"), "") << "the last tag never closes";
    EXPECT_EQ(page.Rest(), "<a 3 hidefocus");
    EXPECT_EQ(FindSection(page, "<a", ">", "hidefocus"), "");
}

TEST(FindSection, GivesNothingOnceTheStopFlagIsSet) {
    std::atomic<bool> stop{false};
    TPageCursor page("<a 1 x><a 2 x><a 3 x>", &stop);
    EXPECT_EQ(FindSection(page, "<a", ">", "x"), "<a 1 x>");
    stop = true;
    EXPECT_EQ(FindSection(page, "<a", ">", "x"), "");
    EXPECT_EQ(CutSection(page, "<a", ">"), "<a 2 x>") << "a single cut is bounded: only the walk asks the flag";
}

TEST(AttributeValue, TakesTheTextBetweenTheQuotesAfterTheName) {
    EXPECT_EQ(AttributeValue("title=", R"(<a href="/s" title="A &amp; B">)"), "A &amp; B");
    EXPECT_EQ(AttributeValue("title=", R"(<a href="/s">)"), "");
    EXPECT_EQ(AttributeValue("title=", R"(<a title = "x)"), "") << "the name is matched with its '='";
    EXPECT_EQ(AttributeValue("href=", R"(<a href="/s)"), "/s") << "no closing quote: to the end";
    EXPECT_EQ(AttributeValue("href=", R"(<a href=)"), "");
}

TEST(CleanText, DropsNbspAndTrailingSpacesOnly) {
    EXPECT_EQ(CleanText("&nbsp;Song&nbsp;Name &nbsp; "), "SongName");
    EXPECT_EQ(CleanText(" A &amp; B"), " A &amp; B");
}

TEST(TextBetween, NeedsBothMarkers) {
    EXPECT_EQ(TextBetween("<a href=\"x\">Name</a>", ">", "<"), "Name");
    EXPECT_EQ(TextBetween("<a href=\"x\">Name", ">", "<"), "");
    EXPECT_EQ(TextBetween("Name</a>", "[", "<"), "");
}

TEST(QuotedField, ReadsTheSingleQuotedValueAfterTheKeyAndItsColon) {
    const std::string tag = "{'sid':1,'sname':'Two Words','author':'X&amp;Y'}";
    EXPECT_EQ(QuotedField(tag, "'sname'"), "Two Words");
    EXPECT_EQ(QuotedField(tag, "'author'"), "X&amp;Y");
    EXPECT_EQ(QuotedField(tag, "'album'"), "");
    EXPECT_EQ(QuotedField("'sname' 'x'", "'sname'"), "") << "no colon";
    EXPECT_EQ(QuotedField("'sname':'open", "'sname'"), "") << "no closing quote";
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
    EXPECT_EQ(ReplaceAll("&amp;amp; &amp;", "&amp;", "&"), "&amp; &");
    EXPECT_EQ(TrimBlanks(" \t x y \r\n"), "x y");
}

} // namespace
