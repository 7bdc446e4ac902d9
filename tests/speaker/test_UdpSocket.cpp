#include "platform/net/UdpSocket.h"

#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>

using namespace zv2::platform;
using zv2::test::GiveUpMs;

namespace {

TSocketAddress Loopback(const char* host = "127.0.0.1", std::uint16_t port = 0) {
    return *TSocketAddress::Parse(host, port);
}

std::string ReceiveText(TUdpSocket& socket, TSocketAddress& from) {
    std::string buffer(8192, '\0');
    std::size_t got = 0;
    if (socket.ReceiveFrom(buffer.data(), buffer.size(), got, from, GiveUpMs) != TNetResult::Ok) {
        return "<nothing>";
    }
    buffer.resize(got);
    return buffer;
}

} // namespace

TEST(UdpSocket, DatagramsArriveWholeWithTheirSender) {
    TUdpSocket a, b;
    ASSERT_EQ(a.Open(Loopback(), false), TNetResult::Ok);
    ASSERT_EQ(b.Open(Loopback("127.0.0.2"), false), TNetResult::Ok);
    ASSERT_EQ(b.SendTo(a.LocalAddress(), "SOUND OK", 8), TNetResult::Ok);
    ASSERT_EQ(b.SendTo(a.LocalAddress(), "", 0), TNetResult::Ok);
    TSocketAddress from;
    EXPECT_EQ(ReceiveText(a, from), "SOUND OK");
    EXPECT_EQ(from, b.LocalAddress());
    EXPECT_EQ(ReceiveText(a, from), "") << "an empty datagram is a datagram";
}

TEST(UdpSocket, TwoSocketsShareOnePortOnDifferentAddresses) {
    std::uint16_t port = 0;
    {
        TUdpSocket probe;
        ASSERT_EQ(probe.Open(TSocketAddress::Any(0), false), TNetResult::Ok);
        port = probe.LocalAddress().Port;
    }
    TUdpSocket wildcard, bound;
    ASSERT_EQ(wildcard.Open(TSocketAddress::Any(port), true), TNetResult::Ok);
    ASSERT_EQ(bound.Open(Loopback("127.0.0.2", port), false), TNetResult::Ok);
    TUdpSocket sender;
    ASSERT_EQ(sender.Open(Loopback(), false), TNetResult::Ok);
    sender.SendTo(Loopback("127.0.0.2", port), "to .2", 5);
    sender.SendTo(Loopback("127.0.0.1", port), "to .1", 5);
    TSocketAddress from;
    EXPECT_EQ(ReceiveText(bound, from), "to .2");
    EXPECT_EQ(ReceiveText(wildcard, from), "to .1");
}

TEST(UdpSocket, AnyPortIsNeverOneThatAnotherSocketShares) {
    // Sharing sockets on ports the system picked must not land on each
    // other's port, or one would take the other's datagrams.
    std::vector<std::unique_ptr<TUdpSocket>> sockets;
    std::set<std::uint16_t> ports;
    for (int i = 0; i < 400; ++i) {
        sockets.push_back(std::make_unique<TUdpSocket>());
        ASSERT_EQ(sockets.back()->Open(TSocketAddress::Any(0), true), TNetResult::Ok);
        ports.insert(sockets.back()->LocalAddress().Port);
    }
    EXPECT_EQ(ports.size(), sockets.size());
}

// In a network namespace of the test's own: nothing could leave the machine
// even if the guard let a datagram through.
TEST(UdpSocket, GuardRefusesBroadcastAndOtherNetworks) {
    if (!zv2::test::EnterPrivateNetwork()) {
        GTEST_SKIP() << "no private network namespace";
    }
    TUdpSocket socket;
    ASSERT_EQ(socket.Open(TSocketAddress::Any(0), true), TNetResult::Ok);
    EXPECT_EQ(socket.SendTo(TSocketAddress::Broadcast(48899), "x", 1), TNetResult::Refused);
    EXPECT_EQ(socket.SendTo(*TSocketAddress::Parse("10.10.100.254", 48899), "x", 1), TNetResult::Refused);
    EXPECT_EQ(socket.SendTo(*TSocketAddress::Parse("192.168.1.255", 48899), "x", 1), TNetResult::Refused);
}

TEST(UdpSocket, ReceiveEndsAtItsTimeLimitOrAtAnAbort) {
    TUdpSocket socket;
    ASSERT_EQ(socket.Open(Loopback(), false), TNetResult::Ok);
    char buffer[8];
    std::size_t got = 0;
    TSocketAddress from;
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, got, from, 50), TNetResult::Timeout);
    TNetResult result = TNetResult::Ok;
    std::thread receiving([&] { result = socket.ReceiveFrom(buffer, sizeof buffer, got, from, -1); });
    socket.Abort();
    receiving.join();
    EXPECT_EQ(result, TNetResult::Aborted);
}
