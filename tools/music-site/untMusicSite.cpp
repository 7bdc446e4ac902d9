#include "untMusicSite.h"

#include "untSitePages.h"

#include "platform/TextCodec.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file open for reading, shared by the content provider's calls (which
// run on the server thread after the handler has returned).
struct TOpenFile {
    explicit TOpenFile(int fd) : Fd(fd) {}
    ~TOpenFile() { ::close(Fd); }
    TOpenFile(const TOpenFile&) = delete;
    TOpenFile& operator=(const TOpenFile&) = delete;
    const int Fd;
};

std::string ToHex(std::int64_t value) {
    char text[20];
    const auto end = std::to_chars(text, text + sizeof text, value, 16).ptr;
    return std::string(text, end);
}

// Clips a single asked range to a file of `size` bytes as a web server does:
// an end past the file ends at its last byte, a suffix longer than the file is
// the whole file. False when the range starts at or past the end.
bool ClipRange(httplib::Range& range, std::int64_t size) {
    auto& [first, last] = range;
    if (first < 0) { // "-N": the last N bytes
        first = std::max<std::int64_t>(size - std::max<std::int64_t>(last, 0), 0);
        last = size - 1;
    } else if (last < 0 || last >= size) {
        last = size - 1;
    }
    return first < size && first <= last;
}

} // namespace

TMusicSite::TMusicSite(const TSiteLibrary& library, TLog log)
    : Library_(library), Server_(std::make_unique<httplib::Server>()) {
    // The fetchers send one request per connection and read until the close.
    Server_->set_keep_alive_max_count(1);
    auto lock = std::make_shared<std::mutex>();
    Server_->set_logger(
        [log = std::move(log), lock](const httplib::Request& request, const httplib::Response& response) {
            if (!log)
                return;
            // Files go out through a content provider: their size is in the header, not the body.
            const std::string length = response.body.empty() && response.has_header("Content-Length")
                                           ? response.get_header_value("Content-Length")
                                           : std::to_string(response.body.size());
            std::string line = request.remote_addr + " \"" + request.method + " " + request.target + " " +
                               request.version + "\" " + std::to_string(response.status) + " " + length;
            if (request.has_header("Range"))
                line += " \"Range: " + request.get_header_value("Range") + "\"";
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
            served = found && ServeFile(found->Path, "audio/mpeg", request, response);
        } else if (path == "/data/music/file") {
            served = ServeDownloadAddress(request, response);
        } else if (path == "/m" && request.get_param_value("tn") == "baidump3lyric") {
            const std::string word = LyricWord(request.target);
            response.set_content(LyricSearchPage(word, Library_.FindLyrics(word, LyricResults), SiteOf(request)),
                                 "text/html; charset=gbk");
            served = true;
        } else if (const auto name = under("/lrc/")) {
            const TLyric* found = Library_.LyricByName(*name);
            served = found && ServeFile(found->Path, "text/plain", request, response);
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

// Files are read in pieces as the connection takes them, so a HEAD reads
// nothing and a range reads only its bytes. One range is served (206), clipped
// to the file; one that starts past the end gets 416; several get the whole file.
bool TMusicSite::ServeFile(const std::string& path, const char* type, const httplib::Request& request,
                           httplib::Response& response) const {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto file = std::make_shared<TOpenFile>(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const std::int64_t size = info.st_size;
    // What a client may keep to see whether the file changed: its time, and a
    // tag of time and size (nanoseconds, so a rewrite within a second shows).
    char modified[64] = "";
    struct tm utc {};
    if (gmtime_r(&info.st_mtim.tv_sec, &utc))
        std::strftime(modified, sizeof modified, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    response.set_header("Last-Modified", modified);
    response.set_header("ETag", "\"" + ToHex(info.st_mtim.tv_sec) + "." + ToHex(info.st_mtim.tv_nsec) + "-" +
                                    ToHex(size) + "\"");
    // The library cuts the range out of what the provider gives; it must see
    // the clipped range, not the asked one, and none where the whole file goes.
    auto& ranges = const_cast<httplib::Ranges&>(request.ranges);
    if (ranges.size() > 1)
        ranges.clear();
    if (ranges.size() == 1 && !ClipRange(ranges.front(), size)) {
        ranges.clear();
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        response.set_content("", type);
        return true;
    }
    if (size == 0) {
        ranges.clear();
        response.set_content("", type);
        return true;
    }
    response.set_content_provider(
        static_cast<std::size_t>(size), type,
        [file, stall = Stall_](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            std::size_t most = std::min(length, sizeof buffer);
            if (stall->At >= 0) {
                const auto at = static_cast<std::int64_t>(offset);
                if (at >= stall->At) {
                    stall->Wait();
                    return false;
                }
                most =
                    static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(most), stall->At - at));
            }
            const ssize_t got = ::pread(file->Fd, buffer, most, static_cast<off_t>(offset));
            // The file shrank or cannot be read: end the reply short rather than loop.
            return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
        });
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

void TMusicSite::TStall::Wait() {
    std::unique_lock lock(Mutex);
    Ended.wait(lock, [this] { return Stopping; });
}

void TMusicSite::TStall::End() {
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Ended.notify_all();
}

void TMusicSite::StallAt(std::int64_t offset) {
    Stall_->At = offset;
}

void TMusicSite::Stop() {
    if (!Thread_.joinable())
        return;
    Stall_->End(); // the server waits for its replies, stalled ones too
    Server_->stop();
    Thread_.join();
}

} // namespace zv2::site
