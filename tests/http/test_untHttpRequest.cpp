#include "http/untHttpRequest.h"

#include <gtest/gtest.h>

using namespace zv2::http;

namespace {

constexpr char PageAgent[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0; MyIE 3.01)\r\n";
constexpr char LyricAgent[] =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; CIBA)\r\n";

struct TSplitCase {
    const char* Url;
    const char* Host;
    std::uint16_t Port;
    const char* Path;
};

class SplitUrlTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitUrlTest, GivesHostPortAndPath) {
    const TSplitCase& c = GetParam();
    const TUrlParts parts = SplitUrl(c.Url);
    EXPECT_EQ(parts.Host, c.Host);
    EXPECT_EQ(parts.Port, c.Port);
    EXPECT_EQ(parts.Path, c.Path);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, SplitUrlTest,
    ::testing::Values(TSplitCase{"http://h/search?key=abc", "h", 80, "search?key=abc"},
                      TSplitCase{"h/p?x", "h", 80, "p?x"}, TSplitCase{"http://h", "h", 80, ""},
                      TSplitCase{"http://127.0.0.1:8080/search?key=", "127.0.0.1", 8080, "search?key="},
                      TSplitCase{"127.0.0.1:8080//song/1/download", "127.0.0.1", 8080, "/song/1/download"},
                      TSplitCase{"http://h:80/a", "h", 80, "a"},
                      // Not a port: stays in the host, whose lookup then fails.
                      TSplitCase{"http://h:x/a", "h:x", 80, "a"}, TSplitCase{"http://h:70000/a", "h:70000", 80, "a"},
                      // Only the text after the first "http://" counts.
                      TSplitCase{"xx http://h/a?u=http://z", "h", 80, "a?u=http://z"}));

TEST(BuildRequest, APageOnPort80HasSixHeaderLinesAndNoPort) {
    EXPECT_EQ(BuildRequest("GET", "h", 80, "search?key=abc"), std::string("GET /search?key=abc HTTP/1.1\r\n"
                                                                          "Referer: http://h/search?key=abc\r\n") +
                                                                  PageAgent +
                                                                  "Host: h\r\n"
                                                                  "Connection: Close\r\n"
                                                                  "Cache-Control: no-cache\r\n"
                                                                  "\r\n");
}

TEST(BuildRequest, AnotherPortIsWrittenInRefererAndHost) {
    EXPECT_EQ(BuildRequest("GET", "127.0.0.1", 8080, "/top"), std::string("GET //top HTTP/1.1\r\n"
                                                                          "Referer: http://127.0.0.1:8080//top\r\n") +
                                                                  PageAgent +
                                                                  "Host: 127.0.0.1:8080\r\n"
                                                                  "Connection: Close\r\n"
                                                                  "Cache-Control: no-cache\r\n"
                                                                  "\r\n");
}

TEST(BuildRequest, AnEmptyPathAsksForTheRoot) {
    EXPECT_EQ(BuildRequest("GET", "h", 80, "").value().substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(BuildRequest, ASearchPathWithBlanksIsSentEscapedInRequestLineAndReferer) {
    const std::string path = EscapeSpaces(SplitUrl("http://h/search?key=a b  c").Path);
    EXPECT_EQ(path, "search?key=a%20b%20%20c");
    const std::string text = BuildRequest("GET", "h", 80, path).value();
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "GET /search?key=a%20b%20%20c HTTP/1.1");
    EXPECT_NE(text.find("Referer: http://h/search?key=a%20b%20%20c\r\n"), std::string::npos);
}

TEST(BuildRequest, TheLyricSiteGetsTheBrowserHeadersItsAgentAndNoCacheLine) {
    EXPECT_EQ(BuildRequest("GET", "l", 81, "m?x=1", TRequestKind::Lyric, true),
              std::string("GET /m?x=1 HTTP/1.1\r\n"
                          "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                          "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
                          "application/msword, application/x-silverlight, */*\r\n"
                          "Accept-Language: zh-cn\r\n"
                          "UA-CPU: x86\r\n"
                          "Referer: http://l:81/m?x=1\r\n") +
                  LyricAgent +
                  "Host: l:81\r\n"
                  "Connection: Close\r\n"
                  "\r\n");
    EXPECT_EQ(BuildRequest("GET", "l", 80, "m", TRequestKind::Lyric, false),
              std::string("GET /m HTTP/1.1\r\nReferer: http://l/m\r\n") + LyricAgent +
                  "Host: l\r\nConnection: Close\r\n\r\n");
}

TEST(BuildRangeRequest, AddsAcceptAndTheInclusiveRange) {
    EXPECT_EQ(BuildRangeRequest("GET", "f", "/data/a b.mp3", 80, 1025, 2051),
              std::string("GET //data/a b.mp3 HTTP/1.1\r\n"
                          "Referer: http://f//data/a b.mp3\r\n") +
                  PageAgent +
                  "Host: f\r\n"
                  "Accept: */*\r\n"
                  "Connection: Close\r\n"
                  "Cache-Control: no-cache\r\n"
                  "Range: bytes=1025-2051\r\n"
                  "\r\n");
}

TEST(BuildRangeRequest, AHeadWithoutARangeHasNoRangeLine) {
    EXPECT_EQ(BuildRangeRequest("HEAD", "f", "x", 8000, 0, 0),
              std::string("HEAD /x HTTP/1.1\r\nReferer: http://f:8000/x\r\n") + PageAgent +
                  "Host: f:8000\r\nAccept: */*\r\nConnection: Close\r\nCache-Control: no-cache\r\n\r\n");
}

// Every request kind the program sends, built for one host and path.
struct TRequestKindCase {
    const char* Kind;
    std::optional<std::string> (*Build)(const std::string& host, const std::string& path);
};

const TRequestKindCase kEveryRequestKind[] = {
    {"search or download page",
     [](const std::string& h, const std::string& p) { return BuildRequest("GET", h, 80, p); }},
    {"chart", [](const std::string& h, const std::string& p) { return BuildRequest("GET", h, 8080, "/" + p); }},
    {"lyric search",
     [](const std::string& h, const std::string& p) { return BuildRequest("GET", h, 80, p, TRequestKind::Lyric); }},
    {"lyric file", [](const std::string& h,
                      const std::string& p) { return BuildRequest("GET", h, 80, p, TRequestKind::Lyric, true); }},
    {"size probe",
     [](const std::string& h, const std::string& p) { return BuildRangeRequest("HEAD", h, p, 80, 0, 0); }},
    {"range", [](const std::string& h, const std::string& p) { return BuildRangeRequest("GET", h, p, 80, 5, 9); }},
};

TEST(RequestGuard, RefusesControlBytesInHostOrPathAndBlanksInTheHostForEveryRequestKind) {
    struct TTarget {
        std::string Host, Path;
        bool Allowed;
    };
    const TTarget targets[] = {
        {"h", "a.mp3", true},
        {"h", "a b.mp3?x=%0d", true},    // a blank in a path is the caller's to escape; "%0d" is text
        {"h", "\xE6\xAD\x8C.mp3", true}, // UTF-8 bytes above 0x7F pass
        {"h", "a.mp3\r\nX-Injected: 1", false},
        {"h", "a.mp3\r", false},
        {"h", "a.mp3\n", false},
        {"h", std::string("a\0.mp3", 6), false},
        {"h", "a\x01.mp3", false},
        {"h", "a\x1F.mp3", false},
        {"h", "a\t.mp3", false},
        {"h", "a\x7F.mp3", false},
        {"h\r\nX: 1", "a.mp3", false},
        {std::string("h\0", 2), "a.mp3", false},
        {"h\x7F", "a.mp3", false},
        {"h x", "a.mp3", false},
        {"h\t", "a.mp3", false},
    };
    for (const TRequestKindCase& kind : kEveryRequestKind) {
        for (const TTarget& target : targets) {
            EXPECT_EQ(RequestTargetAllowed(target.Host, target.Path), target.Allowed)
                << kind.Kind << " " << ::testing::PrintToString(target.Host + "/" + target.Path);
            EXPECT_EQ(kind.Build(target.Host, target.Path).has_value(), target.Allowed)
                << kind.Kind << " " << ::testing::PrintToString(target.Host + "/" + target.Path);
        }
    }
}

} // namespace
