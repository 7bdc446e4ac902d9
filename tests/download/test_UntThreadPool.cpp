#include "DebugViewer.h"
#include "EventLog.h"
#include "FileServer.h"
#include "TempDir.h"
#include "download/UntThreadPool.h"
#include "tools/LocalMusicSite.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace zv2::download;
using zv2::test::TEventLog;
using zv2::test::TFileServer;

using zv2::test::ReadFile;

struct TPoolFixture : ::testing::Test {
    // The diagnostic viewer of this test program, on a name of its own.
    const int Named = ::setenv("ZV2_DEBUGWIN", ("zv2-download-test-" + std::to_string(::getpid())).c_str(), 1);
    zv2::test::TDebugViewer Viewer;
    TFileServer Server;
    zv2::test::TTempDir Dir;
    TEventLog Log;
    TMemoryPool Pool{15, 2048};
    TSaveThread Writer{
        Pool, 3, TWriterCallbacks{Log.Recorder("opened"), nullptr, Log.Recorder("finished"), Log.Recorder("error")}, 0};
    std::unique_ptr<TThreadPool> Jobs;

    void Start(int receiveTimeoutMs = 30000) {
        auto timing = TEngineTiming::Fast();
        timing.ReceiveTimeoutMs = receiveTimeoutMs;
        Jobs = std::make_unique<TThreadPool>(0, Pool, Writer, timing);
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
    std::uint32_t key = 6;
    for (const auto mode : {TFileServer::TMode::CloseEarly, TFileServer::TMode::Hang}) {
        TFileServer server;
        server.AddFile("/s.mp3", zv2::test::SongBytes(9000));
        server.SetMode(mode);
        Start(300);
        const std::string k = std::to_string(key);
        ASSERT_TRUE(Writer.AddFile(key, Dir.File("s.mp3"), 9000));
        ASSERT_TRUE(Log.WaitFor("opened " + k + " 9000"));
        Jobs->AddJob({key, server.Url("/s.mp3"), 3000, 3000});
        EXPECT_TRUE(Viewer.WaitFor("Thread ERROR, exit: "));
        ASSERT_TRUE(Log.WaitFor("error " + k + " 0")) << "the segment ended with bytes missing";
        Writer.RemoveFile(key++);
        Jobs.reset();
        server.Stop();
    }
}

TEST_F(TPoolFixture, AWorkerWaitsWhileItsFileFillsTheWritersQueueAndTheMemoryComesBack) {
    // A writer that never gets to its queue: its first pass comes in an hour.
    TSaveThread stalled(Pool, 3, {}, 3600000);
    const std::size_t size = 24u << 20;
    const zv2::test::TLocalMusicSite site({{"big.mp3", zv2::test::SongBytes(size)}});
    TThreadPool jobs(0, Pool, stalled, TEngineTiming::Fast());
    jobs.AddJob({11, site.FileUrl("big.mp3"), 0, static_cast<std::int64_t>(size) - 1});
    ASSERT_TRUE(Viewer.WaitFor("Thread waits for the writer: "));
    // The worker looks before each receive of at most one block.
    const std::int64_t queued = stalled.QueuedBytes(11);
    EXPECT_GT(queued, kQueuedBytesPerFile);
    EXPECT_LE(queued, kQueuedBytesPerFile + Pool.BlockSize());
    jobs.StopJobs(11);
    ASSERT_TRUE(Viewer.WaitFor("Thread ERROR, exit: "));
    stalled.RemoveFile(11); // the download is deleted: its blocks go
    EXPECT_EQ(stalled.QueuedBytes(11), 0);
    EXPECT_EQ(Pool.LentCount(), 0u);
    Pool.Trim();
    EXPECT_EQ(Pool.BufferCount(), 15u);
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
    EXPECT_TRUE(Viewer.WaitFor("Thread ERROR, exit: "));
    Jobs->StopJobs(12345); // nobody runs it: nothing happens
}
