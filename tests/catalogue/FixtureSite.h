#pragma once
// Sites music-site cannot play, for the search workers' tests (a plain site is
// tools/LocalMusicSite.h): a search site of the test's own songs (names with
// entities, more songs than a page holds) with a download page each, that can
// be told to hang on one path or to give songs no file link. And a site of
// one large page, for workers stopped while they scrape it.

#include "../http/PageServer.h"
#include "../speaker/SpeakerPeer.h"
#include "SiteFixtures.h"

namespace zv2::test {

class TFixtureSite {
public:
    explicit TFixtureSite(std::vector<TFixtureSong> songs) : Songs_(std::move(songs)) {}

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
    TPageServer Server_{[this](const std::string& request) { return Answer(request); }};
};

// How long a test waits at most for a worker to end once stopped while it
// scrapes a page as large as a fetch keeps. It only bounds a failure (such a
// scrape used to take minutes); sanitizer builds take seconds to receive and
// check the page before the scrape begins.
inline constexpr int kLargePageGiveUpMs = 60000;

// Answers every request with one page.
class TOnePageSite {
public:
    explicit TOnePageSite(const std::string& page) : Reply_(HtmlReply(page)) {}

    std::string Site() const { return Server_.Site(); }

    // Waits until a worker's request has come and its reply has been sent
    // whole: the worker is then reading the last of the page or scraping it.
    bool WaitUntilPageSent() { return Server_.WaitForReplies(1, kLargePageGiveUpMs); }

private:
    const std::string Reply_;
    TPageServer Server_{[this](const std::string&) { return TReply{Reply_}; }};
};

} // namespace zv2::test
