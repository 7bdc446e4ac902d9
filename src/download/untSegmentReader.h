#pragma once
// TSegmentReader follows one segment job's reply chunk by chunk: it gathers
// the reply head (however the chunks cut it), checks it, and says where each
// chunk's body bytes belong in the file. Pure: no sockets, so tests and the
// fuzzer feed it the chunks they like.
//
// The segment asks for bytes Start .. Start + Length (inclusive). Its reply
// is good when it is 206 with a Content-Range starting at Start (or without
// one), or 200 for a range from 0 (its body starts at byte 0); not coded
// (Transfer-Encoding other than identity); with a decimal Content-Length, if
// any; and its head within 64 KiB. The body is complete at the reply's
// Content-Length, at the end of the Content-Range, or at Length + 1 bytes,
// whichever is least; bytes beyond are not taken.
//
// Threads: one worker thread uses one reader.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv2::download {

class TSegmentReader {
public:
    enum class TState { More, Done, Failed };
    TSegmentReader(std::int64_t start, std::int64_t length);

    // `buffer` holds `size` received bytes. On return its body bytes (if any)
    // stand at buffer[0 .. bodyBytes) and belong at file position `offset`.
    TState Take(char* buffer, std::size_t size, std::size_t& bodyBytes, std::int64_t& offset);
    // The server closed the connection: Done when the body is whole, else Failed.
    TState Closed() const;

private:
    bool CheckHead(const std::string& head);

    const std::int64_t Start_;
    std::string Head_;
    bool HeadDone_ = false;
    std::int64_t Expected_ = 0;
    std::int64_t Received_ = 0;
};

} // namespace zv2::download
