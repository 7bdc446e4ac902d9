#include "platform/net/ClientSocket.h"

#include "TempDir.h"
#include "platform/net/NetWait.h"
#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A name lookup that does not end: in namespaces of the test's own, the
// resolver is pointed at a name server on 127.0.0.1 that takes the query and
// never answers. The guard refuses every lookup, so the child process
// switches it off: its private network namespace has nothing but loopback,
// and the lookup reaches no resolver outside it (the name service is
// "files dns" only, and nscd's socket is hidden), so nothing it does can leave
// the machine.
TEST(ClientSocketLookup, CloseNeverWaitsOnANameLookup) {
    zv2::test::TTempDir dir;
    const std::string resolvConf = dir.File("resolv.conf");
    std::FILE* conf = std::fopen(resolvConf.c_str(), "w");
    ASSERT_TRUE(conf);
    std::fputs("nameserver 127.0.0.1\noptions timeout:30 attempts:5\n", conf);
    std::fclose(conf);
    const std::string nsswitchConf = dir.File("nsswitch.conf");
    std::FILE* nss = std::fopen(nsswitchConf.c_str(), "w");
    ASSERT_TRUE(nss);
    std::fputs("hosts: files dns\n", nss);
    std::fclose(nss);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWNS) != 0)
            ::_exit(77);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(resolvConf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nsswitchConf.c_str(), "/etc/nsswitch.conf", nullptr, MS_BIND, nullptr) != 0 ||
            !zv2::test::EnterPrivateNetwork())
            ::_exit(77);
        // glibc asks a running nscd before the name service: hide its socket.
        if (::access("/run/nscd", F_OK) == 0 && ::mount("none", "/run/nscd", "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        const int nameServer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in at = net_detail::ToSockaddr({0x7F000001u, 53});
        if (::bind(nameServer, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0)
            ::_exit(77);
        ::unsetenv("ZV2_LOOPBACK_ONLY");
        TQueueDispatcher ui;
        TClientSocket client(ui);
        client.Open("zv2-speaker.invalid", 9, 600000);
        pollfd query{nameServer, POLLIN, 0};
        if (::poll(&query, 1, GiveUpMs) != 1)
            ::_exit(78); // the resolver never asked
        client.Close();  // while the lookup waits for its answer
        ::_exit(client.Active() ? 1 : 0);
    }
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * GiveUpMs);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "Close() waited on the name lookup";
        }
        ::usleep(10 * 1000);
    }
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no namespaces to be had here";
    if (WEXITSTATUS(status) == 78)
        GTEST_SKIP() << "the system's resolver asks no name server";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
