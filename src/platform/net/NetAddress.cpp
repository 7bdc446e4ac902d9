#include "platform/net/NetAddress.h"

#include <charconv>

#include <arpa/inet.h>
#include <cstdlib>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>

namespace zv2::platform {

const char* NetResultText(TNetResult result) {
    switch (result) {
    case TNetResult::Ok:
        return "ok";
    case TNetResult::Refused:
        return "refused by the loopback guard";
    case TNetResult::Timeout:
        return "timed out";
    case TNetResult::Aborted:
        return "aborted";
    case TNetResult::Closed:
        return "closed";
    case TNetResult::Error:
        return "error";
    }
    return "unknown";
}

std::optional<TSocketAddress> TSocketAddress::Parse(std::string_view dotted, std::uint16_t port) {
    const std::string text(dotted);
    in_addr addr{};
    if (::inet_pton(AF_INET, text.c_str(), &addr) != 1) {
        return std::nullopt;
    }
    return TSocketAddress{ntohl(addr.s_addr), port};
}

std::string TSocketAddress::HostText() const {
    in_addr addr{};
    addr.s_addr = htonl(Host);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

std::string TSocketAddress::ToString() const {
    return HostText() + ":" + std::to_string(Port);
}

bool TSocketAddress::IsLoopback() const {
    return (Host >> 24) == 127;
}

bool ParsePort(std::string_view text, std::uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool LoopbackOnly() {
    const char* value = std::getenv("ZV2_LOOPBACK_ONLY");
    return value && *value && std::string_view(value) != "0";
}

bool DestinationAllowed(const TSocketAddress& to) {
    return to.IsLoopback() || !LoopbackOnly();
}

TNetResult Resolve(const std::string& host, std::uint16_t port, TSocketAddress& out) {
    if (auto literal = TSocketAddress::Parse(host, port)) {
        out = *literal;
        return TNetResult::Ok;
    }
    if (LoopbackOnly()) {
        // No resolver traffic under the guard: "localhost" is 127.0.0.1 even
        // where the hosts file lacks the line.
        if (::strcasecmp(host.c_str(), "localhost") != 0) {
            return TNetResult::Refused;
        }
        out = TSocketAddress{0x7F000001u, port};
        return TNetResult::Ok;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) {
        return TNetResult::Error;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    out = TSocketAddress{ntohl(in->sin_addr.s_addr), port};
    ::freeaddrinfo(list);
    return TNetResult::Ok;
}

} // namespace zv2::platform
