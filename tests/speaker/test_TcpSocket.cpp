#include "platform/net/TcpSocket.h"

#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>
#include <thread>

using namespace zv2::platform;
using zv2::test::GiveUpMs;

namespace {

TSocketAddress Loopback(std::uint16_t port = 0) {
    return *TSocketAddress::Parse("127.0.0.1", port);
}

// A connected pair on loopback: Client connected to Server's accepted end.
struct TPair {
    TPair() {
        EXPECT_EQ(Listener.Listen(Loopback()), TNetResult::Ok);
        EXPECT_EQ(Client.Connect(Listener.LocalAddress(), GiveUpMs), TNetResult::Ok);
        EXPECT_EQ(Listener.Accept(Server, GiveUpMs), TNetResult::Ok);
    }
    TTcpListener Listener;
    TTcpSocket Client;
    std::unique_ptr<TTcpSocket> Server;
};

// A port on which nothing listens.
std::uint16_t ClosedPort() {
    TTcpListener listener;
    listener.Listen(Loopback());
    return listener.LocalAddress().Port;
}

} // namespace

TEST(TcpSocket, BytesTravelBothWaysAndTheEndIsReported) {
    TPair pair;
    ASSERT_TRUE(pair.Server);
    const std::string hello = "hello, speaker";
    ASSERT_EQ(pair.Client.SendAll(hello.data(), hello.size(), GiveUpMs), TNetResult::Ok);
    char buffer[64];
    std::size_t got = 0;
    ASSERT_EQ(pair.Server->Receive(buffer, sizeof buffer, got, GiveUpMs), TNetResult::Ok);
    EXPECT_EQ(std::string(buffer, got), hello);
    EXPECT_EQ(pair.Server->Peer().Host, 0x7F000001u);
    EXPECT_EQ(pair.Server->Receive(buffer, sizeof buffer, got, 50), TNetResult::Timeout);
    pair.Client.Close();
    EXPECT_EQ(pair.Server->Receive(buffer, sizeof buffer, got, GiveUpMs), TNetResult::Closed);
    EXPECT_EQ(got, 0u);
}

TEST(TcpSocket, ConnectToAClosedPortIsAnError) {
    TTcpSocket socket;
    EXPECT_EQ(socket.Connect(Loopback(ClosedPort()), GiveUpMs), TNetResult::Error);
    EXPECT_EQ(socket.LastError(), ECONNREFUSED);
}

// In a network namespace of the test's own: nothing could leave the machine
// even if the guard let a connect or a name lookup through.
TEST(TcpSocket, GuardRefusesConnectsOutsideLoopback) {
    if (!zv2::test::EnterPrivateNetwork()) {
        GTEST_SKIP() << "no private network namespace";
    }
    TTcpSocket socket;
    EXPECT_EQ(socket.Connect(*TSocketAddress::Parse("10.10.100.254", 48898), GiveUpMs), TNetResult::Refused);
    EXPECT_FALSE(socket.IsOpen()) << "not even a socket was made";
    EXPECT_EQ(socket.Connect("speaker.example.com", 48898, GiveUpMs), TNetResult::Refused);
    EXPECT_EQ(socket.Connect("localhost", ClosedPort(), GiveUpMs), TNetResult::Error) << "localhost is let through";
}

TEST(TcpSocket, ConnectWithoutAnswerEndsAtItsTimeLimitOrAtAnAbort) {
    zv2::test::TDeafListener deaf;
    ASSERT_TRUE(deaf.Ok);
    TTcpSocket timed;
    EXPECT_EQ(timed.Connect(deaf.Address(), 100), TNetResult::Timeout);

    TTcpSocket aborted;
    TNetResult result = TNetResult::Ok;
    std::thread connecting([&] { result = aborted.Connect(deaf.Address(), -1); });
    aborted.Abort();
    connecting.join();
    EXPECT_EQ(result, TNetResult::Aborted);
}

TEST(TcpSocket, AbortWakesAWaitingReceiveAndEveryLaterCall) {
    TPair pair;
    ASSERT_TRUE(pair.Server);
    TNetResult result = TNetResult::Ok;
    std::thread receiving([&] {
        char buffer[16];
        std::size_t got = 0;
        result = pair.Server->Receive(buffer, sizeof buffer, got, -1);
    });
    pair.Server->Abort();
    receiving.join();
    EXPECT_EQ(result, TNetResult::Aborted);
    char byte = 'x';
    EXPECT_EQ(pair.Server->SendAll(&byte, 1, GiveUpMs), TNetResult::Aborted);
    EXPECT_TRUE(pair.Server->Aborted());
}

TEST(TcpSocket, SendToAPeerThatReadsNothingStallsUntilItsLimitOrAnAbort) {
    TPair pair;
    ASSERT_TRUE(pair.Server);
    const std::vector<char> lots(64 << 20);
    EXPECT_EQ(pair.Client.SendAll(lots.data(), lots.size(), 100), TNetResult::Timeout);

    TPair second;
    ASSERT_TRUE(second.Server);
    TNetResult result = TNetResult::Ok;
    std::thread sending([&] { result = second.Client.SendAll(lots.data(), lots.size(), -1); });
    // Wait until the sender is under way, then abort it.
    char peek;
    std::size_t got = 0;
    ASSERT_EQ(second.Server->Receive(&peek, 1, got, GiveUpMs), TNetResult::Ok);
    second.Client.Abort();
    sending.join();
    EXPECT_EQ(result, TNetResult::Aborted);
}

TEST(TcpListener, AcceptEndsAtItsTimeLimitOrAtAnAbort) {
    TTcpListener listener;
    ASSERT_EQ(listener.Listen(Loopback()), TNetResult::Ok);
    std::unique_ptr<TTcpSocket> accepted;
    EXPECT_EQ(listener.Accept(accepted, 50), TNetResult::Timeout);
    TNetResult result = TNetResult::Ok;
    std::thread accepting([&] { result = listener.Accept(accepted, -1); });
    listener.Abort();
    accepting.join();
    EXPECT_EQ(result, TNetResult::Aborted);
    EXPECT_FALSE(accepted);
}

TEST(TcpListener, FixedPortCanBeTakenAgainWhileItsLastConnectionIsInTimeWait) {
    const TSocketAddress at = Loopback(ClosedPort());
    TTcpListener listener;
    ASSERT_EQ(listener.Listen(at), TNetResult::Ok);
    TTcpSocket client;
    ASSERT_EQ(client.Connect(at, GiveUpMs), TNetResult::Ok);
    std::unique_ptr<TTcpSocket> server;
    ASSERT_EQ(listener.Accept(server, GiveUpMs), TNetResult::Ok);
    server->Close(); // the server side closes first and keeps TIME_WAIT
    listener.Close();
    TTcpListener again;
    EXPECT_EQ(again.Listen(at), TNetResult::Ok) << "SO_REUSEADDR lets a restarted speaker take its port";
}
