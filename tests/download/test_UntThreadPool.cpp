#include "EventLog.h"
#include "FileServer.h"
#include "TempDir.h"
#include "download/UntThreadPool.h"
#include "platform/UntDebug.h"

#include <cstddef>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>

using namespace zv2::download;
using zv2::test::TEventLog;
using zv2::test::TFileServer;

using zv2::test::ReadFile;

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

// The diagnostic viewer of this test program, on a name of its own.
class TDebugViewer {
public:
    TDebugViewer() {
        ::setenv("ZV2_DEBUGWIN", ("zv2-download-test-" + std::to_string(::getpid())).c_str(), 1);
        const std::string address = zv2::platform::DebugWinAddress();
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, address.data(), address.size());
        Fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::bind(Fd_, reinterpret_cast<sockaddr*>(&addr),
               static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size()));
    }
    ~TDebugViewer() { ::close(Fd_); }
    // The next line that starts with `prefix`, waiting up to a minute for it.
    std::optional<std::string> WaitFor(const std::string& prefix) {
        for (;;) {
            pollfd p{Fd_, POLLIN, 0};
            if (::poll(&p, 1, 60000) <= 0)
                return std::nullopt;
            char buffer[256];
            const ssize_t n = ::recv(Fd_, buffer, sizeof buffer, 0);
            if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)).rfind(prefix, 0) == 0)
                return std::string(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int Fd_ = -1;
};

} // namespace

TEST(TSegmentReader, TakesTheBodyAfterTheHeaderOfTheFirstChunk) {
    struct TCase {
        std::size_t FirstChunk;
        std::size_t FirstBody;
    };
    for (const TCase c : {TCase{2048, 1748}, TCase{1000, 700}}) {
        const std::string song = zv2::test::SongBytes(3000);
        const std::string reply = Header(300, "206 Partial Content", 2000) + song.substr(0, 2000);
        TSegmentReader reader({9, "u", 500, 1999});
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
    TSegmentReader reader({1, "u", 0, 7});
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
        TSegmentReader reader({1, "u", c.Start, 9});
        const auto state = Feed(reader, c.Reply).State;
        const bool complete =
            state == TSegmentReader::TState::Done ||
            (state == TSegmentReader::TState::More && reader.Closed() == TSegmentReader::TState::Done);
        EXPECT_EQ(complete, c.Complete) << c.What;
    }
}

struct TPoolFixture : ::testing::Test {
    TDebugViewer Viewer;
    TFileServer Server;
    zv2::test::TTempDir Dir;
    TEventLog Log;
    TMemoryPool Pool{15, 2048};
    TSaveThread Writer{Pool, 3, TWriterCallbacks{nullptr, nullptr, Log.Recorder("finished"), Log.Recorder("error")}, 0};
    std::unique_ptr<TThreadPool> Jobs;

    void Start(int receiveTimeoutMs = 30000) {
        auto timing = TEngineTiming::Fast();
        timing.ReceiveTimeoutMs = receiveTimeoutMs;
        Jobs = std::make_unique<TThreadPool>(0, Pool, Writer, Log.Recorder("job error"), timing);
    }
    void TearDown() override { Jobs.reset(); }
};

TEST_F(TPoolFixture, FetchesTheThreeRangesOfAFileIntoTheWriter) {
    const std::string song = zv2::test::SongBytes(3072);
    Server.AddFile("/s.mp3", song);
    Server.SetPieceSize(700);
    Start();
    ASSERT_TRUE(Writer.AddFile(4, Dir.File("s.mp3"), 3072, 3));
    for (const auto& [start, length] : {std::pair{0, 1024}, {1025, 1026}, {2048, 1024}})
        Jobs->AddJob({4, Server.Url("/s.mp3"), start, length});
    ASSERT_TRUE(Log.WaitFor("finished 4 3072"));
    EXPECT_EQ(ReadFile(Dir.File("s.mp3")), song);
    EXPECT_EQ(Jobs->WorkerCount(), 5u) << "workers come in groups of five";
    bool middleRange = false;
    for (const auto& request : Server.Requests())
        middleRange = middleRange || request.find("Range: bytes=1025-2051\r\n") != std::string::npos;
    EXPECT_TRUE(middleRange);
    EXPECT_TRUE(Viewer.WaitFor("Thread finished: "));
}

TEST_F(TPoolFixture, ASegmentCutShortOrStalledFailsItsJob) {
    for (const auto mode : {TFileServer::TMode::CloseEarly, TFileServer::TMode::Hang}) {
        TFileServer server;
        server.AddFile("/s.mp3", zv2::test::SongBytes(9000));
        server.SetMode(mode);
        Start(300);
        Jobs->AddJob({6, server.Url("/s.mp3"), 3000, 3000});
        ASSERT_TRUE(Log.WaitFor("job error 6 3000"));
        EXPECT_TRUE(Viewer.WaitFor("Thread ERROR, exit: "));
        Jobs.reset();
        server.Stop();
    }
}

TEST_F(TPoolFixture, StopJobsAbortsTheRunningSegmentsOfADownload) {
    Server.AddFile("/s.mp3", zv2::test::SongBytes(9000));
    Server.SetMode(TFileServer::TMode::Hang);
    Start();
    Jobs->AddJob({8, Server.Url("/s.mp3"), 0, 4000});
    ASSERT_TRUE(Viewer.WaitFor("Thread start work: "));
    // Stopped whether the worker is still connecting or already receiving.
    Jobs->StopJobs(8);
    EXPECT_TRUE(Viewer.WaitFor("Delete task: "));
    ASSERT_TRUE(Log.WaitFor("job error 8 0"));
    Jobs->StopJobs(12345); // nobody runs it: nothing happens
}
