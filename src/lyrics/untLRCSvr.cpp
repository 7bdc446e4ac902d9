#include "lyrics/untLRCSvr.h"

#include "http/untHttpReply.h"
#include "lyrics/untLRCDisplay.h"
#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>

namespace zv2::lyrics {

using platform::AsciiLower;

namespace {

// "LRC歌词来自" in GBK: 3 + 4 x 2 bytes. The link begins two bytes after it,
// behind the full-width colon.
constexpr std::string_view kResultMarker = "LRC\xB8\xE8\xB4\xCA\xC0\xB4\xD7\xD4";
constexpr std::size_t kLinkOffset = kResultMarker.size() + 2;

constexpr std::string_view kSaveQuery = "m?f=ms&rn=10&tn=baidump3lyric&ct=150994944&word=";
constexpr std::string_view kListQuery = "m?tn=baidump3lyric&ct=150994944&word=";

} // namespace

std::string EncodeLyricKey(std::string_view gbkName) {
    std::string key;
    key.reserve(gbkName.size() * 3);
    for (const char c : gbkName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 128) {
            key += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%.2x", byte);
            key += hex;
        }
    }
    return key;
}

bool ParseLyricResults(std::string_view page, std::vector<std::string>& results) {
    const auto at = page.find(kResultMarker);
    if (at == std::string_view::npos || at + kLinkOffset >= page.size())
        return false;
    const std::string_view rest = page.substr(at + kLinkOffset);
    const std::string_view link = rest.substr(0, rest.find('<'));
    if (link.empty())
        return false;
    results.emplace_back(link);
    return true;
}

std::optional<std::string> LyricFileBody(const http::TFetchResult& reply) {
    if (reply.Status != http::TFetchStatus::Complete)
        return std::nullopt;
    const http::THttpReplyHead head = http::ReadReplyHead(reply.Text);
    if (!head.Complete || head.Status != 200)
        return std::nullopt;
    std::string body = reply.Text.substr(head.Size);
    if (const http::THeaderField* coding = head.Find("Transfer-Encoding");
        coding && AsciiLower(coding->Value).find("chunked") != std::string::npos)
        return std::nullopt;
    if (const http::THeaderField* length = head.Find("Content-Length");
        length && http::DecimalValue(length->Value) != static_cast<std::int64_t>(body.size()))
        return std::nullopt;
    if (ParseLRC(DecodeLRCText(body)).Lines.empty())
        return std::nullopt;
    return body;
}

std::string LyricFilePath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + platform::SafeFileName(name + ".lrc");
}

TLRCSvrThread::TLRCSvrThread(const std::string& programFolder, const std::string& site, TLyricTargets targets,
                             http::TFetchLimits limits)
    : Targets_(std::move(targets)), Site_(http::SplitUrl(site)), Fetch_(limits), LyricFolder_(programFolder + "LRCs/") {
    std::error_code ignored;
    std::filesystem::create_directories(LyricFolder_, ignored);
    Worker_ = std::thread([this] { Execute(); });
}

TLRCSvrThread::~TLRCSvrThread() {
    Stop();
    Worker_.join();
}

void TLRCSvrThread::SetLyricFolder(const std::string& folder) {
    std::lock_guard lock(Mutex_);
    LyricFolder_ = folder;
}

std::string TLRCSvrThread::LyricFolder() const {
    std::lock_guard lock(Mutex_);
    return LyricFolder_;
}

void TLRCSvrThread::Post(const std::string& name, TLyricRequest kind) {
    {
        std::lock_guard lock(Mutex_);
        if (Terminated_)
            return;
        Queue_.push_back({name, kind});
    }
    Wake_.notify_one();
}

bool TLRCSvrThread::Busy() const {
    std::lock_guard lock(Mutex_);
    return Serving_ || !Queue_.empty();
}

void TLRCSvrThread::Stop() {
    {
        std::lock_guard lock(Mutex_);
        Terminated_ = true;
        Queue_.clear();
    }
    Fetch_.Abort();
    Wake_.notify_one();
}

bool TLRCSvrThread::Stopped() const {
    std::lock_guard lock(Mutex_);
    return Terminated_;
}

void TLRCSvrThread::Execute() {
    for (;;) {
        TQueued request;
        {
            std::unique_lock lock(Mutex_);
            Serving_ = false;
            Wake_.wait(lock, [this] { return Terminated_ || !Queue_.empty(); });
            if (Terminated_)
                return;
            request = std::move(Queue_.front());
            Queue_.pop_front();
            Serving_ = true;
        }
        try {
            if (request.Kind == lrSearchOnly) {
                const std::vector<std::string> links = Search(request.Name, true);
                if (Targets_.OnList && !Stopped())
                    Targets_.OnList(links);
            } else {
                const std::string saved = SearchAndSave(request.Name);
                if (Targets_.OnSaved && !Stopped())
                    Targets_.OnSaved(saved);
            }
        } catch (const std::exception&) {
            // A request that fails reports nothing; the worker serves the next.
        }
    }
}

std::vector<std::string> TLRCSvrThread::Search(const std::string& name, bool listOnly) {
    std::vector<std::string> links;
    // The site is asked in GBK; a name GBK cannot spell has no query.
    const std::optional<std::string> gbk = platform::Utf8ToGbk(name);
    if (!gbk || gbk->empty())
        return links;
    http::TPageRequest page;
    page.Host = Site_.Host;
    page.Port = Site_.Port;
    page.Kind = http::TRequestKind::Lyric;
    // Blanks stay blanks in the word, but a request line cannot carry them raw.
    page.Path = http::EscapeSpaces(std::string(listOnly ? kListQuery : kSaveQuery) + EncodeLyricKey(*gbk));
    ParseLyricResults(Fetch_.Fetch(page).Text, links);
    return links;
}

std::string TLRCSvrThread::SearchAndSave(const std::string& name) {
    const std::vector<std::string> links = Search(name, false);
    if (links.empty())
        return {};
    const http::TUrlParts link = http::SplitUrl(links.front());
    http::TPageRequest file;
    file.Host = link.Host;
    file.Port = link.Port;
    file.Path = http::EscapeSpaces(link.Path);
    file.Kind = http::TRequestKind::Lyric;
    file.BrowserHeaders = true;
    const std::optional<std::string> body = LyricFileBody(Fetch_.Fetch(file));
    if (!body)
        return {};
    const std::string folder = LyricFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (folder != TidiedFolder_) {
        // What a write cut short by a crash left here, once a folder.
        platform::RemoveStaleTemporaryFiles(folder);
        TidiedFolder_ = folder;
    }
    const std::string path = LyricFilePath(folder, name);
    return platform::WriteFileAtomically(path, *body) ? path : std::string();
}

} // namespace zv2::lyrics
