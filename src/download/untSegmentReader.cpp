#include "download/untSegmentReader.h"

#include "http/untHttpReply.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cstring>

namespace zv2::download {

namespace {

constexpr std::size_t kLongestHead = 64 * 1024;

} // namespace

TSegmentReader::TSegmentReader(std::int64_t start, std::int64_t length) : Start_(start), Expected_(length + 1) {}

bool TSegmentReader::CheckHead(const std::string& text) {
    const http::THttpReplyHead head = http::ReadReplyHead(text);
    if (head.Status == 200) {
        if (Start_ != 0) // the whole file from byte 0: it does not belong here
            return false;
    } else if (head.Status == 206) {
        // "Content-Range: bytes 1025-2051/3072": our range, perhaps cut at the
        // end of the file, which tells the body's length where no
        // Content-Length does.
        if (const http::THeaderField* range = head.Find("Content-Range")) {
            const std::string_view value = range->Value;
            const std::size_t dash = value.find('-');
            const std::size_t slash = value.find('/');
            if (!value.starts_with("bytes ") || dash == std::string_view::npos ||
                http::DecimalValue(value.substr(6, dash - 6)) != Start_)
                return false;
            if (const auto last = http::DecimalValue(
                    value.substr(dash + 1, slash == std::string_view::npos ? slash : slash - dash - 1));
                last && *last >= Start_)
                Expected_ = std::min(Expected_, *last - Start_ + 1);
        }
    } else {
        return false;
    }
    // A chunked (or otherwise coded) body would put the coding's own bytes
    // into the song.
    if (const http::THeaderField* coding = head.Find("Transfer-Encoding");
        coding && platform::AsciiLower(coding->Value) != "identity")
        return false;
    if (const http::THeaderField* length = head.Find("Content-Length")) {
        const auto value = http::DecimalValue(length->Value);
        if (!value)
            return false;
        Expected_ = std::min(Expected_, *value);
    }
    return true;
}

TSegmentReader::TState TSegmentReader::Take(char* buffer, std::size_t size, std::size_t& bodyBytes,
                                            std::int64_t& offset) {
    bodyBytes = 0;
    offset = Start_ + Received_;
    std::size_t body = size;
    if (!HeadDone_) {
        const std::size_t before = Head_.size();
        Head_.append(buffer, size);
        const std::size_t end = Head_.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
        if (end == std::string::npos)
            return Head_.size() > kLongestHead ? TState::Failed : TState::More;
        HeadDone_ = true;
        // The body begins right after the blank line, whatever its first byte is.
        body = Head_.size() - (end + 4);
        Head_.resize(end + 4);
        if (!CheckHead(Head_))
            return TState::Failed;
        std::memmove(buffer, buffer + (size - body), body);
    }
    body = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(body), Expected_ - Received_));
    bodyBytes = body;
    Received_ += static_cast<std::int64_t>(body);
    return Received_ >= Expected_ ? TState::Done : TState::More;
}

TSegmentReader::TState TSegmentReader::Closed() const {
    return HeadDone_ && Received_ >= Expected_ ? TState::Done : TState::Failed;
}

} // namespace zv2::download
