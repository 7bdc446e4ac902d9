#include "http/untSocketAbort.h"

#include "platform/net/TcpSocket.h"

#include <gtest/gtest.h>
#include <thread>

using namespace zv2;

namespace {

// A listener that takes connections and never answers.
struct TSilentServer {
    TSilentServer() { Listener.Listen(*platform::TSocketAddress::Parse("127.0.0.1", 0)); }
    std::uint16_t Port() const { return Listener.LocalAddress().Port; }
    platform::TTcpListener Listener;
};

TEST(SocketAbort, CutsTheRegisteredExchangeShortFromAnotherThread) {
    TSilentServer server;
    http::TSocketAbort abort;
    platform::TTcpSocket socket;
    const http::TSocketAbort::TScope registered(abort, socket);
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port(), 20000), platform::TNetResult::Ok);
    std::thread stopper([&] { abort.Abort(); });
    char byte = 0;
    std::size_t got = 0;
    EXPECT_EQ(socket.Receive(&byte, 1, got, -1), platform::TNetResult::Aborted);
    stopper.join();
    EXPECT_TRUE(abort.Aborted());
}

TEST(SocketAbort, AnAbortBeforeTheSocketExistsStopsItsConnectUntilReset) {
    TSilentServer server;
    http::TSocketAbort abort;
    abort.Abort();
    {
        platform::TTcpSocket socket;
        const http::TSocketAbort::TScope registered(abort, socket);
        EXPECT_EQ(socket.Connect("127.0.0.1", server.Port(), 20000), platform::TNetResult::Aborted);
    }
    abort.Reset();
    EXPECT_FALSE(abort.Aborted());
    platform::TTcpSocket socket;
    const http::TSocketAbort::TScope registered(abort, socket);
    EXPECT_EQ(socket.Connect("127.0.0.1", server.Port(), 20000), platform::TNetResult::Ok);
}

} // namespace
