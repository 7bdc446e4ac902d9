// The whole program on a session bus of the test's own: a private
// dbus-daemon listening on a socket file in the test's folder only, the
// program and the test in a private network namespace. The test is the
// desktop's panel: it calls the media interface (MPRIS2) and reads its
// properties and signals.

#include "../audio/AudioFixtures.h"
#include "RunningCopy.h"
#include "TempDir.h"
#include "platform/RunOnce.h"
#include "speaker/PrivateNetwork.h"
#include "tools/ChildProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zv2::test::TChildProcess;

constexpr char kName[] = "org.mpris.MediaPlayer2.zv2player";
constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRoot[] = "org.mpris.MediaPlayer2";
constexpr char kPlayer[] = "org.mpris.MediaPlayer2.Player";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr auto kGiveUp = 30s; // reached only when something is broken

std::string Program() {
    return std::string(std::getenv("ZV2_TOOLS_DIR")) + "/zv2player";
}

// One Qt core application per test process, made after the process entered
// its namespace (Qt D-Bus starts a thread).
void EnsureQtApplication() {
    static int argc = 1;
    static char name[] = "test_zv2playerMpris";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    (void)app;
}

// Runs Qt's events until `done` holds; false when it never did.
bool WaitFor(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + kGiveUp; !done();) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

// What PropertiesChanged told of the player, in order.
class TPlayerSignals : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> Changes;
    // The last value announced for `name`, or invalid.
    QVariant Last(const QString& name) const {
        for (auto it = Changes.rbegin(); it != Changes.rend(); ++it)
            if (it->contains(name))
                return it->value(name);
        return {};
    }
public slots:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == kPlayer)
            Changes.push_back(changed);
    }
};

namespace {

// The metadata map in a property value as it arrives (a D-Bus argument).
QVariantMap MetadataOf(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

class ProgramOnSessionBus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zv2::test::EnterPrivateNetwork())
            GTEST_SKIP() << "cannot create a network namespace here";
        Home = Dir.Path() + "/home";
        std::filesystem::create_directories(Home + "/LRCs");
        One = zv2::audio::test::MakeSine("one.mp3", "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0",
                                         8.0);
        Two = zv2::audio::test::MakeSine("two.mp3", "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0",
                                         2.0);
        std::ofstream(Home + "/LRCs/one.lrc") << "[ti:one]\n[00:00.30]the first line\n";
        std::ofstream(Home + "/Download.ini") << "[ZV2Address]\nIP=127.0.0.1\n"
                                              << "[MusicList]\nMusicCount=2\nMusic0=" << One << "\nMusic1=" << Two
                                              << "\n[History]\nLastPlayed=0\nAutoPlay=0\nVolume=1500\n";
    }

    // A session bus of the test's own, on a socket file in the test's folder.
    bool StartBus() {
        const std::string socket = Dir.File("bus");
        Bus = std::make_unique<TChildProcess>(std::vector<std::string>{
            "dbus-daemon", "--session", "--nofork", "--print-address", "--address=unix:path=" + socket});
        if (!Bus->WaitForOutput("unix:path=", int(std::chrono::milliseconds(kGiveUp).count())))
            return false;
        Address = "unix:path=" + socket;
        return true;
    }

    std::unique_ptr<TChildProcess> StartProgram(const char* busAddress) {
        if (busAddress)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress, 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::setenv("ZV2_HOME", Home.c_str(), 1);
        auto program = std::make_unique<TChildProcess>(std::vector<std::string>{Program()});
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        return program;
    }

    bool WaitUntilRunning(TChildProcess& program) { return zv2::test::WaitUntilRunning(Home, program.Pid(), kGiveUp); }

    zv2::test::TTempDir Dir;
    std::string Home, One, Two, Address;
    std::unique_ptr<TChildProcess> Bus;
};

// The panel's side: calls on the program's object over the test's bus.
class TPanel {
public:
    explicit TPanel(const std::string& address)
        : Bus(QDBusConnection::connectToBus(QString::fromStdString(address), "panel")) {}
    ~TPanel() { QDBusConnection::disconnectFromBus("panel"); }

    QDBusMessage Call(const QString& interface, const QString& member, const QList<QVariant>& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kName, kPath, interface, member);
        call.setArguments(args);
        return Bus.call(call, QDBus::Block, int(std::chrono::milliseconds(kGiveUp).count()));
    }
    QVariant Get(const QString& interface, const QString& name) {
        const QDBusMessage reply = Call(kProperties, "Get", {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
    bool Ok(const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; }

    QDBusConnection Bus;
};

TEST_F(ProgramOnSessionBus, APanelPlaysPausesStepsAndSetsTheVolumeAndHearsOfEverySongChange) {
    ASSERT_TRUE(StartBus()) << Bus->Err;
    auto program = StartProgram(Address.c_str());
    ASSERT_TRUE(WaitUntilRunning(*program)) << program->Err;
    EnsureQtApplication();
    TPanel panel(Address);
    ASSERT_TRUE(panel.Bus.isConnected());
    ASSERT_TRUE(WaitFor([&] { return panel.Bus.interface()->isServiceRegistered(kName).value(); })) << program->Err;
    TPlayerSignals signals_;
    ASSERT_TRUE(panel.Bus.connect(kName, kPath, kProperties, "PropertiesChanged", &signals_,
                                  SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));

    EXPECT_EQ(panel.Get(kRoot, "DesktopEntry").toString(), "zv2player");
    EXPECT_EQ(panel.Get(kRoot, "Identity").toString(), QString::fromUtf8("Vantor-ZV2无线播放软件"));
    EXPECT_EQ(panel.Get(kPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_TRUE(panel.Get(kPlayer, "CanPlay").toBool());
    EXPECT_DOUBLE_EQ(panel.Get(kPlayer, "Volume").toDouble(), 0.5) << "1500 of 3000";

    // Play: the first song, with its title, length and then its lyric line.
    ASSERT_TRUE(panel.Ok(panel.Call(kPlayer, "Play")));
    ASSERT_TRUE(WaitFor([&] { return signals_.Last("PlaybackStatus").toString() == "Playing"; }));
    QVariantMap meta = MetadataOf(panel.Get(kPlayer, "Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), "one");
    EXPECT_NEAR(meta.value("mpris:length").toLongLong() / 1e6, 8.0, 0.1) << "a song of 8 s";
    const QString firstTrack = meta.value("mpris:trackid").value<QDBusObjectPath>().path();
    ASSERT_TRUE(WaitFor([&] {
        return MetadataOf(signals_.Last("Metadata")).value("xesam:comment").toStringList() ==
               QStringList{"the first line"};
    }));

    // Pause, and the volume from the panel: the program's 0..3000 follows.
    ASSERT_TRUE(panel.Ok(panel.Call(kPlayer, "Pause")));
    ASSERT_TRUE(WaitFor([&] { return signals_.Last("PlaybackStatus").toString() == "Paused"; }));
    EXPECT_EQ(panel.Get(kPlayer, "PlaybackStatus").toString(), "Paused");
    ASSERT_TRUE(panel.Ok(panel.Call(kProperties, "Set",
                                    {QString(kPlayer), QString("Volume"), QVariant::fromValue(QDBusVariant(0.25))})));
    ASSERT_TRUE(WaitFor([&] { return signals_.Last("Volume").isValid(); }));
    EXPECT_DOUBLE_EQ(signals_.Last("Volume").toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(panel.Get(kPlayer, "Volume").toDouble(), 0.25);

    // Next: the second song, a new track.
    ASSERT_TRUE(panel.Ok(panel.Call(kPlayer, "Next")));
    ASSERT_TRUE(WaitFor([&] { return MetadataOf(signals_.Last("Metadata")).value("xesam:title") == "two"; }));
    EXPECT_EQ(panel.Get(kPlayer, "PlaybackStatus").toString(), "Playing");
    const QString secondTrack =
        MetadataOf(signals_.Last("Metadata")).value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_NE(secondTrack, firstTrack);

    // The second song ends by itself; the list starts again at the first,
    // and the panel hears of it.
    ASSERT_TRUE(WaitFor([&] { return MetadataOf(signals_.Last("Metadata")).value("xesam:title") == "one"; }));
    const QString third = MetadataOf(signals_.Last("Metadata")).value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_NE(third, secondTrack);
    EXPECT_NE(third, firstTrack);

    // Quit: the program closes the normal way, its settings saved.
    ASSERT_TRUE(panel.Ok(panel.Call(kRoot, "Quit")));
    EXPECT_EQ(program->Wait(), 0) << program->Err;
    EXPECT_NE(zv2::test::ReadFile(Home + "/Download.ini").find("Volume=750\n"), std::string::npos);
    EXPECT_EQ(TChildProcess::Occurrences(program->Err, "mpris:"), 0) << program->Err;
}

// playerctl, the desktop's own command-line panel, on the test's bus; its output.
std::string Playerctl(const std::string& busAddress, const std::vector<std::string>& args) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
    std::vector<std::string> argv{"playerctl", "--player=zv2player"};
    argv.insert(argv.end(), args.begin(), args.end());
    TChildProcess playerctl(argv);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_EQ(playerctl.Wait(), 0) << playerctl.Err;
    return playerctl.Out;
}

TEST_F(ProgramOnSessionBus, PlayerctlReadsTheTagsTheRealPlayTimeOfAVbrSongAnEncodedAddressAndTheCover) {
    // Variable bit rate, 2 s of silence and then noise, 6 s in all: the rate
    // of its first frames gives 11 s; only its Xing header tells its length.
    const std::string cover = zv2::audio::test::TempDir() + "/cover.png";
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i color=c=blue:s=16x16 "
                           "-frames:v 1 '" +
                           cover + "'")
                              .c_str()),
              0);
    const std::string song = zv2::audio::test::MakeSine(
        "Sky Song.mp3",
        "-i '" + cover +
            "' -f lavfi -i anoisesrc=d=6:c=white:a=0.5:r=44100 -filter_complex \"[2:a]volume=0:enable='lt(t,2)'[a]\" "
            "-map \"[a]\" -map 1:v -ac 2 -c:a libmp3lame -q:a 0 -c:v copy -id3v2_version 3 "
            "-metadata:s:v comment='Cover (front)' -metadata title='Loopback Blues' -metadata artist='小明' "
            "-metadata album='测试专辑'",
        6.0);
    std::ofstream(Home + "/Download.ini") << "[ZV2Address]\nIP=127.0.0.1\n[MusicList]\nMusicCount=1\nMusic0=" << song
                                          << "\n[History]\nLastPlayed=0\nAutoPlay=0\n";
    ASSERT_TRUE(StartBus()) << Bus->Err;
    auto program = StartProgram(Address.c_str());
    ASSERT_TRUE(WaitUntilRunning(*program)) << program->Err;
    EnsureQtApplication();
    TPanel panel(Address);
    ASSERT_TRUE(WaitFor([&] { return panel.Bus.interface()->isServiceRegistered(kName).value(); })) << program->Err;

    Playerctl(Address, {"play"});
    ASSERT_TRUE(WaitFor([&] { return panel.Get(kPlayer, "PlaybackStatus").toString() == "Playing"; }));
    const std::string out =
        Playerctl(Address, {"metadata", "--format",
                            "{{xesam:title}}\n{{xesam:artist}}\n{{xesam:album}}\n{{mpris:length}}\n{{xesam:url}}\n"
                            "{{mpris:artUrl}}"});
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u) << out;
    EXPECT_EQ(lines[0], "Loopback Blues");
    EXPECT_EQ(lines[1], "小明");
    EXPECT_EQ(lines[2], "测试专辑");
    const double length = std::stoll(lines[3]) / 1e6;
    std::printf("playerctl: mpris:length %.3f s for a song of 6 s at a variable bit rate\n", length);
    EXPECT_NEAR(length, 6.0, 0.5);
    std::string encoded = "file://" + song;
    encoded.replace(encoded.find(' '), 1, "%20");
    EXPECT_EQ(lines[4], encoded);
    ASSERT_EQ(lines[5].rfind("file://" + Home + "/Covers/", 0), 0u) << lines[5];
    const std::string art = lines[5].substr(7);
    EXPECT_EQ(zv2::test::ReadFile(art), zv2::test::ReadFile(cover)) << "the cover, whole, in the program's folder";

    program->Signal(SIGTERM);
    EXPECT_EQ(program->Wait(), 0) << program->Err;
}

TEST_F(ProgramOnSessionBus, WithoutASessionBusTheProgramRunsAsBeforeAndSaysSoOnce) {
    const std::string nowhere = "unix:path=" + Dir.File("no-bus");
    for (const char* address : {static_cast<const char*>(nullptr), nowhere.c_str()}) {
        auto program = StartProgram(address);
        ASSERT_TRUE(WaitUntilRunning(*program)) << program->Err;
        program->Signal(SIGTERM);
        EXPECT_EQ(program->Wait(), 0) << program->Err;
        EXPECT_EQ(TChildProcess::Occurrences(program->Err, "mpris:"), 1) << program->Err;
    }
}

} // namespace

#include "test_zv2playerMpris.moc"
