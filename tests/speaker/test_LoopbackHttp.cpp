#include "LoopbackHttp.h"

#include <gtest/gtest.h>

#include <thread>

using zv2::test::LoopbackHttpClient;

TEST(LoopbackHttp, RefusesEveryHostBeyondLoopbackAndAnyNameButLocalhost) {
    for (const char* host : {"10.10.100.254", "192.168.1.255", "255.255.255.255", "0.0.0.0", "music.example.com",
                             "localhost.example.com", "", "127.0.0.1 "}) {
        EXPECT_EQ(LoopbackHttpClient(host, 80), nullptr) << host;
    }
    EXPECT_EQ(LoopbackHttpClient("127.0.0.1", 0), nullptr);
}

TEST(LoopbackHttp, LocalhostReachesAServerOn127001WithoutRedirects) {
    httplib::Server server;
    server.Get("/page", [](const httplib::Request&, httplib::Response& res) { res.set_content("page", "text/plain"); });
    const int port = server.bind_to_any_port("127.0.0.1"); // listening from here on
    ASSERT_GT(port, 0);
    // A redirect to a page that exists: followed, it would give 200.
    server.Get("/away", [port](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://127.0.0.1:" + std::to_string(port) + "/page");
    });
    std::thread serving([&] { server.listen_after_bind(); });

    auto client = LoopbackHttpClient("LocalHost", port);
    ASSERT_NE(client, nullptr);
    const auto page = client->Get("/page");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body, "page");
    const auto away = client->Get("/away");
    ASSERT_TRUE(away);
    EXPECT_EQ(away->status, 302) << "the redirect is handed back, not followed";

    server.stop();
    serving.join();
}
