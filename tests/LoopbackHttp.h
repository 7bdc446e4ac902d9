#pragma once
// The one way for tests and tools to make a cpp-httplib client.
//
// Rule: never construct an httplib::Client yourself (from a host name, a URL
// or an address read from a page); ask LoopbackHttpClient() for one, or run
// the client only inside a network namespace that the test made itself
// (speaker/PrivateNetwork.h). httplib has its own sockets and resolver, so
// the loopback guard of our socket layer does not reach it; this function is
// its guard:
// - it refuses (returns nullptr) every host but a literal address in
//   127.0.0.0/8 and "localhost", whatever ZV2_LOOPBACK_ONLY says;
// - "localhost" becomes 127.0.0.1, so httplib asks no resolver;
// - redirects are not followed (a Location could name any host);
// - every wait has an end: connect, read and write time-outs.
// Servers (httplib::Server) listen on a literal loopback address ("127.0.0.1")
// with a port the system picks (bind_to_any_port), never on 0.0.0.0.

#include "platform/net/NetAddress.h"

#include <httplib.h>

#include <memory>
#include <string>
#include <strings.h>

namespace zv2::test {

inline std::unique_ptr<httplib::Client> LoopbackHttpClient(const std::string& host, int port, int timeoutSeconds = 10) {
    auto address = platform::TSocketAddress::Parse(host, static_cast<std::uint16_t>(port));
    if (!address && ::strcasecmp(host.c_str(), "localhost") == 0) {
        address = platform::TSocketAddress{0x7F000001u, static_cast<std::uint16_t>(port)};
    }
    if (!address || !address->IsLoopback() || port <= 0 || port > 65535) {
        return nullptr;
    }
    auto client = std::make_unique<httplib::Client>(address->HostText(), port);
    client->set_follow_location(false);
    client->set_connection_timeout(timeoutSeconds);
    client->set_read_timeout(timeoutSeconds);
    client->set_write_timeout(timeoutSeconds);
    return client;
}

} // namespace zv2::test
