#include "EventLog.h"
#include "FileServer.h"
#include "TempDir.h"
#include "download/untTaskThread.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace zv2::download;
using zv2::test::TEventLog;
using zv2::test::TFileServer;

using zv2::test::ReadFile;

namespace {

struct TJob {
    std::int64_t Start, Length;
    friend bool operator==(const TJob&, const TJob&) = default;
};

std::vector<TJob> Jobs(std::int64_t size, bool statusOK) {
    std::vector<TJob> jobs;
    for (const auto& job : SegmentJobs(1, "u", size, statusOK))
        jobs.push_back({job.Start, job.Length});
    return jobs;
}

} // namespace

TEST(ParseProbeReply, ReadsContentLengthByTheRuleOfTheProbe) {
    struct TCase {
        const char* Reply;
        std::int64_t Size;
        bool StatusOK;
    };
    const TCase cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 3072\r\n\r\n", 3072, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1 234\r\n\r\n", 1234, true},
        {"HTTP/1.1 200 OK\r\ncontent-length: 500\r\n\r\n", 0, true},
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", 0, true},
        {"HTTP/1.1 302 Found\r\nContent-Length: 99\r\n\r\n", 99, false},
        {"HTTP/1.1 200 Ok\r\nContent-Length: 99\r\n\r\n", 99, false},
        {"HTTP/1.1 200 OK\r\nX-Note: Content-Length: 7\r\n\r\n", 0, true},
        {"Content-Length: 99\r\n\r\n200 OK", 0, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 536870912\r\n\r\n", 536870912, true}, // 512 MiB
    };
    for (const TCase& c : cases) {
        const TProbeResult result = ParseProbeReply(c.Reply);
        EXPECT_EQ(result.Size, c.Size) << c.Reply;
        EXPECT_EQ(result.StatusOK, c.StatusOK) << c.Reply;
    }
    EXPECT_GT(ParseProbeReply("HTTP/1.1 200 OK\r\nContent-Length: 536870913\r\n").Size, kLargestSong);
    EXPECT_GT(ParseProbeReply("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n").Size, kLargestSong);
}

TEST(SegmentJobs, CutsFilesFrom3072BytesIntoThreeOverlappingRanges) {
    EXPECT_EQ(Jobs(3071, true), (std::vector<TJob>{{0, 3071}}));
    EXPECT_EQ(Jobs(3072, true), (std::vector<TJob>{{0, 1024}, {1025, 1026}, {2048, 1024}}));
    EXPECT_EQ(Jobs(5000, false), (std::vector<TJob>{{0, 5000}}));
}

TEST(ParseProbeReply, KeepsTheValidatorsThatARecordLineCanHold) {
    const TProbeResult result = ParseProbeReply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nlast-modified: Tue, 08 Dec "
                                                "2026 20:23:01 GMT\r\nETag: \"a1-5\"\r\n\r\n");
    EXPECT_EQ(result.LastModified, "Tue, 08 Dec 2026 20:23:01 GMT");
    EXPECT_EQ(result.ETag, "\"a1-5\"");
    EXPECT_EQ(ParseProbeReply("HTTP/1.1 200 OK\r\nETag: " + std::string(300, 'e') + "\r\n\r\n").ETag, "") << "too long";
    EXPECT_EQ(ParseProbeReply("HTTP/1.1 200 OK\r\nETag: a\x01b\r\n\r\n").ETag, "") << "a control byte";
    EXPECT_EQ(ParseProbeReply("HTTP/1.1 200 OK\r\n\r\n").LastModified, "");
}

TEST(SameFileOnServer, WantsTheSameSizeAndValidatorsAndAtLeastOneOfThem) {
    const TResumeRecord both{"u", "a.mp3", 5000, "Mon", "\"e\"", {}};
    const TResumeRecord timeOnly{"u", "a.mp3", 5000, "Mon", "", {}};
    const TResumeRecord none{"u", "a.mp3", 5000, "", "", {}};
    struct TCase {
        const TResumeRecord& Record;
        TProbeResult Probe;
        bool Same;
    };
    const TCase cases[] = {
        {both, {5000, true, "Mon", "\"e\""}, true},   {both, {5001, true, "Mon", "\"e\""}, false},
        {both, {5000, false, "Mon", "\"e\""}, false}, {both, {5000, true, "Tue", "\"e\""}, false},
        {both, {5000, true, "Mon", "\"f\""}, false},  {both, {5000, true, "Mon", ""}, false},
        {timeOnly, {5000, true, "Mon", ""}, true},    {timeOnly, {5000, true, "Mon", "\"e\""}, false},
        {none, {5000, true, "", ""}, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SameFileOnServer(c.Record, c.Probe), c.Same)
            << c.Probe.Size << " " << c.Probe.StatusOK << " " << c.Probe.LastModified << " " << c.Probe.ETag;
}

TEST(ResumeJobs, AskForEveryMissingByteAndNoneThatIsThere) {
    const std::pair<std::int64_t, std::vector<TByteRange>> cases[] = {
        {20000000, {{0, 10000000}}},
        {6000, {}},
        {1000, {{0, 100}, {200, 300}}},
        {9000, {{1000, 2000}, {3000, 4000}, {5000, 6000}}},
        {100, {{0, 100}}},
    };
    for (const auto& [size, complete] : cases) {
        // Each job asks for Start .. Start + Length, both ends included.
        std::vector<int> asked(static_cast<std::size_t>(size), 0);
        for (const auto& job : ResumeJobs(1, "u", size, complete))
            for (std::int64_t at = job.Start; at <= job.Start + job.Length && at < size; ++at)
                ++asked[static_cast<std::size_t>(at)];
        std::vector<int> wanted(static_cast<std::size_t>(size), 1);
        for (const TByteRange& had : complete)
            std::fill(wanted.begin() + had.Start, wanted.begin() + had.End, 0);
        EXPECT_TRUE(asked == wanted) << "size " << size << ": each missing byte once, no byte that is there";
    }
}

struct TTaskFixture : ::testing::Test {
    TFileServer Server;
    zv2::test::TTempDir Dir;
    TEventLog Log;
    std::map<std::uint32_t, std::string> Saved;
    std::unique_ptr<TTaskThread> Engine;

    void Start(int maxTasks = 5, int receiveTimeoutMs = 30000, int probeTimeLimitMs = 30000, bool fullSpeed = false,
               int retryPauseMs = 0) {
        TTaskCallbacks callbacks;
        callbacks.OnTaskStart = Log.Recorder("start");
        callbacks.OnTaskError = [this](std::uint32_t key) { Log.Add("error " + std::to_string(key)); };
        callbacks.OnTaskRetry = [this](std::uint32_t key, int attempt) {
            Log.Add("retry " + std::to_string(key) + " " + std::to_string(attempt));
        };
        callbacks.OnTaskDone = [this](std::uint32_t key, const std::string& saved) {
            Saved[key] = saved; // written before the entry that the test waits for
            Log.Add("done " + std::to_string(key));
        };
        auto timing = fullSpeed ? TEngineTiming::FullSpeed() : TEngineTiming::Fast();
        timing.ReceiveTimeoutMs = receiveTimeoutMs;
        timing.ProbeTimeLimitMs = probeTimeLimitMs;
        timing.RetryPauseMs = retryPauseMs;
        Engine = std::make_unique<TTaskThread>(std::move(callbacks), maxTasks, 3, timing);
    }
    void TearDown() override { Engine.reset(); }
};

TEST_F(TTaskFixture, DownloadsSeveralFilesAtOnceByteForByte) {
    const std::string small = zv2::test::SongBytes(3071, 1), large = zv2::test::SongBytes(200000, 2);
    Server.AddFile("/songs/small.mp3", small);
    Server.AddFile("/songs/large one.mp3", large);
    Server.SetPieceSize(1000);
    Start();
    Engine->AddTask(1, Dir.File("small.mp3"), Server.Url("/songs/small.mp3"));
    // Capitals are asked for in lower case; spaces as %20.
    Engine->AddTask(2, Dir.File("large.mp3"), Server.Url("/Songs/Large One.MP3"));
    ASSERT_TRUE(Log.WaitFor("done 1"));
    ASSERT_TRUE(Log.WaitFor("done 2"));
    EXPECT_TRUE(Log.Contains("start 1 3071"));
    EXPECT_TRUE(Log.Contains("start 2 200000"));
    EXPECT_EQ(ReadFile(Saved[1]), small);
    EXPECT_EQ(ReadFile(Saved[2]), large);
    int gets = 0;
    for (const auto& request : Server.Requests()) {
        if (request.rfind("GET ", 0) != 0)
            continue;
        ++gets;
        EXPECT_TRUE(request.rfind("GET /songs/small.mp3 ", 0) == 0 ||
                    request.rfind("GET /songs/large%20one.mp3 ", 0) == 0)
            << request;
    }
    EXPECT_EQ(gets, 4) << "one segment for 3071 bytes, three for the large file";
    EXPECT_EQ(Engine->Running(), 0);
    EXPECT_EQ(Engine->TaskCount(), 0u);
}

// The temporary files of downloads in `folder`, and their records.
std::vector<std::string> TemporarySongs(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(kTemporarySongPrefix, 0) == 0)
            names.push_back(entry.path().filename().string());
    return names;
}

TEST_F(TTaskFixture, AtFullSpeedBlocksGoToATemporaryFileThatBecomesTheSong) {
    const std::string song = zv2::test::SongBytes(3 * 1024 * 1024 + 7, 5);
    Server.AddFile("/full.mp3", song);
    Server.SetPieceSize(100000);
    Start(5, 30000, 30000, true);
    Engine->AddTask(1, Dir.File("full.mp3"), Server.Url("/full.mp3"));
    ASSERT_TRUE(Log.WaitFor("done 1"));
    EXPECT_EQ(ReadFile(Dir.File("full.mp3")), song);
    EXPECT_TRUE(TemporarySongs(Dir.Path()).empty());
}

TEST_F(TTaskFixture, AtFullSpeedARemovedDownloadTakesItsTemporaryFileAlong) {
    Server.AddFile("/hang.mp3", zv2::test::SongBytes(30000));
    Server.SetMode(TFileServer::TMode::Hang);
    Start(5, 30000, 30000, true);
    Engine->AddTask(2, Dir.File("hang.mp3"), Server.Url("/hang.mp3"));
    ASSERT_TRUE(Log.WaitFor("start 2 30000"));
    const auto opened = TemporarySongs(Dir.Path());
    EXPECT_EQ(std::count_if(opened.begin(), opened.end(), IsTemporarySongName), 1) << "the blocks have their file";
    Engine->RemoveTask(2);
    // The close keeps the downloads it finds open: this one is gone already.
    Engine.reset();
    EXPECT_TRUE(TemporarySongs(Dir.Path()).empty());
    EXPECT_FALSE(std::filesystem::exists(Dir.File("hang.mp3")));
}

TEST_F(TTaskFixture, AReplyWithout200OkIsFetchedAsOneJob) {
    const std::string song = zv2::test::SongBytes(5000);
    Server.AddFile("/moved.mp3", song);
    Server.SetHeadReply("HTTP/1.1 302 Found\r\nContent-Length: 5000\r\n\r\n");
    Start();
    Engine->AddTask(3, Dir.File("moved.mp3"), Server.Url("/moved.mp3"));
    ASSERT_TRUE(Log.WaitFor("done 3"));
    EXPECT_EQ(ReadFile(Dir.File("moved.mp3")), song);
    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("Range: bytes=0-5000\r\n"), std::string::npos);
}

TEST_F(TTaskFixture, ProbesThatGiveNoUsableSizeFailTheTask) {
    Server.AddFile("/x.mp3", "abc");
    const char* replies[] = {
        "HTTP/1.1 200 OK\r\ncontent-length: 500\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
        "HTTP/1.1 200 OK\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 536870913\r\n\r\n",
    };
    Start();
    std::uint32_t key = 10;
    for (const char* reply : replies) {
        Server.SetHeadReply(reply);
        Engine->AddTask(key, Dir.File("x.mp3"), Server.Url("/x.mp3"));
        EXPECT_TRUE(Log.WaitFor("error " + std::to_string(key))) << reply;
        ++key;
    }
    Engine->AddTask(key, Dir.File("x.mp3"), "http://127.0.0.1:1/refused.mp3");
    EXPECT_TRUE(Log.WaitFor("error " + std::to_string(key)));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("x.mp3")));
    EXPECT_EQ(Engine->TaskCount(), 0u);
}

TEST_F(TTaskFixture, AFailedSegmentFailsItsDownloadAndSavesNothing) {
    for (const auto mode : {TFileServer::TMode::CloseEarly, TFileServer::TMode::Hang}) {
        TFileServer server;
        server.AddFile("/bad.mp3", zv2::test::SongBytes(30000));
        server.SetMode(mode);
        Start(5, 300);
        Engine->AddTask(20, Dir.File("bad.mp3"), server.Url("/bad.mp3"));
        ASSERT_TRUE(Log.WaitFor("start 20 30000"));
        ASSERT_TRUE(Log.WaitFor("error 20"));
        Engine.reset();
        server.Stop();
        EXPECT_FALSE(std::filesystem::exists(Dir.File("bad.mp3")));
    }
}

std::vector<std::int64_t> RangeStarts(const std::vector<std::string>& requests) {
    std::vector<std::int64_t> starts;
    for (const auto& request : requests)
        if (const std::size_t at = request.find("Range: bytes=");
            request.rfind("GET ", 0) == 0 && at != std::string::npos)
            starts.push_back(std::stoll(request.substr(at + 13)));
    return starts;
}

TEST_F(TTaskFixture, ASegmentThatFailsOnceIsFetchedAgainForItsMissingBytesOnly) {
    const std::string song = zv2::test::SongBytes(30000, 6);
    Server.AddFile("/once.mp3", song);
    Server.FailGets(1);
    Start();
    Engine->AddTask(40, Dir.File("once.mp3"), Server.Url("/once.mp3"));
    ASSERT_TRUE(Log.WaitFor("done 40"));
    EXPECT_TRUE(Log.Contains("retry 40 1"));
    EXPECT_FALSE(Log.Contains("retry 40 2"));
    EXPECT_EQ(ReadFile(Dir.File("once.mp3")), song);
    const std::vector<std::int64_t> starts = RangeStarts(Server.Requests());
    ASSERT_EQ(starts.size(), 4u) << "three segments and one retry";
    const std::set<std::int64_t> segmentStarts = {0, 10001, 20000};
    const auto retried =
        std::find_if(starts.begin(), starts.end(), [&](std::int64_t start) { return segmentStarts.count(start) == 0; });
    EXPECT_NE(retried, starts.end()) << "the retry asks from the first byte that did not come";
}

TEST_F(TTaskFixture, ASegmentIsTriedThreeTimesMoreBeforeItsDownloadFails) {
    Server.AddFile("/bad.mp3", zv2::test::SongBytes(30000));
    Server.SetMode(TFileServer::TMode::CloseEarly);
    Start();
    Engine->AddTask(41, Dir.File("bad.mp3"), Server.Url("/bad.mp3"));
    ASSERT_TRUE(Log.WaitFor("error 41"));
    EXPECT_TRUE(Log.Contains("retry 41 3"));
    EXPECT_FALSE(Log.Contains("retry 41 4"));
    EXPECT_EQ(RangeStarts(Server.Requests()).size(), 12u) << "each of three segments fetched four times";
    EXPECT_FALSE(std::filesystem::exists(Dir.File("bad.mp3")));
}

TEST_F(TTaskFixture, RemovingADownloadOrClosingTheEngineEndsTheRetryPauseAtOnce) {
    Server.AddFile("/bad.mp3", zv2::test::SongBytes(30000));
    Server.SetMode(TFileServer::TMode::CloseEarly);
    Start(5, 30000, 30000, false, 600000); // ten minutes before a retry
    Engine->AddTask(42, Dir.File("bad.mp3"), Server.Url("/bad.mp3"));
    Engine->AddTask(43, Dir.File("bad2.mp3"), Server.Url("/bad.mp3"));
    ASSERT_TRUE(Server.WaitForRequestCount("GET ", 6)); // every segment failed once and waits
    Engine->RemoveTask(42);
    EXPECT_EQ(Engine->Running(), 1);
    Engine.reset(); // neither waits for its pause: the test would time out
    EXPECT_FALSE(Log.Contains("retry 42 1"));
    EXPECT_FALSE(Log.Contains("retry 43 1"));
}

TEST_F(TTaskFixture, RemovingOrStoppingHungDownloadsDoesNotWait) {
    Server.AddFile("/hang.mp3", zv2::test::SongBytes(30000));
    Server.SetMode(TFileServer::TMode::Hang);
    // A server that takes connections and never answers: the probe waits.
    std::uint16_t silentPort = 0;
    const int silent = zv2::test::ListenOnLoopback(4, silentPort);
    Start();
    Engine->AddTask(30, Dir.File("hang.mp3"), Server.Url("/hang.mp3"));
    ASSERT_TRUE(Log.WaitFor("start 30 30000"));
    EXPECT_EQ(Engine->Running(), 1);
    Engine->RemoveTask(30);
    EXPECT_EQ(Engine->Running(), 0);
    Engine->RemoveTask(999); // never seen: nothing changes
    EXPECT_EQ(Engine->Running(), 0);
    Engine->AddTask(31, Dir.File("silent.mp3"), "http://127.0.0.1:" + std::to_string(silentPort) + "/s.mp3");
    Engine.reset(); // aborts the waiting probe
    ::close(silent);
    EXPECT_FALSE(Log.Contains("error 30"));
}

TEST_F(TTaskFixture, ASlowProbeDelaysOnlyItsOwnDownloadAndDeletingItFreesItsSlot) {
    const std::string song = zv2::test::SongBytes(5000, 3), next = zv2::test::SongBytes(4000, 4);
    for (const char* slow : {"/slow1.mp3", "/slow2.mp3"}) {
        Server.AddFile(slow, song);
        Server.SetSlowHead(slow); // its HEAD reply at one byte a second
    }
    Server.AddFile("/fast.mp3", song);
    Server.AddFile("/next.mp3", next);
    // One download at a time (two probes in flight at most); a probe ends
    // only by its deletion here, its time limit being ten minutes.
    Start(1, 30000, 600000);
    Engine->AddTask(1, Dir.File("slow1.mp3"), Server.Url("/slow1.mp3"));
    ASSERT_TRUE(Server.WaitForRequest("HEAD /slow1.mp3 "));
    Engine->AddTask(2, Dir.File("fast.mp3"), Server.Url("/fast.mp3"));
    ASSERT_TRUE(Log.WaitFor("done 2")) << "the song after the slow one downloads at once";
    EXPECT_EQ(ReadFile(Saved[2]), song);

    // Both probe places taken by slow servers: the next song waits until a
    // stuck one is deleted.
    Engine->AddTask(3, Dir.File("slow2.mp3"), Server.Url("/slow2.mp3"));
    ASSERT_TRUE(Server.WaitForRequest("HEAD /slow2.mp3 "));
    Engine->AddTask(4, Dir.File("next.mp3"), Server.Url("/next.mp3"));
    Engine->RemoveTask(1);
    ASSERT_TRUE(Log.WaitFor("done 4"));
    EXPECT_EQ(ReadFile(Saved[4]), next);
    EXPECT_FALSE(Log.Contains("error 1")) << "a deleted download reports nothing";
    Engine.reset(); // the last slow probe is cut short; nothing waits for its server
    EXPECT_FALSE(std::filesystem::exists(Dir.File("slow1.mp3")));
}

TEST_F(TTaskFixture, AProbeEndsAtItsTimeLimit) {
    Server.AddFile("/slow.mp3", "abc");
    Server.SetSlowHead("/slow.mp3");
    Start(5, 30000, 300);
    Engine->AddTask(5, Dir.File("slow.mp3"), Server.Url("/slow.mp3"));
    EXPECT_TRUE(Log.WaitFor("error 5"));
}
