#include "lyrics/untLRCSvr.h"

#include "../http/PageServer.h"
#include "TempDir.h"
#include "tools/LocalMusicSite.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

using namespace zv2;
using namespace zv2::lyrics;
using zv2::test::ReadFile;

namespace {

// "LRC歌词来自：" in GBK, as the lyric site writes it before each link.
const std::string kMarker = "LRC\xB8\xE8\xB4\xCA\xC0\xB4\xD7\xD4\xA3\xBA";
const std::string kLyric = "[ti:Song]\r\n[00:01.00]first line\r\n[00:02.00]second line\r\n";

// What the lyric site's file address answers.
enum class TFileReply { Good, NoReply, HeaderOnly, NotFound, ShortBody, Chunked, NotLyrics, Hang };

struct TLyricSite {
    // `linkTail` follows the path of the first link on the search page.
    explicit TLyricSite(TFileReply file, const std::string& linkTail = "")
        : Server([file, linkTail](const std::string& request) -> test::TReply {
              const std::string path = test::RequestPath(request);
              if (path.rfind("/m?", 0) == 0)
                  return {test::HtmlReply("<html>" + kMarker + "http://" + test::RequestHost(request) + "/lrc/1.lrc" +
                                          linkTail + "</a>" + kMarker + "http://" + test::RequestHost(request) +
                                          "/lrc/2.lrc</a></html>")};
              const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kLyric.size()) + "\r\n\r\n";
              switch (file) {
              case TFileReply::Good:
                  return {ok + kLyric};
              case TFileReply::NoReply:
                  return {""};
              case TFileReply::HeaderOnly:
                  return {ok};
              case TFileReply::NotFound:
                  return {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"};
              case TFileReply::ShortBody:
                  return {ok + kLyric.substr(0, 20)};
              case TFileReply::Chunked:
                  return {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n[00:01.00]line 1\r\n0\r\n\r\n"};
              case TFileReply::NotLyrics:
                  return {test::HtmlReply("<html>busy</html>")};
              case TFileReply::Hang:
                  return {"", true};
              }
              return {""};
          }) {}
    test::TPageServer Server;
};

// A worker over a lyric folder of the test's, its reports collected.
struct TWorker {
    TWorker(const std::string& site, http::TFetchLimits limits = {}) {
        TLyricTargets targets;
        targets.OnSaved = [this](const std::string& path) { Report("saved:" + path); };
        targets.OnList = [this](const std::vector<std::string>& links) {
            Report("list:" + (links.empty() ? std::string() : links.front()) + ":" + std::to_string(links.size()));
        };
        Thread = std::make_unique<TLRCSvrThread>(Home.Path() + "/", site, targets, limits);
        std::filesystem::create_directories(Folder());
        Thread->SetLyricFolder(Folder());
    }
    std::string Folder() const { return Home.File("lyrics"); }
    void Report(const std::string& line) {
        std::lock_guard lock(Mutex);
        Reports.push_back(line);
        Changed.notify_all();
    }
    // The report of the next request served.
    std::string Next() {
        std::unique_lock lock(Mutex);
        Changed.wait_for(lock, std::chrono::seconds(60), [&] { return Reports.size() > Taken; });
        return Reports.size() > Taken ? Reports[Taken++] : "none";
    }
    std::vector<std::string> FilesInFolder() const { return test::FileNames(Folder()); }

    test::TTempDir Home;
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::string> Reports;
    std::size_t Taken = 0;
    std::unique_ptr<TLRCSvrThread> Thread;
};

} // namespace

TEST(EncodeLyricKey, CopiesBytesUpTo128AndEncodesTheOthersInLowerCaseHex) {
    const std::pair<std::string, std::string> cases[] = {
        {"Slow River", "Slow River"},
        {"a&b=c?d/e%", "a&b=c?d/e%"},
        {"\x7F\x80", "\x7F\x80"},
        {"\x81", "%81"},
        {"\xAB\xFF", "%ab%ff"},
        {"\xD0\xA1\xD0\xC7\xD0\xC7 2", "%d0%a1%d0%c7%d0%c7 2"}, // "小星星 2" in GBK
        {"", ""},
    };
    for (const auto& [gbk, key] : cases)
        EXPECT_EQ(EncodeLyricKey(gbk), key);
}

TEST(ParseLyricResults, TakesTheFirstLinkAfterTheMarkerOnly) {
    std::vector<std::string> results{"kept"};
    EXPECT_TRUE(ParseLyricResults("<p>" + kMarker + "http://h/lrc/a.lrc</a>" + kMarker + "http://h/b.lrc<", results));
    EXPECT_EQ(results, (std::vector<std::string>{"kept", "http://h/lrc/a.lrc"}));

    results.clear();
    EXPECT_TRUE(ParseLyricResults(kMarker + "http://h/end.lrc", results)) << "the link runs to the page's end";
    EXPECT_EQ(results, (std::vector<std::string>{"http://h/end.lrc"}));

    results.clear();
    EXPECT_FALSE(ParseLyricResults("<p>LRC lyrics from: http://h/a.lrc</p>", results));
    EXPECT_FALSE(ParseLyricResults("", results));
    EXPECT_FALSE(ParseLyricResults(kMarker + "<a>", results)) << "an empty link is no result";
    EXPECT_TRUE(results.empty());
}

TEST(LRCSvrThread, MakesTheDefaultFolderAndSavesTheFirstLyricWhole) {
    const test::TLocalMusicSite site({}, {{"小星星 Live.lrc", kLyric}, {"Song.lrc", kLyric}});
    TWorker w(site.Site());
    EXPECT_TRUE(std::filesystem::is_directory(w.Home.File("LRCs")));

    // What a save cut short by a crash left (no process has a number that high).
    std::ofstream(w.Folder() + "/.zv2-99999999-0.tmp") << "[00:01.00]half";
    w.Thread->Post("小星星 Live", lrSearchAndSave);
    const std::string saved = LyricFilePath(w.Folder(), "小星星 Live");
    EXPECT_EQ(w.Next(), "saved:" + saved);
    EXPECT_EQ(ReadFile(saved), kLyric);
    EXPECT_EQ(w.FilesInFolder(), std::vector<std::string>{"小星星 Live.lrc"})
        << "no temporary file is left, old or new";
    const auto requests = site.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // The name goes out in GBK; its blank as "%20", since a request line cannot hold a raw one.
    EXPECT_EQ(requests[0], "GET /m?f=ms&rn=10&tn=baidump3lyric&ct=150994944&word=%d0%a1%d0%c7%d0%c7%20Live HTTP/1.1");
    EXPECT_EQ(requests[1], "GET " + site::LyricPath(*site.Library().LyricByName("小星星 Live.lrc")) + " HTTP/1.1");

    w.Thread->Post("Song", lrSearchOnly);
    EXPECT_EQ(w.Next(), "list:http://" + site.Site() + "/lrc/Song.lrc:1");
    EXPECT_EQ(site.Requests()[2], "GET /m?tn=baidump3lyric&ct=150994944&word=Song HTTP/1.1");
}

TEST(LRCSvrThread, AFailedDownloadWritesNothingAndKeepsAGoodFile) {
    const std::string old = "[00:00.50]the old good line\n";
    for (const TFileReply reply : {TFileReply::NoReply, TFileReply::HeaderOnly, TFileReply::NotFound,
                                   TFileReply::ShortBody, TFileReply::Chunked, TFileReply::NotLyrics}) {
        TLyricSite site(reply);
        TWorker w(site.Server.Site());
        w.Thread->Post("Fresh", lrSearchAndSave);
        EXPECT_EQ(w.Next(), "saved:") << static_cast<int>(reply);
        EXPECT_TRUE(w.FilesInFolder().empty()) << static_cast<int>(reply);

        std::ofstream(LyricFilePath(w.Folder(), "Kept"), std::ios::binary) << old;
        w.Thread->Post("Kept", lrSearchAndSave);
        EXPECT_EQ(w.Next(), "saved:") << static_cast<int>(reply);
        EXPECT_EQ(ReadFile(LyricFilePath(w.Folder(), "Kept")), old) << static_cast<int>(reply);
        EXPECT_EQ(w.FilesInFolder(), std::vector<std::string>{"Kept.lrc"}) << static_cast<int>(reply);
    }
}

TEST(LRCSvrThread, ANameWithSlashesAndDotsStaysInsideTheLyricFolder) {
    TLyricSite site(TFileReply::Good);
    TWorker w(site.Server.Site());
    for (const std::string name : {"../x", "a/../../y", ".."}) {
        w.Thread->Post(name, lrSearchAndSave);
        const std::string report = w.Next();
        ASSERT_EQ(report.rfind("saved:", 0), 0u) << report;
        const std::filesystem::path saved = report.substr(6);
        EXPECT_EQ(saved.parent_path(), std::filesystem::path(w.Folder())) << name;
        EXPECT_EQ(ReadFile(saved), kLyric) << name;
    }
    EXPECT_EQ(w.FilesInFolder().size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(w.Home.File("x.lrc")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(w.Home.Path()).parent_path() / "y.lrc"));
}

TEST(LRCSvrThread, ALinkHoldingALineBreakIsNotFetched) {
    TLyricSite site(TFileReply::Good, " HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET /lrc/1.lrc");
    TWorker w(site.Server.Site());
    w.Thread->Post("Song", lrSearchAndSave);
    EXPECT_EQ(w.Next(), "saved:");
    EXPECT_EQ(site.Server.Requests().size(), 1u) << "only the search";
    EXPECT_TRUE(w.FilesInFolder().empty());
}

TEST(LRCSvrThread, StopCutsAHungDownloadShortAndReportsNothing) {
    TLyricSite site(TFileReply::Hang);
    http::TFetchLimits patient;
    patient.TimeLimitMs = 3600000; // only Stop can end the fetch
    {
        TWorker w(site.Server.Site(), patient);
        w.Thread->Post("Hung", lrSearchAndSave);
        w.Thread->Post("Queued", lrSearchAndSave);
        ASSERT_TRUE(site.Server.WaitForRequests(2, 60000));
        EXPECT_TRUE(w.Thread->Busy());
        w.Thread->Stop();
        w.Thread.reset(); // waits for the thread
        EXPECT_TRUE(w.Reports.empty());
        EXPECT_TRUE(w.FilesInFolder().empty());
    }
    EXPECT_EQ(site.Server.Requests().size(), 2u) << "the queued request was dropped";
}
