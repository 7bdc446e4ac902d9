#include "platform/UntDebug.h"

#include "DebugViewer.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zv2;
using namespace zv2::platform;

namespace {

std::vector<std::string> LinesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs `poke` and reads the lines of `path` until `done` holds for them;
// false when that has not happened within a time reached only when something is broken.
bool WaitForLines(const std::string& path, const std::function<void()>& poke,
                  const std::function<bool(const std::vector<std::string>&)>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        poke();
        if (done(LinesOf(path)))
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        ::usleep(20 * 1000);
    }
}

} // namespace

TEST(DebugOutput, EachLineIsOneDatagramWithoutItsTerminatingZero) {
    ::setenv("ZV2_DEBUGWIN", ("DebugWin-test-" + std::to_string(::getpid())).c_str(), 1);
    test::TDebugViewer viewer;
    ASSERT_TRUE(viewer.Bound());
    DebugOutput("Thread start work: 1234");
    DebugOutput("");
    EXPECT_EQ(viewer.Receive(), "Thread start work: 1234");
    EXPECT_EQ(viewer.Receive(), "");
}

TEST(DebugOutput, AViewerThatFallsBehindLosesLinesAndTheSenderNeverWaits) {
    ::setenv("ZV2_DEBUGWIN", ("DebugWin-slow-" + std::to_string(::getpid())).c_str(), 1);
    test::TDebugViewer viewer;
    ASSERT_TRUE(viewer.Bound());
    // Far more than the socket buffer holds: a blocking send would hang here.
    constexpr int kLines = 100000;
    for (int i = 0; i < kLines; ++i)
        DebugOutput("Thread finished: " + std::to_string(i));
    int received = 0;
    EXPECT_EQ(viewer.Receive(), "Thread finished: 0");
    while (viewer.ReceiveNow())
        ++received;
    EXPECT_LT(received + 1, kLines);
}

TEST(DebugOutput, TheViewerToolPrintsEveryLineItReceives) {
    const std::string name = "DebugWin-tool-" + std::to_string(::getpid());
    ::setenv("ZV2_DEBUGWIN", name.c_str(), 1);
    const std::string out = ::testing::TempDir() + "/debugwin-" + std::to_string(::getpid()) + ".txt";
    const std::string tool = std::string(std::getenv("ZV2_TOOLS_DIR")) + "/debugwin";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        ::execl(tool.c_str(), tool.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Lines sent before the tool listens are lost, so send until one arrives.
    EXPECT_TRUE(WaitForLines(
        out, [] { DebugOutput("Delete task: 7"); },
        [](const std::vector<std::string>& lines) { return !lines.empty(); }));
    // A line still in the socket when the tool is stopped is not printed: stop it once it is out.
    DebugOutput("Thread ERROR, exit: 9");
    EXPECT_TRUE(WaitForLines(
        out, [] {},
        [](const std::vector<std::string>& lines) {
            return !lines.empty() && lines.back() == "Thread ERROR, exit: 9";
        }));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> lines = LinesOf(out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Delete task: 7");
    EXPECT_EQ(lines.back(), "Thread ERROR, exit: 9");
    ::unlink(out.c_str());
}
