// The software speaker, run as a program: against the speaker link on
// loopback (inside a network namespace of the test's own), and discovery for
// real between two namespaces joined by a veth pair.

#include "speaker/untSpeakerLink.h"

#include "TempDir.h"
#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"
#include "tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>

using namespace zv2;
using test::GiveUpMs;
using test::NumberedBlock;
using test::PumpUntil;
using test::TChildProcess;

namespace {

std::string ToolPath() {
    const char* dir = std::getenv("ZV2_TOOLS_DIR");
    return std::string(dir ? dir : ".") + "/zv2-speaker";
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::vector<std::uint8_t> Stream(int blocks) {
    std::vector<std::uint8_t> all;
    for (int i = 0; i < blocks; ++i) {
        const auto block = NumberedBlock(i);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// The WAV file's header fields and its data must be the stream, unchanged.
void ExpectWavHolds(const std::string& path, const std::vector<std::uint8_t>& pcm) {
    const auto wav = ReadFile(path);
    ASSERT_EQ(wav.size(), 44 + pcm.size());
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(wav, 4), 36 + pcm.size());
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(wav, 24), 44100u);
    EXPECT_EQ(Le32(wav, 28), 176400u);
    EXPECT_EQ(wav[22], 2);  // channels
    EXPECT_EQ(wav[34], 16); // bits
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(Le32(wav, 40), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), wav.begin() + 44)) << "the stream arrived changed";
}

// The tool's summary line, from its standard output.
std::string SummaryOf(const TChildProcess& tool) {
    const auto at = tool.Out.find("zv2-speaker: bytes=");
    return at == std::string::npos ? "" : tool.Out.substr(at, tool.Out.find('\n', at) - at);
}

class SoftSpeakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::EnterPrivateNetwork()) {
            GTEST_SKIP() << "no private network namespace";
        }
    }

    std::unique_ptr<TChildProcess> StartTool(std::vector<std::string> args) {
        args.insert(args.begin(), ToolPath());
        auto tool = std::make_unique<TChildProcess>(args);
        EXPECT_TRUE(tool->WaitForError("ready on", GiveUpMs)) << tool->Err;
        return tool;
    }

    // The program's side, on 127.0.0.1 and the speaker's own ports, as in use.
    void MakeLink(const std::string& device) {
        Link = std::make_unique<speaker::TSpeakerLink>(Ui);
        ASSERT_TRUE(Link->Listening());
        Link->OnSoundReply = [this](const std::string& text, int) { Replies.push_back(text); };
        Link->OnStreamConnect = [this] { ++Connects; };
        Link->SetDevice(device, "44100");
    }

    void SendBlocks(int from, int to) {
        for (int i = from; i < to; ++i) {
            const auto block = NumberedBlock(i);
            ASSERT_TRUE(PumpUntil(Ui, [&] { return Link->SendBlock(block.data(), block.size()); }));
        }
        ASSERT_TRUE(PumpUntil(Ui, [&] { return Link->PendingBlocks() == 0; }));
    }

    platform::TQueueDispatcher Ui;
    std::unique_ptr<speaker::TSpeakerLink> Link;
    std::vector<std::string> Replies;
    int Connects = 0;
    test::TTempDir Dir;
};

} // namespace

TEST_F(SoftSpeakerTest, HelpNamesTheOptionsAndWhatIsScaled) {
    TChildProcess tool({ToolPath(), "--help"});
    EXPECT_EQ(tool.Wait(), 0);
    for (const char* text : {"--bind", "--control-port", "--stream-port", "--wav", "--block-times", "--no-sound",
                             "--seconds", "level/4095", "unscaled"}) {
        EXPECT_NE(tool.Out.find(text), std::string::npos) << text;
    }
}

TEST_F(SoftSpeakerTest, BadOptionsEndWithAnErrorBeforeAnythingOpens) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--control-port", "70000"}, {"--seconds", "soon"}, {"--bind", "speaker.local"}, {"--frobnicate"}}) {
        std::vector<std::string> argv = {ToolPath(), "--no-sound"};
        argv.insert(argv.end(), args.begin(), args.end());
        TChildProcess tool(argv);
        EXPECT_EQ(tool.Wait(), 2) << args[0];
        EXPECT_EQ(tool.Out.find("bytes="), std::string::npos);
    }
}

TEST_F(SoftSpeakerTest, EndsAfterItsSecondsOrOnSigintWithASummary) {
    TChildProcess timed({ToolPath(), "--no-sound", "--seconds", "0.2"});
    EXPECT_EQ(timed.Wait(), 0);
    EXPECT_EQ(SummaryOf(timed).rfind("zv2-speaker: bytes=0 seconds=0.000 connections=0", 0), 0u) << timed.Out;

    auto tool = StartTool({"--no-sound"});
    tool->Signal(SIGINT);
    EXPECT_EQ(tool->Wait(), 0);
    EXPECT_NE(SummaryOf(*tool), "");
}

TEST_F(SoftSpeakerTest, TheLinksStreamArrivesBitExactAndIsPlayed) {
    const std::string wav = Dir.File("stream.wav");
    auto tool = StartTool({"--bind", "127.0.0.2", "--wav", wav}); // sound on the null device (ZV2_AUDIO=null)
    EXPECT_NE(tool->Err.find("sound null"), std::string::npos) << tool->Err;
    MakeLink("127.0.0.2");
    Link->SendStartRequest();
    Link->SendVolume(2047);
    ASSERT_TRUE(PumpUntil(Ui, [&] { return Link->StreamConnected(); })) << tool->Err;
    EXPECT_EQ(Replies, std::vector<std::string>{"SOUND OK"});
    SendBlocks(0, 12);
    Link->SendVolume(1000);
    ASSERT_TRUE(tool->WaitForError("volume 1000", GiveUpMs));
    Link.reset(); // closes the stream
    ASSERT_TRUE(tool->WaitForError("ended", GiveUpMs));
    tool->Signal(SIGTERM);
    EXPECT_EQ(tool->Wait(), 0);
    const std::string summary = SummaryOf(*tool);
    EXPECT_NE(summary.find("bytes=625200 seconds=3.544 connections=1 "), std::string::npos) << summary;
    EXPECT_NE(summary.find(" volume=1000 volume_datagrams=2 start_requests=1 "), std::string::npos) << summary;
    ExpectWavHolds(wav, Stream(12));
}

TEST_F(SoftSpeakerTest, NewConnectionReplacesTheOldAfterTakingWhatArrivedOnIt) {
    const std::string wav = Dir.File("stream.wav");
    auto tool = StartTool({"--bind", "127.0.0.2", "--no-sound", "--wav", wav});
    MakeLink("127.0.0.2");
    Link->SendStartRequest();
    ASSERT_TRUE(PumpUntil(Ui, [&] { return Connects == 1; }));
    SendBlocks(0, 3);
    Link->SendStartRequest(); // the answer makes the link connect again
    ASSERT_TRUE(PumpUntil(Ui, [&] { return Connects == 2; }));
    SendBlocks(3, 6);
    Link.reset();
    ASSERT_TRUE(tool->WaitForError("ended", GiveUpMs, 2));
    tool->Signal(SIGTERM);
    EXPECT_EQ(tool->Wait(), 0);
    EXPECT_NE(SummaryOf(*tool).find("bytes=312600 seconds=1.772 connections=2 "), std::string::npos) << tool->Out;
    ExpectWavHolds(wav, Stream(6));
}

TEST_F(SoftSpeakerTest, ConnectionsInQuickSuccessionAreEachReadWholeInTheirOrder) {
    const std::string wav = Dir.File("stream.wav");
    auto tool = StartTool({"--bind", "127.0.0.2", "--no-sound", "--wav", wav});
    const platform::TSocketAddress speaker = *platform::TSocketAddress::Parse("127.0.0.2", speaker::StreamPort);
    constexpr int kConnections = 4;
    for (int c = 0; c < kConnections; ++c) {
        // Each one closed and the next one opened at once, as the program reconnects.
        platform::TTcpSocket stream;
        ASSERT_EQ(stream.Connect(speaker, GiveUpMs), platform::TNetResult::Ok);
        for (int i = 3 * c; i < 3 * c + 3; ++i) {
            const auto block = NumberedBlock(i);
            ASSERT_EQ(stream.SendAll(block.data(), block.size(), GiveUpMs), platform::TNetResult::Ok);
        }
    }
    ASSERT_TRUE(tool->WaitForError("ended", GiveUpMs, kConnections));
    tool->Signal(SIGTERM);
    EXPECT_EQ(tool->Wait(), 0);
    EXPECT_NE(SummaryOf(*tool).find(" connections=4 "), std::string::npos) << tool->Out;
    ExpectWavHolds(wav, Stream(3 * kConnections));
}

TEST_F(SoftSpeakerTest, AnswersDiscoveryAndDeclinesOtherRatesFromItsOwnAddress) {
    auto tool = StartTool({"--bind", "127.0.0.2", "--no-sound"});
    platform::TUdpSocket program;
    ASSERT_EQ(program.Open(*platform::TSocketAddress::Parse("127.0.0.1", 0), false), platform::TNetResult::Ok);
    const platform::TSocketAddress speaker = *platform::TSocketAddress::Parse("127.0.0.2", speaker::ControlPort);
    const auto ask = [&](const std::string& text) { program.SendTo(speaker, text.data(), text.size()); };
    const auto answer = [&] {
        std::string buffer(100, '\0');
        std::size_t got = 0;
        platform::TSocketAddress from;
        if (program.ReceiveFrom(buffer.data(), buffer.size(), got, from, GiveUpMs) != platform::TNetResult::Ok) {
            return std::string("<none>");
        }
        EXPECT_EQ(from, speaker);
        return buffer.substr(0, got);
    };
    const speaker::TMybuf discovery = speaker::EncodeDiscoveryRequest();
    ask(std::string(discovery.begin(), discovery.end()));
    const std::string found = answer();
    EXPECT_EQ(speaker::ClassifyDatagram(reinterpret_cast<const std::uint8_t*>(found.data()), found.size()),
              speaker::TDatagramKind::DiscoveryAnswer);
    ask("SOUND LRCLK 48000");
    ask("SOUND START");
    EXPECT_EQ(answer(), "SOUND NOK");
    ask("sound start"); // ignored; the next answer belongs to the next request
    ask("SOUND LRCLK 44100");
    ask("SOUND START");
    EXPECT_EQ(answer(), "SOUND OK");
}

TEST_F(SoftSpeakerTest, TheTestClientRefusesToBroadcastBesideAnotherNetwork) {
    // An interface with an address off the tests' LAN, as on a real machine.
    ASSERT_TRUE(test::RunIp("link add vx type veth peer name vy") && test::RunIp("addr add 10.10.100.1/24 dev vx") &&
                test::RunIp("link set vx up"));
    TChildProcess client({ZV2_SPEAKER_CLIENT, "--find", "1"});
    EXPECT_EQ(client.Wait(), 2);
    EXPECT_NE(client.Err.find("refused"), std::string::npos) << client.Err;
}

namespace {

// Two network namespaces joined by a veth pair on the tests' LAN: A is the
// test's own private namespace (see PrivateNetwork.h), B a second one held by
// a child process and gone with it. Both are made without `ip netns`, so they
// work inside a user namespace too (an ordinary user).
class TTwoNamespaces {
public:
    TTwoNamespaces() {
        if (!test::EnterPrivateNetwork()) {
            return;
        }
        Holder = std::make_unique<TChildProcess>(
            std::vector<std::string>{"unshare", "-n", "sh", "-c", "echo held >&2; exec sleep 600"});
        if (!Holder->WaitForError("held", GiveUpMs)) {
            return;
        }
        const std::string lan = test::TestLan;
        const std::string b = std::to_string(Holder->Pid());
        Ok = test::RunIp("link add va type veth peer name vb netns " + b) &&
             test::RunIp("addr add " + lan + "1/24 dev va") && test::RunIp("addr add " + lan + "3/24 dev va") &&
             test::RunIp("link set va up") && test::RunIp("route add default dev va") && IpInB("link set lo up") &&
             IpInB("addr add " + lan + "2/24 dev vb") && IpInB("link set vb up") && IpInB("route add default dev vb");
    }

    // The command that runs a program in A or B without the loopback guard:
    // the only other hosts there are the test's own.
    std::vector<std::string> InA(std::vector<std::string> argv) const {
        argv.insert(argv.begin(), {"env", "-u", "ZV2_LOOPBACK_ONLY"});
        return argv;
    }
    std::vector<std::string> InB(std::vector<std::string> argv) const {
        argv.insert(argv.begin(),
                    {"nsenter", "-t", std::to_string(Holder->Pid()), "-n", "env", "-u", "ZV2_LOOPBACK_ONLY"});
        return argv;
    }

    bool Ok = false;

private:
    bool IpInB(const std::string& ipArgs) const {
        const std::string command = "nsenter -t " + std::to_string(Holder->Pid()) + " -n " + test::IpProgram() + " " +
                                    ipArgs + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    std::unique_ptr<TChildProcess> Holder;
};

} // namespace

TEST(SoftSpeakerDiscovery, SpeakersInOneNamespaceAnswerABroadcastFromAnother) {
    TTwoNamespaces net;
    if (!net.Ok) {
        GTEST_SKIP() << "cannot create network namespaces";
    }
    test::TTempDir dir;
    const std::string wav = dir.File("first.wav");
    TChildProcess first(net.InA({ToolPath(), "--bind", "192.168.77.1", "--no-sound", "--wav", wav}));
    TChildProcess second(net.InA({ToolPath(), "--bind", "192.168.77.3", "--no-sound"}));
    ASSERT_TRUE(first.WaitForError("ready on", GiveUpMs)) << first.Err;
    ASSERT_TRUE(second.WaitForError("ready on", GiveUpMs)) << second.Err;

    TChildProcess client(net.InB({ZV2_SPEAKER_CLIENT, "--find", "2", "--device", "192.168.77.1", "--blocks", "5"}));
    EXPECT_EQ(client.Wait(), 0) << client.Err;
    for (const char* line :
         {"found 192.168.77.1\n", "found 192.168.77.3\n", "reply SOUND OK\n", "connected\n", "sent 5\n"}) {
        EXPECT_NE(client.Out.find(line), std::string::npos) << line << " in:\n" << client.Out;
    }
    ASSERT_TRUE(first.WaitForError("ended", GiveUpMs));
    first.Signal(SIGTERM);
    second.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_NE(SummaryOf(first).find("bytes=260500 "), std::string::npos) << first.Out;
    EXPECT_NE(SummaryOf(first).find("discovery_requests=1"), std::string::npos) << first.Out;
    EXPECT_NE(SummaryOf(second).find("bytes=0 "), std::string::npos) << second.Out;
    EXPECT_NE(SummaryOf(second).find("discovery_requests=1"), std::string::npos) << second.Out;
    ExpectWavHolds(wav, Stream(5));
}
