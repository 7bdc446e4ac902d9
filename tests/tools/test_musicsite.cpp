// The local music site, run as a program on 127.0.0.1 and asked with the
// very request texts the program's fetchers send (doubled slashes, the
// download engine's lower-cased addresses, the lyric site's GBK query).

#include "http/untHttpRequest.h"
#include "platform/TextCodec.h"
#include "platform/net/TcpSocket.h"

#include "TempDir.h"
#include "speaker/PrivateNetwork.h"
#include "tools/MusicSiteProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>

using namespace zv2;
using http::BuildRangeRequest;
using http::BuildRequest;
using http::TRequestKind;
using test::TChildProcess;

namespace {

constexpr int GiveUpMs = 20000;

// Bytes that differ from file to file and from offset to offset.
std::string FileBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t Count(const std::string& in, const std::string& text) {
    return static_cast<std::size_t>(TChildProcess::Occurrences(in, text));
}

// The text between the first `open` after `from` and the next `close`.
std::string Between(const std::string& in, const std::string& open, const std::string& close, std::size_t from = 0) {
    const auto start = in.find(open, from);
    if (start == std::string::npos)
        return {};
    const auto end = in.find(close, start + open.size());
    return end == std::string::npos ? std::string() : in.substr(start + open.size(), end - start - open.size());
}

struct TReply {
    std::string Head; // status line and headers
    std::string Body;
};

// The lyric site's query key: GBK bytes above 128 as "%xx", the rest unchanged.
std::string LyricKey(const std::string& utf8) {
    const std::optional<std::string> gbk = platform::Utf8ToGbk(utf8);
    std::string key;
    char hex[4];
    for (const char c : gbk.value_or("")) {
        if (static_cast<unsigned char>(c) > 128) {
            std::snprintf(hex, sizeof hex, "%%%.2x", static_cast<unsigned char>(c));
            key += hex;
        } else {
            key += c;
        }
    }
    return key;
}

class MusicSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The site listens on 127.0.0.1 only; a namespace of its own, where the
        // test may make one, is a further fence.
        test::EnterPrivateNetwork();
        const std::string music = Dir.File("music"), lyrics = Dir.File("lyrics");
        std::filesystem::create_directories(music + "/more");
        std::filesystem::create_directories(lyrics);
        const std::map<std::string, std::size_t> files = {
            {"Alpha Band - Morning Bell.mp3", 10000},
            {"Beta & Co - Don't Stop.mp3", 5000},
            {"小星星.mp3", 3071},
            {"more/Gamma - Slow River.mp3", 4096},
        };
        unsigned seed = 1;
        for (const auto& [name, size] : files) {
            Files[name] = FileBytes(size, seed++);
            WriteFile(music + "/" + name, Files[name]);
        }
        for (int i = 1; i <= 23; ++i)
            WriteFile(music + "/Filler - Track " + std::to_string(i) + ".mp3", FileBytes(100, seed++));
        WriteFile(music + "/notes.txt", "not a song");
        Lyric = "[ti:小星星]\n[00:00.50]一闪一闪亮晶晶\n";
        WriteFile(lyrics + "/小星星.lrc", Lyric);

        WriteFile(Dir.File("catalogue.txt"), "# file, title, artist\n"
                                             "more/Gamma - Slow River.mp3\tSlow River (Live)\tThe Trio\n"
                                             "\n"
                                             "Missing.mp3\tNo Such Song\n"
                                             "a line without a tab\n");

        Running = std::make_unique<test::TMusicSiteProcess>(
            std::vector<std::string>{"--music", music, "--lyrics", lyrics, "--catalogue", Dir.File("catalogue.txt")},
            GiveUpMs);
        ASSERT_TRUE(Running->Listening()) << Running->Site.Out << Running->Site.Err;
        Tool = &Running->Site;
        Port = Running->Port;
    }

    void TearDown() override {
        if (Tool) {
            Tool->Signal(SIGTERM);
            EXPECT_EQ(Tool->Wait(), 0) << Tool->Err;
        }
    }

    // Sends `request` (and `extra` after it) on a fresh connection and reads
    // until the site closes it.
    TReply Send(const std::string& request, const std::string& extra = {}) const {
        platform::TTcpSocket socket;
        EXPECT_EQ(socket.Connect("127.0.0.1", Port, GiveUpMs), platform::TNetResult::Ok);
        EXPECT_EQ(socket.SendAll(request.data(), request.size(), GiveUpMs), platform::TNetResult::Ok);
        if (!extra.empty())
            socket.SendAll(extra.data(), extra.size(), GiveUpMs);
        std::string all;
        char buffer[1024];
        std::size_t got = 0;
        while (socket.Receive(buffer, sizeof buffer, got, GiveUpMs) == platform::TNetResult::Ok)
            all.append(buffer, got);
        const auto end = all.find("\r\n\r\n");
        if (end == std::string::npos)
            return {all, {}};
        return {all.substr(0, end + 2), all.substr(end + 4)};
    }

    // A page as the search and chart fetches ask for it: the site path with its "/".
    TReply Page(const std::string& sitePath) const {
        return Send(BuildRequest("GET", "127.0.0.1", Port, sitePath).value());
    }

    test::TTempDir Dir;
    std::map<std::string, std::string> Files;
    std::string Lyric;
    std::unique_ptr<test::TMusicSiteProcess> Running;
    TChildProcess* Tool = nullptr; // its process, with the request log
    std::uint16_t Port = 0;
};

} // namespace

TEST_F(MusicSiteTest, HelpDescribesTheCatalogueFileAndBadOptionsEndBeforeListening) {
    TChildProcess help({test::TMusicSiteProcess::Program(), "--help"});
    EXPECT_EQ(help.Wait(), 0);
    for (const char* text : {"--bind", "--port", "--music", "--lyrics", "--catalogue", "FILE<TAB>TITLE[<TAB>ARTIST]"})
        EXPECT_NE(help.Out.find(text), std::string::npos) << text;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port", "70000"}, {"--bind", "music.example"}, {"--music", Dir.File("none")}, {"--frobnicate"}}) {
        std::vector<std::string> argv = {test::TMusicSiteProcess::Program(), "--music", Dir.Path()};
        argv.insert(argv.end(), args.begin(), args.end());
        TChildProcess bad(argv);
        EXPECT_EQ(bad.Wait(), 2) << args[0];
        EXPECT_EQ(bad.Out.find("listening"), std::string::npos) << args[0];
    }
}

TEST_F(MusicSiteTest, SearchFindsTheKeyInTitleOrArtistAndListsAtMostTwentyItems) {
    struct TCase {
        std::string Key; // as the search tab encodes it
        std::size_t Items;
    };
    const std::vector<TCase> cases = {
        {"morning", 1},    {"BETA", 1},    {"%e5%b0%8f%e6%98%9f", 1}, {"trio+live", 1},   {"gamma", 0},
        {"alpha+stop", 0}, {"filler", 20}, {"filler&lm=0", 20},       {"filler&lm=2", 0}, {"nothing+here", 0},
        {"track+7", 2},
    };
    for (const TCase& c : cases) {
        const TReply reply = Page("/search?key=" + c.Key);
        EXPECT_NE(reply.Head.find("200 OK"), std::string::npos) << c.Key;
        EXPECT_EQ(Count(reply.Body, "index-num"), c.Items) << c.Key;
        EXPECT_EQ(Count(reply.Body, "checkbox-item-hook"), c.Items) << c.Key;
        EXPECT_EQ(Count(reply.Body, "data-songdata"), c.Items) << c.Key;
    }

    // One item as the scraper reads it: the song's tag, then the artist's.
    const TReply reply = Page("/search?key=don't");
    const std::string item = Between(reply.Body, "index-num", "checkbox-item-hook");
    const std::string song = Between(item, "<a", ">");
    ASSERT_NE(song.find("data-songdata"), std::string::npos) << item;
    EXPECT_EQ(Between(song, "title=\"", "\""), "Don&#039;t Stop");
    EXPECT_EQ(Between(song, "href=\"", "\"").rfind("/song/", 0), 0u) << song;
    const std::string artist = Between(item, "<a", ">", item.find(song) + song.size());
    ASSERT_NE(artist.find("hidefocus"), std::string::npos) << item;
    EXPECT_EQ(Between(artist, "title=\"", "\""), "Beta &amp; Co");

    // The catalogue names the song in its subfolder; its bad lines are reported.
    EXPECT_NE(Page("/search?key=river").Body.find("title=\"Slow River (Live)\""), std::string::npos);
    EXPECT_NE(Tool->Err.find("catalogue.txt:5:"), std::string::npos) << Tool->Err;
    EXPECT_NE(Tool->Err.find("missing.mp3"), std::string::npos) << Tool->Err;

    // A song whose file name names no artist has no artist tag.
    const std::string star = Page("/search?key=%e5%b0%8f%e6%98%9f").Body;
    EXPECT_NE(star.find("title=\"小星星\""), std::string::npos) << star;
    EXPECT_EQ(star.find("hidefocus"), std::string::npos) << star;
}

TEST_F(MusicSiteTest, DownloadLinkLeadsTheDownloadEngineToTheFileByteExact) {
    for (const auto& [key, file] : std::map<std::string, std::string>{{"morning", "Alpha Band - Morning Bell.mp3"},
                                                                      {"%e5%b0%8f%e6%98%9f", "小星星.mp3"},
                                                                      {"river", "more/Gamma - Slow River.mp3"},
                                                                      {"don't", "Beta & Co - Don't Stop.mp3"}}) {
        const std::string item = Between(Page("/search?key=" + key).Body, "index-num", "checkbox-item-hook");
        const std::string songPath = Between(Between(item, "<a", ">"), "href=\"", "\"");
        const TReply download = Page(songPath + "/download");
        const std::string input = Between(download.Body, "<input", ">");
        ASSERT_NE(input.find("downlink"), std::string::npos) << download.Body;
        const std::string value = Between(input, "downlink=\"", "\"");

        // The search worker puts the site's host in front of the value, with
        // or without its port; the download engine lower-cases the address.
        for (const std::string& host : {std::string("127.0.0.1"), "127.0.0.1:" + std::to_string(Port)}) {
            std::string address = host + value;
            for (char& c : address)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const http::TUrlParts url = http::SplitUrl(address);
            ASSERT_EQ(url.Host, "127.0.0.1") << address;
            ASSERT_EQ(url.Port, Port) << address;
            const std::string path = http::EscapeSpaces(url.Path);
            const std::string& bytes = Files.at(file);
            const auto size = static_cast<std::int64_t>(bytes.size());

            const TReply head = Send(BuildRangeRequest("HEAD", url.Host, path, url.Port, 0, 0).value());
            EXPECT_NE(head.Head.find("200 OK"), std::string::npos) << head.Head;
            EXPECT_NE(head.Head.find("Content-Length: " + std::to_string(size) + "\r\n"), std::string::npos)
                << head.Head;
            EXPECT_EQ(head.Body, "");

            // The engine's three segments of a file of L bytes (q = L div 3):
            // 0..q, q+1..2q+3 and L-q..L, the last one past the end.
            const std::int64_t q = size / 3;
            for (const auto& [start, end] :
                 std::vector<std::pair<std::int64_t, std::int64_t>>{{0, q}, {q + 1, 2 * q + 3}, {size - q, size}}) {
                const TReply part = Send(BuildRangeRequest("GET", url.Host, path, url.Port, start, end).value());
                const std::int64_t last = std::min(end, size - 1);
                EXPECT_EQ(part.Head.rfind("HTTP/1.1 206 ", 0), 0u) << part.Head;
                EXPECT_NE(part.Head.find("Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(last) +
                                         "/" + std::to_string(size)),
                          std::string::npos)
                    << part.Head;
                EXPECT_EQ(part.Body,
                          bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(last - start + 1)))
                    << file << " " << start << "-" << end;
            }
            const TReply whole = Send(BuildRangeRequest("GET", url.Host, path, url.Port, 0, 0).value());
            EXPECT_EQ(whole.Head.rfind("HTTP/1.1 200 OK", 0), 0u) << whole.Head;
            EXPECT_EQ(whole.Body, bytes);
            // What a resuming client compares, the same on every reply for the file.
            for (const char* validator : {"Last-Modified: ", "ETag: \""})
                EXPECT_EQ(Between(head.Head, validator, "\r\n"), Between(whole.Head, validator, "\r\n"))
                    << validator << head.Head;
            // A range that starts at the end: nothing there, as web servers answer it.
            const TReply beyond = Send(BuildRangeRequest("GET", url.Host, path, url.Port, size, size + 10).value());
            EXPECT_EQ(beyond.Head.rfind("HTTP/1.1 416 ", 0), 0u) << beyond.Head;
            EXPECT_NE(beyond.Head.find("Content-Range: bytes */" + std::to_string(size)), std::string::npos);
        }
    }
    // The log names the range asked for beside what was sent.
    EXPECT_TRUE(Tool->WaitForError("\" 416 0 \"Range: bytes=10000-10010\"", GiveUpMs)) << Tool->Err;
    EXPECT_EQ(Between(Page("/song/999/download").Body, "<input", ">").find("downlink"), std::string::npos);
    EXPECT_EQ(Send(BuildRangeRequest("HEAD", "127.0.0.1", "file/missing.mp3", Port, 0, 0).value()).Head.find("200 OK"),
              std::string::npos);

    // The address as the search list shows it, with the port, works in a browser too.
    const std::string item = Between(Page("/search?key=morning").Body, "index-num", "checkbox-item-hook");
    const std::string value =
        Between(Between(Page(Between(Between(item, "<a", ">"), "href=\"", "\"") + "/download").Body, "<input", ">"),
                "downlink=\"", "\"");
    const TReply redirect = Page(value);
    EXPECT_EQ(redirect.Head.rfind("HTTP/1.1 302 ", 0), 0u) << redirect.Head;
    EXPECT_NE(redirect.Head.find("Location: " + value.substr(value.find("http://"))), std::string::npos)
        << redirect.Head;
}

TEST_F(MusicSiteTest, ChartOverviewHasSeventeenChartsOfFiftySongsEach) {
    const TReply top = Page("/top");
    ASSERT_NE(top.Head.find("200 OK"), std::string::npos) << top.Head;
    std::string work = top.Body.substr(std::min(top.Body.find("<dt>"), top.Body.size()));
    std::vector<std::pair<std::string, std::string>> charts; // link, name
    for (std::size_t at = work.find("<a"); at != std::string::npos; at = work.find("<a", at + 1)) {
        const std::string piece = work.substr(at, work.find("</a>", at) + 4 - at);
        charts.emplace_back(Between(piece, "href=\"", "\""), Between(piece, ">", "<"));
    }
    ASSERT_EQ(charts.size(), 17u) << top.Body;
    EXPECT_TRUE(std::any_of(charts.begin(), charts.end(), [](const auto& c) {
        return c.second.find("&amp;") != std::string::npos;
    })) << "a chart name with an escaped \"&\"";
    EXPECT_TRUE(std::any_of(charts.begin(), charts.end(), [](const auto& c) {
        return c.second.find("&#039;") != std::string::npos;
    })) << "a chart name with an escaped \"'\"";

    const std::vector<std::string> names = {"Morning Bell", "Don&#039;t Stop", "小星星", "Slow River (Live)"};
    for (const auto& [link, name] : charts) {
        const TReply chart = Page(link);
        ASSERT_NE(chart.Head.find("200 OK"), std::string::npos) << link;
        std::size_t items = 0;
        for (std::size_t at = chart.Body.find("<li"); at != std::string::npos; at = chart.Body.find("<li", at + 1)) {
            const std::string tag = chart.Body.substr(at, chart.Body.find('>', at) - at);
            if (tag.find("song-item-hook") == std::string::npos)
                continue;
            ++items;
            const std::string song = Between(tag, "'", "'", tag.find(":", tag.find("'sname'")));
            EXPECT_FALSE(song.empty()) << tag;
            EXPECT_NE(tag.find("'author'"), std::string::npos) << tag;
        }
        EXPECT_EQ(items, 50u) << name;
    }
    const std::string first = Page(charts.front().first).Body;
    for (const std::string& name : names)
        EXPECT_NE(first.find("'sname':'" + name + "'"), std::string::npos) << name;
    EXPECT_NE(first.find("'author':'Beta &amp; Co'"), std::string::npos);

    // Every request has its line in the log, doubled slash and all.
    EXPECT_TRUE(Tool->WaitForError("\"GET //top HTTP/1.1\" 200", GiveUpMs)) << Tool->Err;
}

TEST_F(MusicSiteTest, LyricSearchGivesAGbkPageWhoseLinkFetchesTheLrcFile) {
    const std::string query = "m?f=ms&rn=10&tn=baidump3lyric&ct=150994944&word=" + LyricKey("小星星");
    const TReply page = Send(BuildRequest("GET", "127.0.0.1", Port, query, TRequestKind::Lyric).value());
    ASSERT_NE(page.Head.find("200 OK"), std::string::npos) << page.Head;
    EXPECT_FALSE(platform::GbkToUtf8(page.Body) == std::nullopt) << "the page is GBK";
    const std::string marker = platform::Utf8ToGbk("LRC歌词来自").value_or("?");
    const auto at = page.Body.find(marker);
    ASSERT_NE(at, std::string::npos) << page.Body;
    const std::string link = page.Body.substr(at + 13, page.Body.find('<', at) - at - 13);

    const http::TUrlParts url = http::SplitUrl(link);
    ASSERT_EQ(url.Host, "127.0.0.1") << link;
    ASSERT_EQ(url.Port, Port) << link;
    const TReply lrc = Send(BuildRequest("GET", url.Host, url.Port, url.Path, TRequestKind::Lyric, true).value(), "!");
    EXPECT_NE(lrc.Head.find("200 OK"), std::string::npos) << lrc.Head;
    EXPECT_EQ(lrc.Body, Lyric);

    const std::string other = "m?tn=baidump3lyric&ct=150994944&word=" + LyricKey("没有这首歌");
    const TReply none = Send(BuildRequest("GET", "127.0.0.1", Port, other, TRequestKind::Lyric).value());
    EXPECT_NE(none.Head.find("200 OK"), std::string::npos) << none.Head;
    EXPECT_EQ(none.Body.find(marker), std::string::npos);
}
