#pragma once
// Moves the calling test process into a network namespace of its own, with
// only a loopback interface, so that a test may use addresses outside
// 127.0.0.0/8 (they exist nowhere but here) and start programs that cannot
// reach any other machine. Call it before the test starts any thread.

#include <cstdio>
#include <cstdlib>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv2::test {

// False when the process may not make a namespace (then skip the test).
inline bool EnterPrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0) {
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

// Gives the private loopback interface one more address ("10.10.100.254").
inline bool AddLoopbackAddress(const std::string& address) {
    const std::string command = "ip addr add " + address + "/32 dev lo 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// Lets broadcasts to 255.255.255.255 leave through the private loopback
// interface (there is no other), so they reach the sockets of this namespace.
inline bool RouteBroadcastToLoopback() {
    return std::system("ip route add broadcast 255.255.255.255 dev lo 2>/dev/null") == 0;
}

} // namespace zv2::test
