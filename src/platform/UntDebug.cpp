#include "platform/UntDebug.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zv2::platform {

std::string DebugWinAddress() {
    const char* name = std::getenv("ZV2_DEBUGWIN");
    return std::string(1, '\0') + ((name && *name) ? name : "DebugWin");
}

void DebugOutput(std::string_view text) {
    const std::string address = DebugWinAddress();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t length = std::min(address.size(), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, address.data(), length);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    ::sendto(fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
}

} // namespace zv2::platform
