#include "platform/RunOnce.h"

#include "TempDir.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using zv2::platform::TOpenParse;
using zv2::platform::TRunOnce;

namespace {

// A connection to a first copy's socket, or -1.
int Connect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(RunOnce, ASecondCopyWakesTheFirstAndTheNextStartAfterItIsFirstAgain) {
    zv2::test::TTempDir home;
    std::atomic<int> wakes{0};
    {
        TRunOnce first(home.Path());
        ASSERT_FALSE(first.CheckFirstInstance());
        first.Listen([&](auto) { ++wakes; });

        TRunOnce second(home.Path());
        EXPECT_TRUE(second.CheckFirstInstance());
        EXPECT_EQ(wakes, 1);
    }
    TRunOnce next(home.Path());
    EXPECT_FALSE(next.CheckFirstInstance());
}

TEST(RunOnce, DifferentProgramFoldersAreDifferentInstances) {
    zv2::test::TTempDir a, b;
    TRunOnce first(a.Path());
    TRunOnce other(b.Path());
    EXPECT_FALSE(first.CheckFirstInstance());
    EXPECT_FALSE(other.CheckFirstInstance());
}

TEST(RunOnce, AKilledFirstCopyLeavesNothingThatStopsTheNextStart) {
    zv2::test::TTempDir home;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TRunOnce first(home.Path());
        const bool another = first.CheckFirstInstance();
        first.Listen([](auto) {});
        const char c = another ? 'n' : 'y';
        [[maybe_unused]] auto n = ::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    TRunOnce next(home.Path()); // lock freed by the kernel; the stale socket file is replaced
    EXPECT_FALSE(next.CheckFirstInstance());
    std::atomic<int> wakes{0};
    next.Listen([&](auto) { ++wakes; });
    TRunOnce later(home.Path());
    EXPECT_TRUE(later.CheckFirstInstance());
    EXPECT_EQ(wakes, 1);
}

TEST(RunOnce, CopiesStartedAtTheSameMomentGiveExactlyOneFirstCopy) {
    zv2::test::TTempDir home;
    constexpr int kCopies = 6;
    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    // The first copy keeps running until every copy has answered: this pipe
    // ends (its writing end closed) once the test has read all the answers.
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kCopies; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TRunOnce copy(home.Path());
            const bool another = copy.CheckFirstInstance();
            if (!another)
                copy.Listen([](auto) {});
            const char c = another ? 's' : 'f';
            [[maybe_unused]] auto n = ::write(results[1], &c, 1);
            ::close(done[1]);
            char end = 0;
            if (!another)
                n = ::read(done[0], &end, 1);
            ::_exit(0);
        }
        children.push_back(child);
    }
    int first = 0, second = 0;
    for (int i = 0; i < kCopies; ++i) {
        char c = 0;
        ASSERT_EQ(::read(results[0], &c, 1), 1);
        (c == 'f' ? first : second)++;
    }
    ::close(done[1]);
    ::close(done[0]);
    for (pid_t child : children)
        ::waitpid(child, nullptr, 0);
    ::close(results[0]);
    ::close(results[1]);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, kCopies - 1);
}

TEST(RunOnce, OnlyALockHeldByAnotherCopyMeansAnotherCopyRuns) {
    zv2::test::TTempDir home;
    std::atomic<int> wakes{0};
    TRunOnce first(home.Path());
    ASSERT_FALSE(first.CheckFirstInstance());
    first.Listen([&](auto) { ++wakes; });

    // A file system without locks: the program runs, without the guard, and
    // leaves the running copy's socket alone.
    TRunOnce unguarded(home.Path(), [](int, int) {
        errno = ENOLCK;
        return -1;
    });
    EXPECT_FALSE(unguarded.CheckFirstInstance());
    unguarded.Listen([](auto) { ADD_FAILURE() << "a copy without the lock listens"; });
    EXPECT_EQ(wakes, 0);

    TRunOnce later(home.Path());
    EXPECT_TRUE(later.CheckFirstInstance());
    EXPECT_EQ(wakes, 1);
}

TEST(RunOnce, NoWakeArrivesOnceListeningHasStopped) {
    zv2::test::TTempDir home;
    TRunOnce first(home.Path());
    ASSERT_FALSE(first.CheckFirstInstance());
    std::atomic<bool> stopped{false};
    std::atomic<int> wakes{0}, late{0};
    first.Listen([&](auto) {
        ++wakes;
        if (stopped)
            ++late;
    });
    // Later starts knock all the time while the first copy stops listening.
    const std::string show = zv2::platform::EncodeOpenRequest({});
    const auto knock = [&] {
        const int fd = Connect(first.SocketPath());
        const bool heard = fd >= 0 && ::send(fd, show.data(), show.size(), MSG_NOSIGNAL) == ssize_t(show.size());
        ::close(fd);
        return heard;
    };
    std::atomic<bool> knocking{true};
    std::thread knocker([&] {
        while (knocking)
            knock();
    });
    while (wakes == 0)
        std::this_thread::yield();
    first.StopListening();
    stopped = true;
    EXPECT_FALSE(knock()) << "nobody listens any more";
    knocking = false;
    knocker.join();
    EXPECT_EQ(late, 0);
}

TEST(RunOnce, ASecondStartHandsItsFilesOverWithEveryByteOfTheirPaths) {
    zv2::test::TTempDir home;
    std::mutex mutex;
    std::vector<std::vector<std::string>> received;
    TRunOnce first(home.Path());
    ASSERT_FALSE(first.CheckFirstInstance());
    first.Listen([&](std::vector<std::string> files) {
        std::lock_guard lock(mutex);
        received.push_back(std::move(files));
    });

    const std::vector<std::string> files = {"/music/a b.mp3", "/music/\xe6\xad\x8c\n\x01\xff.mp3", "relative.mp3"};
    EXPECT_TRUE(TRunOnce(home.Path()).CheckFirstInstance(files));
    EXPECT_TRUE(TRunOnce(home.Path()).CheckFirstInstance());
    // Each start is answered after its call, so both calls are in.
    std::lock_guard lock(mutex);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], files);
    EXPECT_TRUE(received[1].empty());
}

TEST(RunOnce, TheRequestIsReadWholeAndAnythingMalformedIsRefused) {
    const std::string nul(1, '\0');
    const struct {
        std::string Bytes;
        TOpenParse Result;
        std::vector<std::string> Files;
    } cases[] = {
        {"OPEN 0\n", TOpenParse::Done, {}},
        {"OPEN 7\na" + nul + "\n\xff" + nul + "/" + nul, TOpenParse::Done, {"a", "\n\xff", "/"}},
        {"OP", TOpenParse::NeedMore, {}},
        {"OPEN 104857", TOpenParse::NeedMore, {}},
        {"OPEN 4\nab", TOpenParse::NeedMore, {}},
        {"SHOW\n", TOpenParse::Malformed, {}},
        {"open 0\n", TOpenParse::Malformed, {}},
        {"OPEN \n", TOpenParse::Malformed, {}},
        {"OPEN -1\n", TOpenParse::Malformed, {}},
        {"OPEN 03\nab" + nul, TOpenParse::Malformed, {}},
        {"OPEN 1048577\n", TOpenParse::Malformed, {}},        // one byte above the bound
        {"OPEN 10485760", TOpenParse::Malformed, {}},         // too many digits, before the line ends
        {"OPEN 3\nabc", TOpenParse::Malformed, {}},           // the last path is not ended
        {"OPEN 2\n" + nul + "a", TOpenParse::Malformed, {}},  // an empty path
        {"OPEN 2\na" + nul + "x", TOpenParse::Malformed, {}}, // bytes after the end
    };
    for (const auto& c : cases) {
        std::vector<std::string> files = {"untouched"};
        EXPECT_EQ(zv2::platform::ParseOpenRequest(c.Bytes, files), c.Result) << c.Bytes;
        if (c.Result == TOpenParse::Done) {
            EXPECT_EQ(files, c.Files) << c.Bytes;
        }
    }

    // The bound: the leading paths that fit go, in order; the rest stays behind.
    const std::string big(zv2::platform::kMaxOpenBytes / 2, 'x');
    std::size_t sent = 0;
    const std::string request = zv2::platform::EncodeOpenRequest({big, "", big, big}, &sent);
    EXPECT_EQ(sent, 1u);
    std::vector<std::string> files;
    ASSERT_EQ(zv2::platform::ParseOpenRequest(request, files), TOpenParse::Done);
    EXPECT_EQ(files, std::vector<std::string>{big});
    // Every request a later start makes is read whole only at its last byte.
    const std::string two = zv2::platform::EncodeOpenRequest({"/a.mp3", "/b.mp3"});
    for (std::size_t n = 0; n < two.size(); ++n)
        EXPECT_EQ(zv2::platform::ParseOpenRequest(two.substr(0, n), files), TOpenParse::NeedMore) << n;
}

TEST(RunOnce, AMalformedOrBrokenOffRequestCallsNothingAndTheNextStartIsHeard) {
    zv2::test::TTempDir home;
    std::atomic<int> wakes{0};
    TRunOnce first(home.Path());
    ASSERT_FALSE(first.CheckFirstInstance());
    first.Listen([&](auto) { ++wakes; });

    const int bad = Connect(first.SocketPath());
    ASSERT_GE(bad, 0);
    ASSERT_EQ(::send(bad, "OPEN 3\nabc", 10, MSG_NOSIGNAL), 10);
    char answer[8] = {};
    EXPECT_GT(::recv(bad, answer, sizeof answer - 1, 0), 0);
    EXPECT_STREQ(answer, "ERR\n");
    ::close(bad);

    const int cut = Connect(first.SocketPath());
    ASSERT_GE(cut, 0);
    ASSERT_EQ(::send(cut, "OPEN 9\nab", 9, MSG_NOSIGNAL), 9);
    ::close(cut); // hangs up in the middle

    EXPECT_TRUE(TRunOnce(home.Path()).CheckFirstInstance({"/x.mp3"}));
    EXPECT_EQ(wakes, 1);
}
