#include "FileServer.h"
#include "download/untSegmentReader.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace zv2::download;

namespace {

// A reply header of exactly `size` bytes.
std::string Header(std::size_t size, const std::string& status, std::int64_t contentLength) {
    std::string head = "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(contentLength) + "\r\nX-Pad: ";
    head += std::string(size - head.size() - 4, 'x');
    return head + "\r\n\r\n";
}

struct TChunkResult {
    TSegmentReader::TState State;
    std::string Body;
    std::int64_t Offset;
};

TChunkResult Feed(TSegmentReader& reader, const std::string& chunk) {
    std::vector<char> buffer(2048);
    std::memcpy(buffer.data(), chunk.data(), chunk.size());
    std::size_t body = 0;
    std::int64_t offset = -1;
    const auto state = reader.Take(buffer.data(), chunk.size(), body, offset);
    return {state, std::string(buffer.data(), body), offset};
}

} // namespace

TEST(TSegmentReader, TakesTheBodyAfterTheHeaderOfTheFirstChunk) {
    struct TCase {
        std::size_t FirstChunk;
        std::size_t FirstBody;
    };
    for (const TCase c : {TCase{2048, 1748}, TCase{1000, 700}}) {
        const std::string song = zv2::test::SongBytes(3000);
        const std::string reply = Header(300, "206 Partial Content", 2000) + song.substr(0, 2000);
        TSegmentReader reader(500, 1999);
        const auto first = Feed(reader, reply.substr(0, c.FirstChunk));
        EXPECT_EQ(first.State, TSegmentReader::TState::More);
        EXPECT_EQ(first.Offset, 500);
        EXPECT_EQ(first.Body, song.substr(0, c.FirstBody));
        const auto second = Feed(reader, reply.substr(c.FirstChunk, 2048));
        EXPECT_EQ(second.Offset, 500 + static_cast<std::int64_t>(c.FirstBody));
        EXPECT_EQ(second.Body, song.substr(c.FirstBody, second.Body.size()));
    }
}

TEST(TSegmentReader, GathersAHeaderCutAcrossChunksAndKeepsABodyThatBeginsWithCrLf) {
    const std::string body = "\r\n\r\nrest";
    const std::string reply = Header(300, "206 Partial Content", 8) + body;
    TSegmentReader reader(0, 7);
    EXPECT_EQ(Feed(reader, reply.substr(0, 150)).Body, "");
    const auto second = Feed(reader, reply.substr(150, 148)); // ends inside the blank line
    EXPECT_EQ(second.State, TSegmentReader::TState::More);
    EXPECT_EQ(second.Body, "");
    const auto third = Feed(reader, reply.substr(298));
    EXPECT_EQ(third.Body, body);
    EXPECT_EQ(third.Offset, 0);
    EXPECT_EQ(third.State, TSegmentReader::TState::Done);
}

TEST(TSegmentReader, FailsOnWrongRepliesAndEarlyEnds) {
    struct TCase {
        const char* What;
        std::string Reply;
        std::int64_t Start;
        bool Complete;
    };
    const std::string ten(10, 'b');
    const TCase cases[] = {
        {"whole range", "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\n\r\n" + ten, 5, true},
        {"a 200 from byte 0", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + ten, 0, true},
        {"a 200 for a later range", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + ten, 5, false},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\n" + ten, 0, false},
        {"another range", "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 6-15/99\r\n\r\n" + ten, 5, false},
        {"another range, named in lower case",
         "HTTP/1.1 206 Partial Content\r\ncontent-range: bytes 6-15/99\r\n\r\n" + ten, 5, false},
        {"our range without a length", "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-14/99\r\n\r\n" + ten, 5,
         true},
        {"our range cut at the end of the file",
         "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-11/12\r\n\r\nbbbbbbb", 5, true},
        {"a chunked body",
         "HTTP/1.1 206 Partial Content\r\nTransfer-Encoding: chunked\r\n\r\na\r\n" + ten + "\r\n0\r\n\r\n", 5, false},
        {"closed early", "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\n\r\nbbbb", 5, false},
        {"closed in the header", "HTTP/1.1 206 Partial Content\r\nContent-Len", 5, false},
    };
    for (const TCase& c : cases) {
        TSegmentReader reader(c.Start, 9);
        const auto state = Feed(reader, c.Reply).State;
        const bool complete =
            state == TSegmentReader::TState::Done ||
            (state == TSegmentReader::TState::More && reader.Closed() == TSegmentReader::TState::Done);
        EXPECT_EQ(complete, c.Complete) << c.What;
    }
}
