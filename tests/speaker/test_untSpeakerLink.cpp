#include "speaker/untSpeakerLink.h"

#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

using namespace zv2;
using namespace zv2::speaker;
using platform::TNetResult;
using platform::TSocketAddress;
using test::GiveUpMs;
using test::PumpUntil;
using test::TSpeakerPeer;

namespace {

constexpr std::size_t BlockSize = test::StreamBlockSize;
using test::NumberedBlock;

class SpeakerLinkTest : public ::testing::Test {
protected:
    void MakeLink(TSpeakerLinkOptions options = {}) {
        ASSERT_TRUE(Peer.Ok);
        options.LocalPort = 0;
        options.RemoteControlPort = Peer.ControlPort();
        options.RemoteStreamPort = Peer.StreamPort();
        Link = std::make_unique<TSpeakerLink>(Ui, options);
        ASSERT_TRUE(Link->Listening());
        Link->OnDeviceFound = [this](const std::string& address) { Found.push_back(address); };
        Link->OnStreamConnect = [this] { Events.push_back("connect"); };
        Link->OnStreamDisconnect = [this] { Events.push_back("disconnect"); };
        Link->OnSoundReply = [this](const std::string& text, int size) {
            Events.push_back("reply " + text + " " + std::to_string(size));
            PendingAtReply = Link->ConnectPending();
        };
        Link->SetDevice("127.0.0.1", "44100");
    }

    TSocketAddress LinkAddress() const { return {0x7F000001u, Link->LocalPort()}; }

    void Answer(const std::string& text) { Peer.Reply(text, LinkAddress()); }

    bool WaitForEvents(std::size_t count) {
        return PumpUntil(Ui, [&] { return Events.size() >= count; });
    }

    // The peer's end of the next stream connection; the UI thread runs meanwhile.
    // Keep it while the test looks at the events: dropping it ends the
    // connection, and a "disconnect" follows.
    [[nodiscard]] std::unique_ptr<platform::TTcpSocket> Accept() {
        std::unique_ptr<platform::TTcpSocket> stream;
        PumpUntil(Ui, [&] { return Peer.Listener.Accept(stream, 0) == TNetResult::Ok; });
        return stream;
    }

    // Start request answered, stream connected and accepted by the peer.
    std::unique_ptr<platform::TTcpSocket> Connect() {
        Answer("SOUND OK");
        auto stream = Accept();
        EXPECT_TRUE(stream);
        EXPECT_TRUE(PumpUntil(Ui, [&] { return Link->StreamConnected(); }));
        return stream;
    }

    test::TCountingDispatcher Ui;
    TSpeakerPeer Peer;
    std::unique_ptr<TSpeakerLink> Link;
    std::vector<std::string> Events;
    std::vector<std::string> Found;
    bool PendingAtReply = false;
};

} // namespace

TEST_F(SpeakerLinkTest, StartRequestAndVolumeReachTheDeviceFromTheLinksPort) {
    MakeLink();
    Link->SendStartRequest();
    Link->SendVolume(4095);
    auto rate = Peer.Receive();
    auto start = Peer.Receive();
    auto volume = Peer.Receive();
    ASSERT_TRUE(rate && start && volume);
    EXPECT_EQ(rate->Text, "SOUND LRCLK 44100");
    EXPECT_EQ(start->Text, "SOUND START");
    const TMybuf expected = EncodeVolume(4095);
    EXPECT_EQ(volume->Text, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(rate->From, LinkAddress());
}

TEST_F(SpeakerLinkTest, SoundOkOpensTheStreamAfterReportingTheReply) {
    MakeLink();
    EXPECT_FALSE(Link->SendBlock(NumberedBlock(0).data(), BlockSize)) << "nothing is queued before a connection";
    Answer("SOUND OK");
    const auto stream = Accept();
    ASSERT_TRUE(stream);
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(Events, (std::vector<std::string>{"reply SOUND OK 8", "connect"}));
    EXPECT_TRUE(PendingAtReply);
    EXPECT_TRUE(Link->StreamConnected());
    EXPECT_FALSE(Link->ConnectPending());
}

TEST_F(SpeakerLinkTest, SoundNokOpensTheStreamLikeSoundOk) {
    MakeLink();
    Answer("SOUND NOK");
    const auto stream = Accept();
    ASSERT_TRUE(stream);
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(Events, (std::vector<std::string>{"reply SOUND NOK 9", "connect"}));
}

TEST_F(SpeakerLinkTest, OtherTextsOpenNothing) {
    MakeLink();
    for (const std::string text : {"sound ok", "Sound Ok", "SOUND OK\n", "SOUND OK\r\n", "SOUND NOK\r\n", "SOUND",
                                   "SOUND LRCLK 44100", "SOUND START"}) {
        Answer(text);
    }
    Answer(std::string("SOUND OK\0", 9));
    Answer("SOUND NOK"); // datagrams are handled in order: this one comes last
    const auto stream = Accept();
    ASSERT_TRUE(stream);
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(Events, (std::vector<std::string>{"reply SOUND NOK 9", "connect"}));
    Ui.RunPending();
    EXPECT_FALSE(Peer.Accept(300)) << "exactly one connection";
}

TEST_F(SpeakerLinkTest, DiscoveryAnswersReportEachSenderAndNearMissesNothing) {
    MakeLink();
    TSpeakerPeer second("127.0.0.3");
    ASSERT_TRUE(second.Ok);
    const auto send = [&](TSpeakerPeer& from, const TMybuf& bytes) {
        from.Udp.SendTo(LinkAddress(), bytes.data(), bytes.size());
    };
    TMybuf wrongDirection = EncodeDiscoveryAnswer(0);
    wrongDirection[8] = 0x8B;
    TMybuf shorter = EncodeDiscoveryAnswer(0);
    shorter.pop_back();
    TMybuf longer = EncodeDiscoveryAnswer(0);
    longer.push_back(0);
    for (const TMybuf& miss : {wrongDirection, shorter, longer, EncodeDiscoveryRequest(), TMybuf{}}) {
        send(Peer, miss);
    }
    send(Peer, EncodeDiscoveryAnswer(0x01));
    send(second, TMybuf{'D', 'A', 'T', 'A', ' ', 0x55, 0xAA, 0x01, 0x8A, 0x00, 0xFF, 0xFF});
    send(Peer, EncodeDiscoveryAnswer(0x01));
    ASSERT_TRUE(PumpUntil(Ui, [&] { return Found.size() >= 3; }));
    EXPECT_EQ(Found, (std::vector<std::string>{"127.0.0.1", "127.0.0.3", "127.0.0.1"}));
    EXPECT_TRUE(Events.empty());
}

TEST_F(SpeakerLinkTest, SecondSoundOkClosesAndReopensTheStream) {
    MakeLink();
    auto first = Connect();
    ASSERT_TRUE(first);
    Answer("SOUND OK");
    auto second = Accept();
    ASSERT_TRUE(second);
    EXPECT_TRUE(test::ReadUntilClosed(*first));
    ASSERT_TRUE(WaitForEvents(5));
    EXPECT_EQ(Events,
              (std::vector<std::string>{"reply SOUND OK 8", "connect", "disconnect", "reply SOUND OK 8", "connect"}));
    const auto block = NumberedBlock(3);
    ASSERT_TRUE(Link->SendBlock(block.data(), block.size()));
    EXPECT_EQ(test::ReadExactly(*second, BlockSize), block);
}

TEST_F(SpeakerLinkTest, BlocksReachTheStreamWholeAndInOrder) {
    MakeLink();
    auto stream = Connect();
    ASSERT_TRUE(stream);
    constexpr int Count = 40;
    std::vector<std::uint8_t> received;
    std::thread reader([&] { received = test::ReadExactly(*stream, Count * BlockSize); });
    for (int i = 0; i < Count; ++i) {
        const auto block = NumberedBlock(i);
        // A full queue refuses without waiting; offer the block again.
        while (!Link->SendBlock(block.data(), block.size())) {
            std::this_thread::yield();
        }
    }
    reader.join();
    EXPECT_TRUE(PumpUntil(Ui, [&] { return Link->PendingBlocks() == 0; }));
    ASSERT_EQ(received.size(), Count * BlockSize);
    for (int i = 0; i < Count; ++i) {
        const auto block = NumberedBlock(i);
        ASSERT_TRUE(std::equal(block.begin(), block.end(), received.begin() + i * BlockSize)) << "block " << i;
    }
}

TEST_F(SpeakerLinkTest, SpeakerThatStopsReadingNeverBlocksTheCallerAndEndsTheStream) {
    MakeLink({.QueueBlocks = 2, .StallTimeoutMs = 300});
    auto stream = Connect(); // accepted, never read
    ASSERT_TRUE(stream);
    const auto block = NumberedBlock(1);
    int refused = 0;
    ASSERT_TRUE(PumpUntil(Ui, [&] {
        refused += Link->SendBlock(block.data(), block.size()) ? 0 : 1;
        return !Events.empty() && Events.back() == "disconnect";
    }));
    EXPECT_GT(refused, 0) << "the queue filled up and refused blocks";
    EXPECT_FALSE(Link->StreamConnected());
    EXPECT_FALSE(Link->ConnectPending());
    EXPECT_FALSE(Link->SendBlock(block.data(), block.size()));
    EXPECT_TRUE(test::ReadUntilClosed(*stream));
}

TEST_F(SpeakerLinkTest, RefusedStreamConnectEndsInADisconnectNotice) {
    MakeLink();
    Peer.Listener.Close(); // nothing listens on the stream port any more
    Link->ConnectStream();
    EXPECT_TRUE(Link->ConnectPending());
    ASSERT_TRUE(WaitForEvents(1));
    EXPECT_EQ(Events, (std::vector<std::string>{"disconnect"}));
    EXPECT_FALSE(Link->ConnectPending());
    EXPECT_FALSE(Link->StreamConnected());
}

TEST_F(SpeakerLinkTest, DestructionWakesASenderStuckOnASpeakerThatReadsNothing) {
    MakeLink({.QueueBlocks = 2, .StallTimeoutMs = 600000});
    auto stream = Connect();
    ASSERT_TRUE(stream);
    const auto block = NumberedBlock(2);
    // Fill the socket buffers until the sender waits and the queue stays full.
    int refusals = 0;
    while (refusals < 500) {
        refusals = Link->SendBlock(block.data(), block.size()) ? 0 : refusals + 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Link.reset(); // must return: the wait for room on the socket is woken
    EXPECT_TRUE(test::ReadUntilClosed(*stream));
}

TEST_F(SpeakerLinkTest, DestructionWakesAStreamConnectThatGetsNoAnswer) {
    test::TDeafListener deaf;
    ASSERT_TRUE(deaf.Ok) << "backlog never filled";
    ASSERT_TRUE(Peer.Ok);
    TSpeakerLinkOptions options;
    options.LocalPort = 0;
    options.RemoteStreamPort = deaf.Address().Port;
    options.ConnectTimeoutMs = 600000;
    Link = std::make_unique<TSpeakerLink>(Ui, options);
    Link->SetDevice("127.0.0.1", "44100");
    Link->ConnectStream();
    EXPECT_TRUE(Link->ConnectPending());
    Link.reset(); // must return
    EXPECT_EQ(Ui.RunPending(), 0);
}

TEST_F(SpeakerLinkTest, ListeningGoesOnAfterFailedReceivesAndEndsWithTheLink) {
    std::atomic<int> failuresLeft{3};
    TSpeakerLinkOptions options;
    options.ReceiveRetryMs = 20;
    options.ReceiveFault = [&] { return failuresLeft.fetch_sub(1) > 0 ? TNetResult::Error : TNetResult::Ok; };
    MakeLink(options);
    const TMybuf answer = EncodeDiscoveryAnswer(0);
    Peer.Udp.SendTo(LinkAddress(), answer.data(), answer.size());
    ASSERT_TRUE(PumpUntil(Ui, [&] { return !Found.empty(); }));
    EXPECT_LE(failuresLeft.load(), 0);
    Answer("SOUND OK");
    const auto stream = Accept();
    EXPECT_TRUE(stream);

    // A link whose receives keep failing still ends at once: its pause is woken.
    std::atomic<bool> failed{false};
    options.ReceiveRetryMs = 600000;
    options.ReceiveFault = [&] {
        failed = true;
        return TNetResult::Error;
    };
    MakeLink(options);
    ASSERT_TRUE(PumpUntil(Ui, [&] { return failed.load(); }));
    Link.reset(); // must return
}

TEST_F(SpeakerLinkTest, DatagramsQueuedForADestroyedLinkAreDropped) {
    MakeLink();
    const TMybuf answer = EncodeDiscoveryAnswer(0);
    Peer.Udp.SendTo(LinkAddress(), answer.data(), answer.size());
    ASSERT_TRUE(Ui.WaitForPosts(1));
    Link.reset();
    EXPECT_EQ(Ui.RunPending(), 1);
    EXPECT_TRUE(Found.empty());
}

// The loopback guard, seen from the link: the speaker's default address is
// refused and nothing reaches it. The test runs in a network namespace of its
// own where that address exists (on its loopback), so the same calls without
// the guard show that the guard alone held the datagrams back.
TEST(SpeakerLinkGuard, RefusesTheDefaultAddressAndSendsNothing) {
    if (!test::EnterPrivateNetwork() || !test::AddLoopbackAddress(DefaultDeviceAddress) ||
        !test::RouteBroadcastToLoopback()) {
        GTEST_SKIP() << "no private network namespace";
    }
    ASSERT_TRUE(platform::LoopbackOnly());
    TSpeakerPeer speaker(DefaultDeviceAddress);
    TSpeakerPeer everyone("0.0.0.0"); // hears broadcasts in this namespace
    ASSERT_TRUE(speaker.Ok && everyone.Ok);
    platform::TQueueDispatcher ui;
    std::vector<std::string> events;
    {
        TSpeakerLinkOptions options;
        options.LocalPort = 0;
        options.RemoteControlPort = speaker.ControlPort();
        options.RemoteStreamPort = speaker.StreamPort();
        TSpeakerLink link(ui, options);
        link.OnStreamDisconnect = [&] { events.push_back("disconnect"); };
        ASSERT_EQ(link.DeviceAddress(), DefaultDeviceAddress);
        link.SendStartRequest();
        link.SendVolume(100);
        link.ConnectStream();
        ASSERT_TRUE(PumpUntil(ui, [&] { return !events.empty(); }));
        EXPECT_FALSE(link.ConnectPending());
        EXPECT_FALSE(speaker.Receive(300)) << "a datagram passed the guard";
        EXPECT_FALSE(speaker.Accept(300)) << "a connection passed the guard";

        TSpeakerLinkOptions broadcast = options;
        broadcast.RemoteControlPort = everyone.ControlPort();
        TSpeakerLink searcher(ui, broadcast);
        searcher.SearchDevices();
        EXPECT_FALSE(everyone.Receive(300)) << "a broadcast passed the guard";

        ::setenv("ZV2_LOOPBACK_ONLY", "0", 1);
        link.SendStartRequest();
        searcher.SearchDevices();
        ::setenv("ZV2_LOOPBACK_ONLY", "1", 1);
        auto rate = speaker.Receive();
        ASSERT_TRUE(rate);
        EXPECT_EQ(rate->Text, "SOUND LRCLK 44100");
        auto request = everyone.Receive();
        ASSERT_TRUE(request);
        const TMybuf expected = EncodeDiscoveryRequest();
        EXPECT_EQ(request->Text, std::string(expected.begin(), expected.end()));
    }
}

namespace {

// Three speakers on addresses of their own that share their ports, as real
// ones do, and a link whose main speaker is the first.
class SpeakerSetTest : public ::testing::Test {
protected:
    void MakeSet(TSpeakerLinkOptions options = {}) {
        ASSERT_TRUE(A.Ok);
        B = std::make_unique<TSpeakerPeer>("127.0.0.3", A.ControlPort(), A.StreamPort());
        C = std::make_unique<TSpeakerPeer>("127.0.0.4", A.ControlPort(), A.StreamPort());
        ASSERT_TRUE(B->Ok && C->Ok) << "the ports are taken on another address";
        options.LocalPort = 0;
        options.RemoteControlPort = A.ControlPort();
        options.RemoteStreamPort = A.StreamPort();
        Link = std::make_unique<TSpeakerLink>(Ui, options);
        Link->SetDevice("127.0.0.2", "44100");
    }

    // The volume of the next datagram `peer` gets that is a volume datagram.
    static std::optional<std::uint16_t> NextVolume(TSpeakerPeer& peer) {
        while (auto datagram = peer.Receive()) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(datagram->Text.data());
            if (ClassifyDatagram(bytes, datagram->Text.size()) == TDatagramKind::Volume) {
                return DecodeVolume(bytes, datagram->Text.size());
            }
        }
        return std::nullopt;
    }

    // Answers the next start request `peer` gets and takes the stream that follows.
    std::unique_ptr<platform::TTcpSocket> Start(TSpeakerPeer& peer) {
        while (auto datagram = peer.Receive()) {
            if (datagram->Text == "SOUND START") {
                peer.Reply("SOUND OK", datagram->From);
                std::unique_ptr<platform::TTcpSocket> stream;
                PumpUntil(Ui, [&] { return peer.Listener.Accept(stream, 0) == TNetResult::Ok; });
                return stream;
            }
        }
        return nullptr;
    }

    TSpeakerState State(std::size_t speaker) const { return Link->Speakers().at(speaker); }

    test::TCountingDispatcher Ui;
    TSpeakerPeer A{"127.0.0.2"};
    std::unique_ptr<TSpeakerPeer> B, C;
    std::unique_ptr<TSpeakerLink> Link;
};

// Reads a stream of numbered blocks on a thread of its own until the stream
// ends, counting the blocks that arrive whole and in order from `first` on.
class TBlockReader {
public:
    TBlockReader(platform::TTcpSocket& stream, int first) : Next_(first), Thread_([this, &stream] { Run(stream); }) {}
    ~TBlockReader() { Thread_.join(); }
    int Blocks() const { return Good_.load(); }
    bool Broken() const { return Broken_.load(); }

private:
    void Run(platform::TTcpSocket& stream) {
        for (;;) {
            const auto block = test::ReadExactly(stream, BlockSize);
            if (block.size() < BlockSize) {
                Broken_ = Broken_ || !block.empty();
                return;
            }
            if (block != NumberedBlock(Next_++)) {
                Broken_ = true;
                return;
            }
            ++Good_;
        }
    }

    int Next_;
    std::atomic<int> Good_{0};
    std::atomic<bool> Broken_{false};
    std::thread Thread_;
};

} // namespace

TEST_F(SpeakerSetTest, EachSpeakerGetsTheMasterLevelTimesItsOwnVolumeAndAChangeGoesToThatSpeakerOnly) {
    MakeSet();
    // The master volume 1500 gives the speaker level 2047.
    Link->SendVolumes(2047);
    // B comes with its start request and its volume.
    Link->SetSpeakers({{"127.0.0.2", 3000, true}, {"127.0.0.3", 1500, true}, {"127.0.0.4", 3000, false}});
    const auto a = NextVolume(A);
    const auto b = NextVolume(*B);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, 2047);
    EXPECT_NEAR(*a, 2 * *b, 1) << "A at 3000 and B at 1500: 2 : 1";
    Link->SendVolumes(2047);
    EXPECT_EQ(NextVolume(A), *a);
    EXPECT_EQ(NextVolume(*B), *b);

    // B's own volume moves to 3000: B alone hears of it.
    Link->SetSpeakers({{"127.0.0.2", 3000, true}, {"127.0.0.3", 3000, true}, {"127.0.0.4", 3000, false}});
    EXPECT_EQ(NextVolume(*B), 2047);
    Link->SendVolumes(4095); // A's next datagram must be this one
    EXPECT_EQ(NextVolume(A), 4095);
    EXPECT_EQ(NextVolume(*B), 4095);
    EXPECT_FALSE(C->Receive(300)) << "an unchecked speaker gets nothing";
}

TEST_F(SpeakerSetTest, ASpeakerThatStopsReadingLosesBlocksAloneAndComesBackAtTheLivePosition) {
    MakeSet({.StallTimeoutMs = 300});
    Link->SetSpeakers({{"127.0.0.2"}, {"127.0.0.3"}, {"127.0.0.4"}});
    Link->SendStartRequest();
    auto a = Start(A);
    auto b = Start(*B); // accepted, never read: the speaker stopped
    auto c = Start(*C);
    ASSERT_TRUE(a && b && c);
    ASSERT_TRUE(PumpUntil(Ui, [&] { return State(0).Connected && State(1).Connected && State(2).Connected; }));
    TBlockReader readerA(*a, 0), readerC(*c, 0);

    int next = 0;
    // One block to every speaker; the next follows when A and C have it.
    const auto fanOut = [&] {
        const auto block = NumberedBlock(next++);
        Link->FanOut(block.data(), block.size(), 1, 4095);
        return PumpUntil(Ui, [&] {
            return State(0).Stats.BytesSent == next * BlockSize && State(2).Stats.BytesSent == next * BlockSize;
        });
    };
    while (State(1).Connected && next < 5000) {
        ASSERT_TRUE(fanOut()) << "A and C were held back at block " << next;
    }
    ASSERT_FALSE(State(1).Connected) << "the stopped speaker is found out";
    EXPECT_GT(State(1).Stats.BlocksDropped, 0u);
    EXPECT_EQ(State(0).Stats.BlocksDropped, 0u);
    EXPECT_EQ(State(2).Stats.BlocksDropped, 0u);

    // B reads again: the next block asks it to start, its answer reconnects it,
    // and it goes on with the blocks that come from then on.
    ASSERT_TRUE(fanOut());
    auto again = Start(*B);
    ASSERT_TRUE(again);
    ASSERT_TRUE(PumpUntil(Ui, [&] { return State(1).Connected; }));
    const int live = next;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(fanOut());
    }
    std::vector<std::uint8_t> expected;
    for (int i = live; i < next; ++i) {
        const auto block = NumberedBlock(i);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(test::ReadExactly(*again, expected.size()), expected);
    Link.reset(); // ends the streams, and with them the readers
    EXPECT_EQ(readerA.Blocks(), next);
    EXPECT_EQ(readerC.Blocks(), next);
    EXPECT_FALSE(readerA.Broken() || readerC.Broken());
}
