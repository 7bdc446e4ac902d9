#include "http/untHttpFetch.h"

#include "PageServer.h"

#include <gtest/gtest.h>
#include <thread>

using namespace zv2;
using namespace zv2::http;
using test::TPageServer;
using test::TReply;

namespace {

TPageRequest PageOf(const TPageServer& server, const std::string& path) {
    TPageRequest request;
    request.Host = "127.0.0.1";
    request.Port = server.Port();
    request.Path = path;
    return request;
}

TEST(HttpFetch, SendsTheRequestTextAndReturnsTheWholeReplyAsReceived) {
    const std::string reply = test::HtmlReply(std::string(5000, 'x') + "end");
    TPageServer server([&](const std::string&) { return TReply{reply}; });
    ASSERT_TRUE(server.Listening());
    THttpFetch fetch;
    const TFetchResult result = fetch.FetchPage(PageOf(server, "search?key=a%20b"));
    EXPECT_EQ(result.Status, TFetchStatus::Complete);
    EXPECT_EQ(result.Text, reply);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], BuildRequest("GET", "127.0.0.1", server.Port(), "search?key=a%20b"));
}

TEST(HttpFetch, TheLyricSiteGetsOneMoreByteAfterTheBrowserRequest) {
    TPageServer server([](const std::string&) { return TReply{test::HtmlReply("LRC")}; });
    THttpFetch fetch;
    TPageRequest request = PageOf(server, "m?word=x");
    request.Kind = TRequestKind::Lyric;
    request.BrowserHeaders = true;
    EXPECT_EQ(fetch.Fetch(request).Status, TFetchStatus::Complete);
    const std::string expected =
        BuildRequest("GET", "127.0.0.1", server.Port(), "m?word=x", TRequestKind::Lyric, true).value();
    ASSERT_EQ(server.Requests().size(), 1u);
    // The server reads up to the blank line; the "!" may come with it or after.
    EXPECT_EQ(server.Requests()[0].substr(0, expected.size()), expected);
}

TEST(HttpFetch, ACharacterSplitBetweenTwoReceivesArrivesWhole) {
    // The reply's byte 1023 is the first byte of "歌" (three bytes), so the
    // first 1024-byte receive ends inside it.
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    const std::string reply = head + std::string(1023 - head.size(), 'a') + "歌" + std::string(1500, 'b');
    ASSERT_EQ(reply.substr(1023, 3), "歌");
    TPageServer server([&](const std::string&) { return TReply{reply}; });
    THttpFetch fetch;
    const TFetchResult result = fetch.FetchPage(PageOf(server, ""));
    EXPECT_EQ(result.Status, TFetchStatus::Complete);
    EXPECT_EQ(result.Text, reply);
}

TEST(HttpFetch, InvalidUtf8IsReplacedAndRawBytesStayForRawFetches) {
    const std::string bad = "HTTP/1.1 200 OK\r\n\r\nA\xFF"
                            "B\xE6\xAD"
                            "C\xC0\xAF";
    TPageServer server([&](const std::string&) { return TReply{bad}; });
    THttpFetch fetch;
    EXPECT_EQ(fetch.Fetch(PageOf(server, "")).Text, bad);
    EXPECT_EQ(fetch.FetchPage(PageOf(server, "")).Text, "HTTP/1.1 200 OK\r\n\r\nA\xEF\xBF\xBD"
                                                        "B\xEF\xBF\xBD"
                                                        "C\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(HttpFetch, AnAbortFromAnotherThreadEndsTheFetchAndEveryLaterOne) {
    TPageServer server([](const std::string&) { return TReply{"HTTP/1.1 200 OK\r\n\r\npart", true}; });
    THttpFetch fetch;
    std::thread stopper([&] {
        ASSERT_TRUE(server.WaitForRequests(1, 20000));
        fetch.Abort();
    });
    const TFetchResult result = fetch.Fetch(PageOf(server, "x"));
    stopper.join();
    EXPECT_EQ(result.Status, TFetchStatus::Aborted);
    EXPECT_TRUE(std::string("HTTP/1.1 200 OK\r\n\r\npart").starts_with(result.Text)) << "what had arrived";
    EXPECT_EQ(fetch.Fetch(PageOf(server, "y")).Status, TFetchStatus::Aborted) << "an aborted fetcher stays aborted";
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpFetch, AServerThatHangsFailsTheFetchAtTheTimeLimit) {
    TPageServer server([](const std::string&) { return TReply{"HTTP/1.1 200 OK\r\n\r\nsome", true}; });
    THttpFetch fetch({.TimeLimitMs = 200});
    const TFetchResult result = fetch.Fetch(PageOf(server, ""));
    EXPECT_EQ(result.Status, TFetchStatus::TimedOut);
}

TEST(HttpFetch, AReplyPastTheSizeCapIsCutThere) {
    TPageServer server([](const std::string&) { return TReply{std::string(10000, 'z'), true}; });
    THttpFetch fetch({.TimeLimitMs = 20000, .SizeCap = 4000});
    const TFetchResult result = fetch.Fetch(PageOf(server, ""));
    EXPECT_EQ(result.Status, TFetchStatus::TooLarge);
    EXPECT_EQ(result.Text, std::string(4000, 'z'));
}

TEST(HttpFetch, ARequestTheGuardRefusesIsNeverSent) {
    TPageServer server([](const std::string&) { return TReply{test::HtmlReply("page")}; });
    THttpFetch fetch;
    const TFetchResult refused = fetch.Fetch(PageOf(server, "song\r\nX-Injected: 1"));
    EXPECT_EQ(refused.Status, TFetchStatus::Refused);
    EXPECT_EQ(refused.Text, "");
    EXPECT_EQ(fetch.Fetch({"127.0.0.1\n", server.Port(), "", TRequestKind::Lyric, true}).Status, TFetchStatus::Refused);
    // The server's first request is the next good one: nothing came before it.
    EXPECT_EQ(fetch.Fetch(PageOf(server, "next")).Status, TFetchStatus::Complete);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(test::RequestPath(server.Requests()[0]), "/next");
}

TEST(HttpFetch, NoServerGivesAnEmptyFailedResult) {
    std::uint16_t port = 0;
    {
        TPageServer gone([](const std::string&) { return TReply{}; });
        port = gone.Port();
    }
    THttpFetch fetch;
    const TFetchResult result = fetch.Fetch({"127.0.0.1", port, "", TRequestKind::Page, false});
    EXPECT_EQ(result.Status, TFetchStatus::Failed);
    EXPECT_EQ(result.Text, "");
    EXPECT_EQ(fetch.Fetch({"no.such.host.invalid", 80, "", TRequestKind::Page, false}).Status, TFetchStatus::Failed)
        << "a name that does not resolve (or that the guard refuses) connects nowhere";
}

} // namespace
