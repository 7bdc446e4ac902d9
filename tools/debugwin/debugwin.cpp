// debugwin: prints every diagnostic line the player sends, one per line, until
// it is interrupted. Run it beside the player to watch the download workers.
//   debugwin            listen on "DebugWin" (or $ZV2_DEBUGWIN)

#include "platform/UntDebug.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t Stop = 0;
void OnSignal(int) {
    Stop = 1;
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1) {
        std::fprintf(stderr,
                     "usage: %s\n  Prints the player's diagnostic lines (socket name: $ZV2_DEBUGWIN or "
                     "DebugWin).\n",
                     argv[0]);
        return argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) ? 0 : 2;
    }
    const std::string address = zv2::platform::DebugWinAddress();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, address.data(), std::min(address.size(), sizeof addr.sun_path));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr),
                         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size())) != 0) {
        std::fprintf(stderr, "debugwin: cannot listen on \"%s\": %s\n", address.c_str() + 1, std::strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal; // no SA_RESTART: a signal ends the receive
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::fprintf(stderr, "debugwin: listening on \"%s\"\n", address.c_str() + 1);

    char buffer[65536];
    while (!Stop) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        std::fwrite(buffer, 1, static_cast<std::size_t>(n), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    ::close(fd);
    return 0;
}
