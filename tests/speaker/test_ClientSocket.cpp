#include "platform/net/ClientSocket.h"

#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace zv2::platform;
using zv2::test::GiveUpMs;
using zv2::test::PumpUntil;

namespace {

class ClientSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Listener.Listen(*TSocketAddress::Parse("127.0.0.1", 0)), TNetResult::Ok);
        Client.OnConnect = [this] { Notices.push_back("connect"); };
        Client.OnDisconnect = [this] { Notices.push_back("disconnect"); };
        Client.OnError = [this](TNetResult result, int error) {
            Notices.push_back(std::string("error ") + NetResultText(result));
            LastError = error;
        };
    }

    std::uint16_t Port() const { return Listener.LocalAddress().Port; }

    bool WaitForNotices(std::size_t count) {
        return PumpUntil(Ui, [&] { return Notices.size() >= count; });
    }

    std::unique_ptr<TTcpSocket> OpenAndAccept() {
        Client.Open("127.0.0.1", Port(), GiveUpMs);
        std::unique_ptr<TTcpSocket> server;
        EXPECT_EQ(Listener.Accept(server, GiveUpMs), TNetResult::Ok);
        EXPECT_TRUE(WaitForNotices(1));
        return server;
    }

    zv2::test::TCountingDispatcher Ui;
    TTcpListener Listener;
    TClientSocket Client{Ui};
    std::vector<std::string> Notices;
    int LastError = 0;
};

} // namespace

TEST_F(ClientSocketTest, ConnectsSendsAndReportsThePeersEnd) {
    auto server = OpenAndAccept();
    ASSERT_TRUE(server);
    EXPECT_EQ(Notices, std::vector<std::string>{"connect"});
    EXPECT_TRUE(Client.Active());
    ASSERT_EQ(Client.SendAll(Client.Connection(), "pcm", 3, GiveUpMs), TNetResult::Ok);
    EXPECT_EQ(zv2::test::ReadExactly(*server, 3), (std::vector<std::uint8_t>{'p', 'c', 'm'}));
    server->Close();
    ASSERT_TRUE(WaitForNotices(2));
    EXPECT_EQ(Notices, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_FALSE(Client.Active());
    EXPECT_EQ(Client.Connection(), 0u);
}

TEST_F(ClientSocketTest, RefusedConnectIsAnError) {
    Listener.Close();
    Client.Open("127.0.0.1", Port() ? Port() : 1, GiveUpMs);
    ASSERT_TRUE(WaitForNotices(1));
    EXPECT_EQ(Notices, std::vector<std::string>{"error error"});
    EXPECT_EQ(LastError, ECONNREFUSED);
    EXPECT_FALSE(Client.Active());
}

// In a network namespace of the test's own: nothing could leave the machine
// even if the guard let the connect through.
TEST_F(ClientSocketTest, GuardRefusalIsAnError) {
    if (!zv2::test::EnterPrivateNetwork()) {
        GTEST_SKIP() << "no private network namespace";
    }
    Client.Open("10.10.100.254", 48898, GiveUpMs);
    ASSERT_TRUE(WaitForNotices(1));
    EXPECT_EQ(Notices, std::vector<std::string>{"error refused by the loopback guard"});
}

TEST_F(ClientSocketTest, ConnectWithoutAnswerEndsInATimeoutError) {
    zv2::test::TDeafListener deaf;
    ASSERT_TRUE(deaf.Ok);
    Client.Open("127.0.0.1", deaf.Address().Port, 100);
    ASSERT_TRUE(WaitForNotices(1));
    EXPECT_EQ(Notices, std::vector<std::string>{"error timed out"});
}

TEST_F(ClientSocketTest, DropEndsTheConnectionLikeThePeerWould) {
    auto server = OpenAndAccept();
    ASSERT_TRUE(server);
    const std::uint64_t connection = Client.Connection();
    Client.Drop(connection + 1); // not the current one: nothing happens
    ASSERT_EQ(Client.SendAll(connection, "x", 1, GiveUpMs), TNetResult::Ok);
    Client.Drop(connection);
    ASSERT_TRUE(WaitForNotices(2));
    EXPECT_EQ(Notices, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_EQ(Client.SendAll(connection, "x", 1, GiveUpMs), TNetResult::Closed);
}

TEST_F(ClientSocketTest, CloseIsSilentAndDropsNoticesOnTheirWay) {
    Client.Open("127.0.0.1", Port(), GiveUpMs);
    ASSERT_TRUE(Ui.WaitForPosts(1)); // the connect notice is queued, not yet run
    Client.Close();
    EXPECT_EQ(Ui.RunPending(), 1);
    EXPECT_TRUE(Notices.empty());
    EXPECT_FALSE(Client.Active());
}

TEST_F(ClientSocketTest, SendsOnlyOnTheConnectionTheyWereMeantFor) {
    auto first = OpenAndAccept();
    ASSERT_TRUE(first);
    const std::uint64_t old = Client.Connection();
    Client.Open("127.0.0.1", Port(), GiveUpMs);
    EXPECT_NE(Client.Connection(), old);
    EXPECT_EQ(Client.SendAll(old, "x", 1, GiveUpMs), TNetResult::Closed);
    EXPECT_TRUE(zv2::test::ReadUntilClosed(*first));
}

TEST_F(ClientSocketTest, NoticesQueuedForADestroyedSocketAreDropped) {
    bool delivered = false;
    {
        TClientSocket client(Ui);
        client.OnConnect = [&] { delivered = true; };
        client.Open("127.0.0.1", Port(), GiveUpMs);
        ASSERT_TRUE(Ui.WaitForPosts(1));
    }
    EXPECT_EQ(Ui.RunPending(), 1);
    EXPECT_FALSE(delivered);
}
