#pragma once
// A diagnostic viewer for tests: bound to the address DebugOutput sends to
// (set ZV2_DEBUGWIN to a name of the test's own first), it receives the lines.

#include "platform/UntDebug.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zv2::test {

class TDebugViewer {
public:
    TDebugViewer() {
        const std::string address = platform::DebugWinAddress();
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, address.data(), address.size());
        Fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        Bound_ = ::bind(Fd_, reinterpret_cast<sockaddr*>(&addr),
                        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size())) == 0;
    }
    ~TDebugViewer() { ::close(Fd_); }
    TDebugViewer(const TDebugViewer&) = delete;
    TDebugViewer& operator=(const TDebugViewer&) = delete;

    bool Bound() const { return Bound_; }
    // A line that has already arrived, or nothing.
    std::optional<std::string> ReceiveNow() { return Read(MSG_DONTWAIT); }
    // The next line, or nothing when none came within `limitMs`.
    std::optional<std::string> Receive(int limitMs = 2000) {
        pollfd p{Fd_, POLLIN, 0};
        if (::poll(&p, 1, limitMs) <= 0)
            return std::nullopt;
        return Read(0);
    }
    // The next line that starts with `prefix`, the others skipped; nothing
    // when no line came for a minute.
    std::optional<std::string> WaitFor(const std::string& prefix) {
        for (auto line = Receive(60000); line; line = Receive(60000))
            if (line->starts_with(prefix))
                return line;
        return std::nullopt;
    }

private:
    std::optional<std::string> Read(int flags) {
        char buffer[2048];
        const auto n = ::recv(Fd_, buffer, sizeof buffer, flags);
        return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, static_cast<std::size_t>(n)));
    }
    int Fd_;
    bool Bound_;
};

} // namespace zv2::test
