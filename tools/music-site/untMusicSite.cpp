#include "untMusicSite.h"

#include "untSitePages.h"

#include "platform/TextCodec.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

namespace zv2::site {

namespace {

const char* const Html = "text/html; charset=utf-8";

// The address the client used for this site: its Host line, else the
// address it connected to.
std::string SiteOf(const httplib::Request& request) {
    const std::string host = request.get_header_value("Host");
    if (!host.empty())
        return host;
    return request.local_addr + ":" + std::to_string(request.local_port);
}

// Percent-decodes `text` ("+" stays "+": the lyric query leaves it as typed).
std::string PercentDecode(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr == text.data() + i + 3) {
            decoded += static_cast<char>(value);
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The lyric query's word: everything after "word=" up to the end of the
// request target (the word is last and its bytes up to 128 come unescaped,
// "&" included), in GBK; returned in UTF-8.
std::string LyricWord(const std::string& target) {
    const auto at = target.find("word=");
    if (at == std::string::npos)
        return {};
    const std::string raw = PercentDecode(std::string_view(target).substr(at + 5));
    if (auto utf8 = platform::GbkToUtf8(raw))
        return *utf8;
    return platform::IsValidUtf8(raw) ? raw : std::string();
}

// A range that runs past the end of the file is served up to its last byte,
// but the library writes the asked end into Content-Range; write the true one.
void FixContentRange(httplib::Response& response) {
    if (response.status != 206 || !response.has_header("Content-Range"))
        return;
    const std::string value = response.get_header_value("Content-Range");
    unsigned long long first = 0, total = 0;
    if (std::sscanf(value.c_str(), "bytes %llu-%*u/%llu", &first, &total) != 2 || response.body.empty())
        return;
    response.headers.erase("Content-Range");
    response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                             std::to_string(first + response.body.size() - 1) + "/" +
                                             std::to_string(total));
}

} // namespace

TMusicSite::TMusicSite(const TSiteLibrary& library, TLog log)
    : Library_(library), Server_(std::make_unique<httplib::Server>()) {
    // The fetchers send one request per connection and read until the close.
    Server_->set_keep_alive_max_count(1);
    Server_->set_post_routing_handler(
        [](const httplib::Request&, httplib::Response& response) { FixContentRange(response); });
    auto lock = std::make_shared<std::mutex>();
    Server_->set_logger(
        [log = std::move(log), lock](const httplib::Request& request, const httplib::Response& response) {
            if (!log)
                return;
            const std::string line = request.remote_addr + " \"" + request.method + " " + request.target + " " +
                                     request.version + "\" " + std::to_string(response.status) + " " +
                                     std::to_string(response.body.size());
            const std::lock_guard guard(*lock);
            log(line);
        });
    Route();
}

TMusicSite::~TMusicSite() {
    Stop();
}

void TMusicSite::Route() {
    // Every GET (and HEAD) comes here: the paths arrive with doubled slashes.
    Server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string path = CollapseSlashes(request.path);
        const auto under = [&path](std::string_view prefix) {
            return path.compare(0, prefix.size(), prefix) == 0 ? std::optional(path.substr(prefix.size()))
                                                               : std::nullopt;
        };
        bool served = false;
        if (path == "/search") {
            served = ServeSearch(request, response);
        } else if (path == "/top") {
            response.set_content(ChartOverviewPage(TSiteLibrary::Charts()), Html);
            served = true;
        } else if (const auto slug = under("/top/")) {
            served = ServeChart(*slug, response);
        } else if (const auto song = under("/song/")) {
            served = ServeDownloadPage(*song, SiteOf(request), response);
        } else if (const auto file = under("/file/")) {
            const TSong* found = Library_.SongByRelative(*file);
            // The library cuts a Range out of the content (206) by itself.
            served = found && ServeFile(found->Path, "audio/mpeg", response);
        } else if (path == "/data/music/file") {
            served = ServeDownloadAddress(request, response);
        } else if (path == "/m" && request.get_param_value("tn") == "baidump3lyric") {
            const std::string word = LyricWord(request.target);
            response.set_content(LyricSearchPage(word, Library_.FindLyrics(word, LyricResults), SiteOf(request)),
                                 "text/html; charset=gbk");
            served = true;
        } else if (const auto name = under("/lrc/")) {
            const TLyric* found = Library_.LyricByName(*name);
            served = found && ServeFile(found->Path, "text/plain", response);
        }
        if (!served) {
            response.status = 404;
            response.set_content(NotFoundPage(request.path), Html);
        }
    });
}

bool TMusicSite::ServeSearch(const httplib::Request& request, httplib::Response& response) const {
    int format = -1;
    const std::string lm = request.get_param_value("lm");
    std::from_chars(lm.data(), lm.data() + lm.size(), format);
    const std::string key = request.get_param_value("key");
    response.set_content(SearchPage(Library_.Search(key, format, Library_.Songs().size())), Html);
    return true;
}

bool TMusicSite::ServeChart(std::string_view slug, httplib::Response& response) const {
    for (const TChart& chart : TSiteLibrary::Charts()) {
        if (chart.Slug == slug) {
            response.set_content(ChartPage(chart, Library_.ChartSongs(chart, ChartSize)), Html);
            return true;
        }
    }
    return false;
}

// "ID/download".
bool TMusicSite::ServeDownloadPage(std::string_view rest, std::string_view site, httplib::Response& response) const {
    int id = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), id);
    const TSong* song = Library_.SongById(id);
    if (!song || error != std::errc() || std::string_view(end, rest.data() + rest.size() - end) != "/download")
        return false;
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(song->Path, sizeError);
    if (sizeError)
        return false;
    response.set_content(DownloadPage(*song, site, size), Html);
    return true;
}

bool TMusicSite::ServeFile(const std::string& path, const char* type, httplib::Response& response) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    // In one read: a large song costs a copy, not a pass byte by byte.
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return false;
    response.set_content(std::move(bytes), type);
    return true;
}

// The download address as a browser sees it: on to the file, on this site
// only. The link stands raw in the query, its own escapes included, so it is
// taken from the request as sent.
bool TMusicSite::ServeDownloadAddress(const httplib::Request& request, httplib::Response& response) {
    const auto at = request.target.find("link=");
    const std::string link = at == std::string::npos ? "" : request.target.substr(at + 5);
    if (link.rfind("http://" + SiteOf(request) + "/file/", 0) != 0)
        return false;
    response.set_redirect(link);
    return true;
}

bool TMusicSite::Start(const std::string& address, std::uint16_t port, std::string& error) {
    const int bound =
        port == 0 ? Server_->bind_to_any_port(address) : (Server_->bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port);
        return false;
    }
    Port_ = static_cast<std::uint16_t>(bound);
    Listening_ = true;
    Thread_ = std::thread([this] {
        Server_->listen_after_bind();
        Listening_ = false;
    });
    // A stop() before the server runs would be lost, and Stop() would wait forever.
    while (Listening_ && !Server_->is_running())
        std::this_thread::yield();
    return true;
}

void TMusicSite::Stop() {
    if (!Thread_.joinable())
        return;
    Server_->stop();
    Thread_.join();
}

} // namespace zv2::site
