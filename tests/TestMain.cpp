// The main of every test program. Before any test runs it sets the test
// environment itself, so that a test program is safe and complete however it
// is started (by CTest, by hand, in a debugger or from an IDE):
// - the loopback guard of the socket layer is on (ZV2_LOOPBACK_ONLY=1) and
//   the music and lyric sites point at a closed loopback port, whatever the
//   caller's environment says: nothing a test does can leave the machine;
// - the folder of this build's programs (ZV2_TOOLS_DIR);
// - unless the caller chose otherwise: the real-time null sound device, Qt's
//   offscreen platform and a private runtime folder (0700) in the build tree;
// - no session bus.
// A test that needs the guard off does so only inside a network namespace of
// its own (speaker/PrivateNetwork.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

void SetTestEnvironment() {
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1);
    ::setenv("ZV2_MUSIC_SITE", "127.0.0.1:9", 1);
    ::setenv("ZV2_LYRIC_SITE", "127.0.0.1:9", 1);
    ::setenv("ZV2_AUDIO", "null", 0);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("ZV2_TOOLS_DIR", ZV2_TEST_TOOLS_DIR, 1);
    // Always the tests' own runtime folder: a desktop session's would collect
    // the tests' lock files and let a test wake the user's running copy.
    ::mkdir(ZV2_TEST_RUNTIME_DIR, 0700);
    ::chmod(ZV2_TEST_RUNTIME_DIR, 0700);
    ::setenv("XDG_RUNTIME_DIR", ZV2_TEST_RUNTIME_DIR, 1);
    // No session bus but one a test starts itself: programs under test never
    // appear in the desktop's media panels.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace

int main(int argc, char** argv) {
    SetTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
