#include "platform/RunOnce.h"

#include "TempDir.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using zv2::platform::TRunOnce;

TEST(RunOnce, ASecondCopyWakesTheFirstAndTheNextStartAfterItIsFirstAgain) {
    zv2::test::TTempDir home;
    std::atomic<int> wakes{0};
    {
        TRunOnce first(home.Path());
        ASSERT_FALSE(first.CheckFirstInstance());
        first.Listen([&] { ++wakes; });

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
        first.Listen([] {});
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
    next.Listen([&] { ++wakes; });
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
                copy.Listen([] {});
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
    first.Listen([&] { ++wakes; });

    // A file system without locks: the program runs, without the guard, and
    // leaves the running copy's socket alone.
    TRunOnce unguarded(home.Path(), [](int, int) {
        errno = ENOLCK;
        return -1;
    });
    EXPECT_FALSE(unguarded.CheckFirstInstance());
    unguarded.Listen([] { ADD_FAILURE() << "a copy without the lock listens"; });
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
    first.Listen([&] {
        ++wakes;
        if (stopped)
            ++late;
    });
    // Later starts knock all the time while the first copy stops listening.
    const auto knock = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", first.SocketPath().c_str());
        const bool heard = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                           ::send(fd, "SHOW\n", 5, MSG_NOSIGNAL) == 5;
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
