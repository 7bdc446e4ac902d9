// The whole program, started as a user would, inside a private network
// namespace of the test's own so that nothing it sends can leave the machine.

#include "TempDir.h"
#include "platform/RunOnce.h"
#include "speaker/PrivateNetwork.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using zv2::test::ReadFile;

namespace {

using namespace std::chrono_literals;

std::string Program() {
    return std::string(std::getenv("ZV2_TOOLS_DIR")) + "/zv2player";
}

// Starts the program for `home`; returns its pid. The test has moved into a
// private network namespace first, and the program starts in it.
pid_t Start(const std::string& home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("ZV2_HOME", home.c_str(), 1);
        const std::string program = Program();
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool Accepts(const std::string& socketPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// The first copy listens once its window exists (a socket file left by a
// killed copy refuses connections).
bool WaitUntilRunning(const std::string& home, pid_t pid) {
    const std::string socket = zv2::platform::TRunOnce(home + "/").SocketPath();
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (Accepts(socket))
            return true;
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// Exit status, or -1 when it did not end within the time.
int WaitForExit(pid_t pid, std::chrono::seconds limit = 20s) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

} // namespace

TEST(Program, SigtermOnAFreshHomeWritesEveryDefaultInTheSaveOrder) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const pid_t pid = Start(home.Path());
    ASSERT_TRUE(WaitUntilRunning(home.Path(), pid));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid), 0);
    const std::string h = home.Path() + "/";
    EXPECT_EQ(ReadFile(h + "Download.ini"), "[ZV2Address]\nIP=10.10.100.254\n"
                                            "[MusicList]\nMusicCount=0\n"
                                            "[SearchList]\nSearchCount=0\n"
                                            "[General]\nSavePath=" +
                                                h + "Music\nQuitConfirm=0\nLRCPath=" + h +
                                                "LRCs/\nAutoLyrics=1\n"
                                                "[History]\nLastPlayed=0\nAutoPlay=1\nVolume=1500\n"
                                                "[Search]\nFilter=0\n"
                                                "[Download]\nMaxTasks=5\nThreadsPeerTask=3\n");
}

TEST(Program, ASecondStartWakesTheFirstAndEndsWithoutAWindow) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const pid_t first = Start(home.Path());
    ASSERT_TRUE(WaitUntilRunning(home.Path(), first));
    const pid_t second = Start(home.Path());
    EXPECT_EQ(WaitForExit(second, 10s), 0);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0) << "the first copy must keep running";
    ::kill(first, SIGINT);
    EXPECT_EQ(WaitForExit(first), 0);
}

TEST(Program, AfterAKillTheOldFileStaysAndTheNextStartIsAFirstCopy) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const std::string ini = home.File("Download.ini");
    std::ofstream(ini) << "[History]\nVolume=700\n";
    const pid_t first = Start(home.Path());
    ASSERT_TRUE(WaitUntilRunning(home.Path(), first));
    ::kill(first, SIGKILL);
    WaitForExit(first);
    EXPECT_EQ(ReadFile(ini), "[History]\nVolume=700\n");

    const pid_t next = Start(home.Path());
    ASSERT_TRUE(WaitUntilRunning(home.Path(), next));
    ::kill(next, SIGTERM);
    EXPECT_EQ(WaitForExit(next), 0);
    EXPECT_NE(ReadFile(ini).find("Volume=700"), std::string::npos);
}
