#pragma once
// IPv4 socket addresses, name lookups and the loopback guard of the socket
// layer.
//
// The guard: with the environment variable ZV2_LOOPBACK_ONLY set (to
// anything but "" or "0"), every send and connect to a destination outside
// 127.0.0.0/8 is refused before anything leaves the process (the call returns
// TNetResult::Refused), and Resolve() refuses every name but literal dotted
// addresses and "localhost", which it maps to 127.0.0.1 without asking the
// resolver. Tests, scripts and manual runs set it, so a wrong setting can
// never reach another machine (nor its name server).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv2::platform {

// The outcome of a socket call. Each call says which ones it returns.
enum class TNetResult {
    Ok,
    Refused, // by the loopback guard: nothing was sent
    Timeout, // the wait ended without the event
    Aborted, // Abort() was called from another thread
    Closed,  // the peer ended the connection, or there is no connection
    Error,   // the system refused (connection refused, reset, no route, ...)
};

const char* NetResultText(TNetResult result);

struct TSocketAddress {
    std::uint32_t Host = 0; // IPv4, host byte order
    std::uint16_t Port = 0;

    // A dotted literal only ("127.0.0.2"); no name lookup.
    static std::optional<TSocketAddress> Parse(std::string_view dotted, std::uint16_t port);
    static TSocketAddress Any(std::uint16_t port) { return {0, port}; }
    static TSocketAddress Broadcast(std::uint16_t port) { return {0xFFFFFFFFu, port}; }

    std::string HostText() const; // "127.0.0.2"
    std::string ToString() const; // "127.0.0.2:48899"
    bool IsLoopback() const;      // 127.0.0.0/8

    friend bool operator==(const TSocketAddress&, const TSocketAddress&) = default;
};

// A port number written in decimal, 0 to 65535, nothing else around it: sets
// `port` and returns true; otherwise leaves `port` alone and returns false.
bool ParsePort(std::string_view text, std::uint16_t& port);

// Whether the guard is on (read from the environment at each call).
bool LoopbackOnly();

// False when the guard is on and `to` lies outside 127.0.0.0/8.
bool DestinationAllowed(const TSocketAddress& to);

// Any thread. Literal addresses without a lookup; under the guard "localhost"
// as 127.0.0.1 and nothing else; other names through getaddrinfo (IPv4 only;
// it may wait for the system's resolver). Returns Ok and sets `out`, Refused
// (the guard), or Error (unknown name).
TNetResult Resolve(const std::string& host, std::uint16_t port, TSocketAddress& out);

} // namespace zv2::platform
