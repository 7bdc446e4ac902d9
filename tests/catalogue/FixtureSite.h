#pragma once
// A small music site for the worker tests: a page server that answers the
// search, download, chart overview and chart paths with fixture pages, and
// can be told to hang on one path. And a site of one large page, for workers
// stopped while they scrape it.

#include "../http/PageServer.h"
#include "../speaker/SpeakerPeer.h"
#include "SiteFixtures.h"
#include "http/untHttpFetch.h"

namespace zv2::test {

class TFixtureSite {
public:
    explicit TFixtureSite(std::vector<TFixtureSong> songs)
        : Songs_(std::move(songs)), Server_([this](const std::string& request) { return Answer(request); }) {}

    // Requests for this path get the reply headers and then nothing, until the site ends.
    std::string HangOn;
    // Download pages of these song links have no file link.
    std::vector<std::string> NoLink;

    TPageServer& Server() { return Server_; }
    std::string Site() const { return Server_.Site(); }
    std::string SearchUrl() const { return "http://" + Site() + "/search?key="; }

    int RequestsFor(const std::string& needle) const {
        int n = 0;
        for (const auto& request : Server_.Requests())
            n += RequestPath(request).find(needle) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    TReply Answer(const std::string& request) {
        const std::string path = RequestPath(request);
        if (!HangOn.empty() && path == HangOn)
            return {"HTTP/1.1 200 OK\r\n\r\n", true};
        if (path.starts_with("/search?"))
            return {HtmlReply(SearchPage(Songs_))};
        if (path == "//top") {
            std::vector<std::pair<std::string, std::string>> charts;
            for (int i = 1; i <= 17; ++i)
                charts.push_back({"Chart " + std::to_string(i), "/top/c" + std::to_string(i)});
            return {HtmlReply(ChartOverview(charts))};
        }
        if (path.starts_with("//top/c")) {
            std::vector<std::pair<std::string, std::string>> songs;
            for (int i = 1; i <= 50; ++i)
                songs.push_back({path.substr(6) + " song " + std::to_string(i), "Singer " + std::to_string(i)});
            return {HtmlReply(ChartPage(songs))};
        }
        for (const auto& song : Songs_) {
            if (path != "/" + song.Link + "/download")
                continue;
            for (const auto& missing : NoLink)
                if (missing == song.Link)
                    return {HtmlReply("<html>no link</html>")};
            return {HtmlReply(DownloadPage("/data" + song.Link + ".mp3"))};
        }
        return {"HTTP/1.1 404 Not Found\r\n\r\n"};
    }

    std::vector<TFixtureSong> Songs_;
    TPageServer Server_;
};

// How long a test waits at most for a worker to end once stopped while it
// scrapes a page as large as a fetch keeps. It only bounds a failure (such a
// scrape used to take minutes); sanitizer builds take seconds to receive and
// check the page before the scrape begins.
inline constexpr int kLargePageGiveUpMs = 60000;

// Answers every request with one page (a probe of its own with nothing).
class TOnePageSite {
public:
    explicit TOnePageSite(const std::string& page)
        : Reply_(HtmlReply(page)), Server_([this](const std::string& request) {
              return TReply{RequestPath(request) == "/probe" ? HtmlReply("") : Reply_};
          }) {}

    std::string Site() const { return Server_.Site(); }

    // Waits until a worker's request has come and its reply has been sent
    // whole: the server answers one connection at a time, so it answers a
    // probe of our own only after that reply. The worker is then reading the
    // last of the page or scraping it.
    bool WaitUntilPageSent() {
        if (!Server_.WaitForRequests(1, GiveUpMs))
            return false;
        http::THttpFetch probe;
        return probe.Fetch({.Host = "127.0.0.1", .Port = Server_.Port(), .Path = "probe"}).Status ==
               http::TFetchStatus::Complete;
    }

private:
    const std::string Reply_;
    TPageServer Server_;
};

} // namespace zv2::test
