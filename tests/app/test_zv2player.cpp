// The whole program, started as a user would, inside a private network
// namespace of the test's own so that nothing it sends can leave the machine.

#include "ReadOnlyFolder.h"
#include "RunningCopy.h"
#include "TempDir.h"
#include "platform/IniFile.h"
#include "platform/RunOnce.h"
#include "speaker/PrivateNetwork.h"
#include "tools/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using zv2::test::ReadFile;

namespace {

using namespace std::chrono_literals;

std::string Program() {
    return std::string(std::getenv("ZV2_TOOLS_DIR")) + "/zv2player";
}

// Starts the program for `home` with `args`, in the working folder `folder`
// (when given); returns its pid. The test has moved into a private network
// namespace first, and the program starts in it.
pid_t Start(const std::string& home, const std::vector<std::string>& args = {}, const std::string& folder = {}) {
    const std::string program = Program();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("ZV2_HOME", home.c_str(), 1);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
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
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), pid, 20s));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid), 0);
    const std::string h = home.Path() + "/";
    EXPECT_EQ(ReadFile(h + "Download.ini"), "[ZV2Address]\nIP=10.10.100.254\n"
                                            "[ZV2Speakers]\nCount=1\nIP0=10.10.100.254\nVolume0=3000\nOn0=1\n"
                                            "[MusicList]\nMusicCount=0\n"
                                            "[SearchList]\nSearchCount=0\n"
                                            "[General]\nSavePath=" +
                                                h + "Music\nQuitConfirm=0\nLRCPath=" + h +
                                                "LRCs/\nAutoLyrics=1\nSpeakerMode=1\n"
                                                "[History]\nLastPlayed=0\nAutoPlay=1\nVolume=1500\n"
                                                "[Search]\nFilter=0\n"
                                                "[Download]\nMaxTasks=5\nThreadsPeerTask=3\nFullSpeed=0\n");
}

TEST(Program, ASecondStartWakesTheFirstAndEndsWithoutAWindow) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    const pid_t first = Start(home.Path());
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), first, 20s));
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
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), first, 20s));
    ::kill(first, SIGKILL);
    WaitForExit(first);
    EXPECT_EQ(ReadFile(ini), "[History]\nVolume=700\n");

    const pid_t next = Start(home.Path());
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), next, 20s));
    ::kill(next, SIGTERM);
    EXPECT_EQ(WaitForExit(next), 0);
    EXPECT_NE(ReadFile(ini).find("Volume=700"), std::string::npos);
}

TEST(Program, FilesOnTheCommandLinePlayAndASecondStartHandsItsFilesToTheRunningCopy) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    for (const char* name : {"a.mp3", "b c.mp3"}) {
        const std::string command =
            "ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=d=2 -c:a libmp3lame '" + home.File(name) + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n";

    // A path relative to the first copy's working folder; a file URI as the
    // desktop may pass it, handed over by a copy started elsewhere.
    const pid_t first = Start(home.Path(), {"a.mp3"}, home.Path());
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), first, 20s));
    const pid_t second = Start(home.Path(), {"file://" + home.Path() + "/b%20c.mp3"}, "/");
    EXPECT_EQ(WaitForExit(second, 10s), 0);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0) << "the first copy must keep running";
    ::kill(first, SIGTERM);
    ASSERT_EQ(WaitForExit(first), 0);

    zv2::platform::TIniFile ini(home.File("Download.ini"));
    EXPECT_EQ(ini.ReadInteger("MusicList", "MusicCount", 0), 2);
    EXPECT_EQ(ini.ReadString("MusicList", "Music0", ""), home.File("a.mp3"));
    EXPECT_EQ(ini.ReadString("MusicList", "Music1", ""), home.File("b c.mp3"));
    EXPECT_EQ(ini.ReadInteger("History", "LastPlayed", -1), 1) << "the handed file is the one that played last";
}

TEST(Program, AnInstalledCopyKeepsItsFilesInTheUsersDataFolderAPortableOneBesideItself) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only program folder" : "writable program folder");
        zv2::test::TTempDir dir;
        const std::string bin = dir.File("bin"), data = dir.File("data");
        std::filesystem::create_directory(bin);
        std::filesystem::copy_file(Program(), bin + "/zv2player");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::unsetenv("ZV2_HOME");
            ::setenv("XDG_DATA_HOME", data.c_str(), 1);
            if (readOnly && !zv2::test::MakeFolderReadOnlyForThisProcess(bin))
                ::_exit(77);
            const std::string program = bin + "/zv2player";
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // The program makes its data folder before it takes the instance lock.
        const std::string home = readOnly ? data + "/zv2player" : bin;
        int status = 0;
        for (auto end = std::chrono::steady_clock::now() + 20s;
             !std::filesystem::exists(home) && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(20ms);
        if (::waitpid(pid, &status, WNOHANG) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 77)
            GTEST_SKIP() << "cannot make a mount namespace here";
        ASSERT_TRUE(zv2::test::WaitUntilRunning(home, pid, 20s));
        ::kill(pid, SIGTERM);
        EXPECT_EQ(WaitForExit(pid), 0);
        const std::string ini = ReadFile(home + "/Download.ini");
        EXPECT_NE(ini.find("SavePath=" + home + "/Music\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find("LRCPath=" + home + "/LRCs/\n"), std::string::npos) << ini;
        if (readOnly) {
            EXPECT_EQ(std::filesystem::status(home).permissions(), std::filesystem::perms::owner_all);
            EXPECT_FALSE(std::filesystem::exists(bin + "/Download.ini"));
        } else {
            EXPECT_FALSE(std::filesystem::exists(data));
        }
    }
}

namespace {

// The program started through env(1) with `env` changes (NAME=VALUE, or
// -u NAME), its output captured.
zv2::test::TChildProcess StartWith(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(Program());
    argv.insert(argv.end(), args.begin(), args.end());
    return zv2::test::TChildProcess(argv);
}

const std::vector<std::string> kNoDisplay = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};

} // namespace

TEST(Program, WithoutADisplayItSaysSoInOneLineAndMakesNothingAndVersionNeedsNone) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir dir;
    const std::string home = dir.File("home");
    std::vector<std::string> env = kNoDisplay;
    env.push_back("ZV2_HOME=" + home);

    auto noDisplay = StartWith(env, {"a.mp3"});
    EXPECT_EQ(noDisplay.Wait(), 1);
    EXPECT_EQ(std::count(noDisplay.Err.begin(), noDisplay.Err.end(), '\n'), 1) << noDisplay.Err;
    EXPECT_NE(noDisplay.Err.find("display"), std::string::npos) << noDisplay.Err;
    EXPECT_EQ(noDisplay.Out, "");
    EXPECT_FALSE(std::filesystem::exists(home));

    auto version = StartWith(env, {"--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_EQ(version.Out, "zv2player " ZV2_PROJECT_VERSION "\n");
    EXPECT_EQ(version.Err, "");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST(Program, QtsOptionsWithTheirValuesReachQtAndOnlyTheFilesReachThePlaylist) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    zv2::test::TTempDir home;
    for (const char* name : {"a.mp3", "b.mp3"}) {
        const std::string command =
            "ffmpeg -loglevel error -nostdin -y -f lavfi -i sine=d=2 -c:a libmp3lame '" + home.File(name) + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n";
    // Without a display only the platform given on the command line lets the
    // window start; "b.mp3" is the value of a title option, not a file.
    std::vector<std::string> env = kNoDisplay;
    env.push_back("ZV2_HOME=" + home.Path());
    auto program = StartWith(
        env, {"-platform", "offscreen", "-style", "fusion", "-qwindowtitle", home.File("b.mp3"), home.File("a.mp3")});
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), program.Pid(), 20s)) << program.Err;
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(), 0) << program.Err;
    zv2::platform::TIniFile ini(home.File("Download.ini"));
    EXPECT_EQ(ini.ReadInteger("MusicList", "MusicCount", 0), 1);
    EXPECT_EQ(ini.ReadString("MusicList", "Music0", ""), home.File("a.mp3"));
}

TEST(Program, OnAnXServerWithoutASessionBusItStartsAndEndsCleanly) {
    if (!zv2::test::EnterPrivateNetwork())
        GTEST_SKIP() << "cannot create a network namespace here";
    if (::access("/usr/bin/Xvfb", X_OK) != 0)
        GTEST_SKIP() << "no Xvfb here";
    // A virtual X server of the test's own; it prints the display it took.
    zv2::test::TChildProcess x({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    ASSERT_TRUE(x.WaitForOutput("\n", 20000)) << x.Err;
    zv2::test::TTempDir home;
    std::ofstream(home.File("Download.ini")) << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n";
    // The window toolkit's own use of the bus libraries, with no bus to reach,
    // must not end the program in a failure (under AddressSanitizer: a leak
    // report that is not ours).
    auto program = StartWith({"-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "-u", "DBUS_SESSION_BUS_ADDRESS",
                              "DISPLAY=:" + x.Out.substr(0, x.Out.find('\n')), "ZV2_HOME=" + home.Path()},
                             {});
    ASSERT_TRUE(zv2::test::WaitUntilRunning(home.Path(), program.Pid(), 20s)) << program.Err;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0) << program.Err;
    EXPECT_NE(ReadFile(home.File("Download.ini")).find("[MusicList]"), std::string::npos);
}
