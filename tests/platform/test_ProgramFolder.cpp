#include "platform/ProgramFolder.h"

#include "ReadOnlyFolder.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using zv2::platform::ChooseProgramFolder;
using zv2::platform::TFolderEnvironment;

namespace {

// The choice as a child process sees it with `exeFolder` read-only; "SKIP"
// where no mount namespace can be made.
std::string ChooseWithReadOnlyFolder(const std::string& exeFolder, const TFolderEnvironment& env) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        const std::string answer =
            zv2::test::MakeFolderReadOnlyForThisProcess(exeFolder) ? ChooseProgramFolder(exeFolder, env) : "SKIP";
        [[maybe_unused]] auto n = ::write(pipe[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    ::waitpid(pid, nullptr, 0);
    return answer;
}

} // namespace

TEST(ProgramFolder, ZV2HomeWinsThenAWritableProgramFolderThenTheUsersDataFolder) {
    zv2::test::TTempDir exe;
    const std::string gone = exe.File("gone");
    struct TCase {
        std::string ExeFolder;
        TFolderEnvironment Env;
        std::string Expected;
    } cases[] = {
        {exe.Path(), {"/srv/zv2", "/data", "/home/u", "/w"}, "/srv/zv2/"},
        {exe.Path(), {"/srv/zv2/", "", "", "/w"}, "/srv/zv2/"},
        {exe.Path(), {"", "/data", "/home/u", "/w"}, exe.Path() + "/"},
        {gone, {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {gone, {"", "/data/", "/home/u", "/w"}, "/data/zv2player/"},
        {gone, {"", "", "/home/u", "/w"}, "/home/u/.local/share/zv2player/"},
        {gone, {"", "relative/data", "/home/u", "/w"}, "/home/u/.local/share/zv2player/"}, // not absolute: ignored
        // Beside an installed binary never, whoever may write there.
        {"/usr/bin", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {"/usr/local/bin", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {"/bin", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {"/usr/bin", {"/srv/zv2", "/data", "/home/u", "/w"}, "/srv/zv2/"},
        {"/opt/zv2player", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {"/opt", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        {"/sbin", {"", "/data", "/home/u", "/w"}, "/data/zv2player/"},
        // A relative ZV2_HOME from the working folder at start.
        {exe.Path(), {"home", "/data", "/home/u", "/work/dir"}, "/work/dir/home/"},
        {exe.Path(), {"./home/", "/data", "/home/u", "/"}, "/./home/"},
        {exe.Path(), {"/srv/zv2", "/data", "/home/u", "/work/dir"}, "/srv/zv2/"},
        {gone, {"", "", "", "/work/dir"}, "/work/dir/"}, // no home at all
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ChooseProgramFolder(c.ExeFolder, c.Env), c.Expected) << c.ExeFolder << " " << c.Env.Zv2Home;
}

TEST(ProgramFolder, AReadOnlyProgramFolderSendsTheFilesToTheUsersDataFolder) {
    zv2::test::TTempDir exe;
    const std::string answer = ChooseWithReadOnlyFolder(exe.Path(), {"", "/data", "/home/u", "/w"});
    if (answer == "SKIP")
        GTEST_SKIP() << "cannot make a mount namespace here";
    EXPECT_EQ(answer, "/data/zv2player/");
    EXPECT_EQ(ChooseWithReadOnlyFolder(exe.Path(), {"/srv/zv2", "/data", "/home/u", "/w"}), "/srv/zv2/");
}
