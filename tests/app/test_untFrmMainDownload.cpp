// The download tab end to end: search rows downloaded through the window from
// the local music site and from loopback file servers that close early or
// hang, and downloads killed half way that the next start continues; inside
// a private network namespace when the process may make one.
#include "app/untFrmMain.h"

#include "../download/FileServer.h"
#include "../download/ResumeRecords.h"
#include "../speaker/PrivateNetwork.h"
#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "catalogue/untSitePages.h"
#include "download/untDownloadList.h"
#include "http/untHttpFetch.h"
#include "platform/IniFile.h"
#include "platform/net/TcpSocket.h"
#include "tools/LocalMusicSite.h"
#include "tools/MusicSiteProcess.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTreeView>
#include <chrono>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace zv2;

using zv2::test::ReadFile;

namespace {

// Before any thread starts.
const bool kPrivateNetwork = test::EnterPrivateNetwork();

// The search list's download address of song `id` of the site, made as the
// search worker makes it: the site's host followed by the download page's
// "downlink=" value.
std::string DownloadAddress(std::uint16_t port, int id) {
    const std::string site = "127.0.0.1:" + std::to_string(port);
    const std::string request =
        "GET /song/" + std::to_string(id) + "/download HTTP/1.1\r\nHost: " + site + "\r\nConnection: Close\r\n\r\n";
    platform::TTcpSocket socket;
    std::string page;
    if (socket.Connect("127.0.0.1", port, 20000) == platform::TNetResult::Ok &&
        socket.SendAll(request.data(), request.size(), 20000) == platform::TNetResult::Ok) {
        char buffer[1024];
        std::size_t got = 0;
        while (socket.Receive(buffer, sizeof buffer, got, 20000) == platform::TNetResult::Ok)
            page.append(buffer, got);
    }
    const std::string marker = "downlink=\"";
    const auto at = page.find(marker);
    if (at == std::string::npos)
        return {};
    return site + page.substr(at + marker.size(), page.find('"', at + marker.size()) - at - marker.size());
}

// A program folder; `settings` are more lines of its Download.ini.
struct THome {
    test::TTempDir Home;
    explicit THome(const std::string& settings = {}) {
        std::ofstream(Home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n" << settings;
    }
};

// The designed pace, with a short silence limit so that a hanging site fails soon.
download::TEngineTiming ShortSilence() {
    download::TEngineTiming timing;
    timing.ReceiveTimeoutMs = 1500;
    return timing;
}

struct THomeOfWindow {
    explicit THomeOfWindow(std::shared_ptr<THome> home) : Kept(std::move(home)), Home(Kept->Home) {}
    std::shared_ptr<THome> Kept;
    test::TTempDir& Home;
};

// The window over a new program folder, or over one an earlier run used.
struct TWindow : THomeOfWindow, test::TTestWindow {
    explicit TWindow(std::shared_ptr<THome> home = std::make_shared<THome>())
        : THomeOfWindow(std::move(home)), TTestWindow(Home.Path() + "/", test::FreePortLink(), ShortSilence()) {}

    // Adds a search result row as the search worker delivers it; returns its row.
    int AddSearchRow(const std::string& name, const std::string& url) {
        catalogue::TSearchRow song;
        song.SongName = name;
        song.SongLink = url;
        Form->SearchRows().Append(song);
        return Form->SearchRows().rowCount() - 1;
    }
    void DoubleClick(int row) {
        Form->lvMusicLst->clearSelection();
        test::SelectRow(Form->lvMusicLst, row);
        emit Form->lvMusicLst->doubleClicked(Form->lvMusicLst->model()->index(row, 1));
    }
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            Ui.WaitAndRun(50);
            QApplication::processEvents();
        }
        return true;
    }
    int Rows(int image) const {
        int n = 0;
        for (int i = 0; i < test::RowCount(Form->lvDownload); ++i)
            n += test::RowImage(Form->lvDownload, i) == image;
        return n;
    }
    std::string Music(const std::string& name) const { return Home.File("Music/" + name); }
};

} // namespace

TEST(DownloadTab, SongsFromTheSearchListLandInTheMusicFolderAndThePlaylist) {
    if (!kPrivateNetwork)
        GTEST_SKIP() << "no private network namespace can be made here";
    const std::string small = test::SongBytes(5000, 1), large = test::SongBytes(120000, 2);
    const test::TLocalMusicSite site({{"small.mp3", small}, {"large.mp3", large}, {"x.mp3", small}, {"ab.mp3", large}});
    test::TFileServer closing, hanging;
    closing.AddFile("/bad.mp3", large);
    closing.SetMode(test::TFileServer::TMode::CloseEarly);
    hanging.AddFile("/hang.mp3", large);
    hanging.SetMode(test::TFileServer::TMode::Hang);

    TWindow w;
    const std::size_t listed = w.Form->PlayList().Count();
    const int first = w.AddSearchRow("small", site.FileUrl("small.mp3"));
    const std::vector<std::pair<std::string, std::string>> others = {
        {"large", site.FileUrl("large.mp3")}, {"../x", site.FileUrl("x.mp3")},    {"a/b", site.FileUrl("ab.mp3")},
        {"bad", closing.Url("/bad.mp3")},     {"hang", hanging.Url("/hang.mp3")},
    };
    w.DoubleClick(first);
    for (const auto& [name, url] : others)
        w.DoubleClick(w.AddSearchRow(name, url));
    ASSERT_EQ(test::RowCount(w.Form->lvDownload), 6);
    EXPECT_EQ(test::Cell(w.Form->lvDownload, 2, 1), ".._x.mp3");

    w.DoubleClick(first);
    ASSERT_FALSE(w.Dialogs->Shown.empty());
    EXPECT_EQ(w.Dialogs->Shown.back().Text, "该音乐已经在下载中或者已经下载完成！");
    EXPECT_EQ(w.Dialogs->Shown.back().Caption, "出错");

    ASSERT_TRUE(w.RunUntil([&] { return w.Form->PlayList().Count() == listed + 4 && w.Rows(3) == 2; }));
    EXPECT_EQ(test::RowCount(w.Form->lvDownload), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(test::Cell(w.Form->lvDownload, i, 2), "0.00 %");
    EXPECT_EQ(ReadFile(w.Music("small.mp3")), small);
    EXPECT_EQ(ReadFile(w.Music("large.mp3")), large);
    EXPECT_EQ(ReadFile(w.Music(".._x.mp3")), small);
    EXPECT_EQ(ReadFile(w.Music("a_b.mp3")), large);
    EXPECT_FALSE(std::filesystem::exists(w.Home.File("x.mp3")));
    EXPECT_FALSE(std::filesystem::exists(w.Music("bad.mp3")));
    EXPECT_FALSE(std::filesystem::exists(w.Music("hang.mp3")));
    std::vector<std::string> paths = w.Form->PlayList().Paths();
    paths.erase(paths.begin(), paths.begin() + static_cast<long>(listed));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{w.Music(".._x.mp3"), w.Music("a_b.mp3"), w.Music("large.mp3"),
                                               w.Music("small.mp3")}));

    emit w.Form->pmTaskMgr->aboutToShow();
    EXPECT_TRUE(w.Form->mniClrError->isEnabled());
    w.Form->mniClrError->trigger();
    EXPECT_EQ(test::RowCount(w.Form->lvDownload), 0);

    // A download still running when the window goes: the close does not wait for the site.
    hanging.AddFile("/hang2.mp3", large);
    w.DoubleClick(w.AddSearchRow("hang2", hanging.Url("/hang2.mp3")));
    ASSERT_TRUE(w.RunUntil([&] { return w.Rows(1) == 1; }));
    w.Form.reset();
    EXPECT_FALSE(std::filesystem::exists(w.Music("hang2.mp3")));
}

TEST(DownloadTab, SongsFromTheLocalMusicSiteAreSavedWholeAndListed) {
    if (!kPrivateNetwork)
        GTEST_SKIP() << "no private network namespace can be made here";
    // Song ids follow the sorted file names: "Large Song.mp3" is 1, "Small.mp3" 2.
    const std::string large = test::SongBytes(300000, 3), small = test::SongBytes(2000, 4);
    const test::TLocalMusicSite site({{"Large Song.mp3", large}, {"Small.mp3", small}});
    const std::uint16_t port = site.Port();

    TWindow w;
    const std::size_t listed = w.Form->PlayList().Count();
    const std::string largeUrl = DownloadAddress(port, 1), smallUrl = DownloadAddress(port, 2);
    ASSERT_FALSE(largeUrl.empty());
    ASSERT_FALSE(smallUrl.empty());
    w.DoubleClick(w.AddSearchRow("Large Song", largeUrl));
    w.DoubleClick(w.AddSearchRow("Small", smallUrl));
    ASSERT_TRUE(w.RunUntil([&] { return w.Form->PlayList().Count() == listed + 2 || w.Rows(3) > 0; }));
    EXPECT_EQ(w.Rows(3), 0);
    EXPECT_EQ(ReadFile(w.Music("Large Song.mp3")), large);
    EXPECT_EQ(ReadFile(w.Music("Small.mp3")), small);
    EXPECT_EQ(test::RowCount(w.Form->lvDownload), 0);
    // Already in the settings file while the window runs: a crash now loses neither song.
    const platform::TIniFile ini(w.Home.File("Download.ini"));
    const auto count = static_cast<std::size_t>(ini.ReadInteger("MusicList", "MusicCount", 0));
    ASSERT_EQ(count, listed + 2);
    std::set<std::string> saved;
    for (std::size_t i = listed; i < count; ++i)
        saved.insert(ini.ReadString("MusicList", "Music" + std::to_string(i), ""));
    EXPECT_EQ(saved, (std::set<std::string>{w.Music("Large Song.mp3"), w.Music("Small.mp3")}));
}

TEST(DownloadTab, ADownloadPageWhoseLinkHoldsALineBreakGivesAFailedRowAndSendsNothing) {
    if (!kPrivateNetwork)
        GTEST_SKIP() << "no private network namespace can be made here";
    test::TFileServer site;
    site.AddFile("/a.mp3", test::SongBytes(5000));
    site.AddFile("/song/1/download", "<html><input type=\"hidden\" downlink=\"/a.mp3 HTTP/1.1\r\nX-Injected: 1\r\n"
                                     "\r\nHEAD /a.mp3\" /></html>");
    // The song's file address as the search worker reads it off its download page.
    http::THttpFetch fetch;
    const std::string siteHost = "127.0.0.1:" + std::to_string(site.Port());
    const std::string link =
        catalogue::DownloadLinkOf(fetch.FetchPage({"127.0.0.1", site.Port(), "song/1/download"}).Text, siteHost);
    ASSERT_EQ(link.rfind(siteHost + "/a.mp3 HTTP/1.1\r\n", 0), 0u) << link;
    ASSERT_EQ(site.Requests().size(), 1u);

    TWindow w;
    w.DoubleClick(w.AddSearchRow("a", link));
    ASSERT_TRUE(w.RunUntil([&] { return w.Rows(3) == 1; }));
    EXPECT_EQ(test::Cell(w.Form->lvDownload, 0, 2), "0.00 %");
    EXPECT_EQ(site.Requests().size(), 1u)
        << "only the download page: no probe, no range: " << ::testing::PrintToString(site.Requests());
    EXPECT_FALSE(std::filesystem::exists(w.Music("a.mp3")));
}

namespace {

constexpr std::int64_t kSongSize = 20'000'000, kHalf = kSongSize / 2;

// tests/download/DownloadChild.cpp, beside this test program.
std::string DownloadChild() {
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return {};
    return std::filesystem::path(self).parent_path() / "download_child";
}

// A library of one song of kSongSize bytes, "Song.mp3" (id 1 on the site).
struct TLibrary {
    test::TTempDir Dir;
    std::string Folder = Dir.File("music");
    std::string Song = test::SongBytes(kSongSize, 7);
    TLibrary() {
        std::filesystem::create_directories(Folder);
        std::ofstream(Folder + "/Song.mp3", std::ios::binary) << Song;
    }
};

// What the first run left: the site's port, the unfinished download.
struct THalfWay {
    std::uint16_t Port = 0;
    std::optional<download::TUnfinishedSong> Left;
};

// The first run: a process downloads the song at full speed into the
// download folder of `home` from a site that stalls at its half, and is killed
// (SIGKILL) as soon as its resume record names the half. The site ends with it.
THalfWay KillHalfWay(const TLibrary& library, const THome& home) {
    THalfWay half;
    const test::TMusicSiteProcess site({"--music", library.Folder, "--stall-at", std::to_string(kHalf)});
    if (!site.Listening())
        return half;
    half.Port = site.Port;
    const std::string folder = home.Home.File("Music");
    test::TChildProcess child({DownloadChild(), folder, "Song.mp3", DownloadAddress(site.Port, 1)});
    half.Left = test::WaitForRecord(folder, [](const download::TResumeRecord& r) { return r.Complete() >= kHalf; });
    child.Signal(SIGKILL);
    child.Wait();
    return half;
}

// The byte ranges (first, last) that the site's log shows asked for with
// GET, and how many HEAD requests it shows.
struct TAsked {
    std::vector<std::pair<std::int64_t, std::int64_t>> Ranges;
    int Gets = 0;
    int Heads = 0;
};
TAsked AskedOf(const std::string& log) {
    TAsked asked;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        asked.Heads += line.find("\"HEAD /file/") != std::string::npos;
        if (line.find("\"GET /file/") == std::string::npos)
            continue;
        ++asked.Gets;
        const auto at = line.find("\"Range: bytes=");
        if (at == std::string::npos)
            continue;
        std::int64_t first = -1, last = -1;
        std::sscanf(line.c_str() + at, "\"Range: bytes=%lld-%lld", reinterpret_cast<long long*>(&first),
                    reinterpret_cast<long long*>(&last));
        asked.Ranges.emplace_back(first, last);
    }
    return asked;
}

// A home with full speed on, after a first run killed half way.
struct DownloadKilledHalfWay : ::testing::Test {
    void SetUp() override {
        if (!kPrivateNetwork)
            GTEST_SKIP() << "no private network namespace can be made here";
        half = KillHalfWay(library, *home);
        ASSERT_TRUE(half.Left) << "no record named the half";
    }
    const TLibrary library;
    const std::shared_ptr<THome> home = std::make_shared<THome>("[Download]\nFullSpeed=1\n");
    THalfWay half;
};

} // namespace

TEST_F(DownloadKilledHalfWay, IsListedAtTheNextStartAndGoesOnWithTheMissingBytesOnly) {
    const std::vector<download::TByteRange> recorded = half.Left->Record.Ranges;
    ASSERT_FALSE(std::filesystem::exists(home->Home.File("Music/Song.mp3")));

    // The same site again, on the same address: the same file.
    test::TMusicSiteProcess site({"--music", library.Folder, "--port", std::to_string(half.Port)});
    ASSERT_TRUE(site.Listening()) << site.Site.Err;
    TWindow w(home);
    ASSERT_EQ(test::RowCount(w.Form->lvDownload), 1);
    EXPECT_EQ(test::RowImage(w.Form->lvDownload, 0), download::diPaused);
    EXPECT_EQ(test::Cell(w.Form->lvDownload, 0, 1), "Song.mp3");
    EXPECT_EQ(test::Cell(w.Form->lvDownload, 0, 2), "50.00 %");
    EXPECT_EQ(test::Cell(w.Form->lvDownload, 0, 3), "20000000");
    const std::size_t listed = w.Form->PlayList().Count();

    emit w.Form->lvDownload->doubleClicked(w.Form->lvDownload->model()->index(0, 1));
    ASSERT_TRUE(w.RunUntil([&] { return w.Form->PlayList().Count() == listed + 1 || w.Rows(3) > 0; }));
    EXPECT_EQ(w.Rows(3), 0);
    EXPECT_TRUE(ReadFile(w.Music("Song.mp3")) == library.Song) << "not the song, byte for byte";
    EXPECT_EQ(w.Form->PlayList().Paths().back(), w.Music("Song.mp3"));
    EXPECT_EQ(test::FileNames(w.Home.File("Music")), std::vector<std::string>{"Song.mp3"})
        << "no temporary file or record left";

    // Every request has been logged once the site has ended.
    site.Site.Signal(SIGTERM);
    site.Site.Wait();
    const TAsked asked = AskedOf(site.Site.Err);
    EXPECT_EQ(asked.Heads, 1) << site.Site.Err;
    EXPECT_EQ(asked.Gets, static_cast<int>(asked.Ranges.size())) << "every GET asks for a range: " << site.Site.Err;
    EXPECT_FALSE(asked.Ranges.empty());
    for (const auto& [first, last] : asked.Ranges)
        for (const download::TByteRange& had : recorded)
            EXPECT_TRUE(last < had.Start || first >= had.End)
                << "bytes " << first << "-" << last << " were on disk already (" << had.Start << "-" << had.End << ")";
}

TEST_F(DownloadKilledHalfWay, StartsOverAndSavesTheNewFileWhenTheFileChangedOnTheServer) {
    // Another song under the same name and of the same size, an hour later.
    const std::string path = library.Folder + "/Song.mp3";
    const std::string changed = test::SongBytes(kSongSize, 8);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << changed;
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::hours(1));
    test::TMusicSiteProcess site({"--music", library.Folder, "--port", std::to_string(half.Port)});
    ASSERT_TRUE(site.Listening()) << site.Site.Err;

    TWindow w(home);
    ASSERT_EQ(test::RowCount(w.Form->lvDownload), 1);
    std::set<QString> speeds; // what the speed column of the row showed
    QObject::connect(w.Form->lvDownload->model(), &QAbstractItemModel::dataChanged, [&] {
        if (test::RowCount(w.Form->lvDownload) > 0)
            speeds.insert(test::Cell(w.Form->lvDownload, 0, 4));
    });
    const std::size_t listed = w.Form->PlayList().Count();
    test::SelectRow(w.Form->lvDownload, 0);
    emit w.Form->pmTaskMgr->aboutToShow();
    ASSERT_TRUE(w.Form->mniContinueTask->isEnabled());
    w.Form->mniContinueTask->trigger();
    ASSERT_TRUE(w.RunUntil([&] { return w.Form->PlayList().Count() == listed + 1 || w.Rows(3) > 0; }));
    EXPECT_TRUE(ReadFile(w.Music("Song.mp3")) == changed) << "not the new song, byte for byte";
    EXPECT_EQ(speeds.count(QString::fromUtf8(download::kRestartedText)), 1u) << "the row said it started over";

    site.Site.Signal(SIGTERM);
    site.Site.Wait();
    const TAsked asked = AskedOf(site.Site.Err);
    EXPECT_TRUE(std::any_of(asked.Ranges.begin(), asked.Ranges.end(), [](const auto& r) { return r.first == 0; }))
        << "from the first byte again: " << site.Site.Err;
}
