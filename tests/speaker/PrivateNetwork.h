#pragma once
// Moves the calling test process into a network namespace of its own, with
// only a loopback interface, so that a test may use addresses outside
// 127.0.0.0/8 (they exist nowhere but here) and start programs that cannot
// reach any other machine. Everything the process starts afterwards stays in
// that namespace.
//
// As root the namespace is made directly; otherwise inside a user namespace of
// the test's own, where the process is root (like `unshare -rn`), which Debian
// allows ordinary users. A user namespace can only be made by a process with a
// single thread: call EnterPrivateNetwork() before the test starts any thread.
// Where neither works the caller skips its test (GTEST_SKIP), so CTest shows it
// as skipped, never as passed.

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv2::test {

namespace detail {

inline bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// A user namespace in which this process is root, with a network namespace.
inline bool EnterUserAndNetworkNamespace() {
    const unsigned uid = ::geteuid();
    const unsigned gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        return false;
    }
    return WriteProcFile("/proc/self/setgroups", "deny") &&
           WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

} // namespace detail

// The `ip` program by its full path: Debian keeps it in /usr/sbin (/sbin),
// which an ordinary user's PATH often lacks.
inline std::string IpProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return "ip";
}

// Runs `ip ARGS` quietly; true when it succeeded.
inline bool RunIp(const std::string& args) {
    return std::system((IpProgram() + " " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// False when the process may not make a namespace (then skip the test).
inline bool EnterPrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0 && !detail::EnterUserAndNetworkNamespace()) {
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
    return RunIp("addr add " + address + "/32 dev lo");
}

// Lets broadcasts to 255.255.255.255 leave through the private loopback
// interface (there is no other), so they reach the sockets of this namespace.
inline bool RouteBroadcastToLoopback() {
    return RunIp("route add broadcast 255.255.255.255 dev lo");
}

// The LAN of the tests that join namespaces with a veth pair (192.168.77.0/24).
inline constexpr const char* TestLan = "192.168.77.";

// True when every interface that is up is a loopback interface or has IPv4
// addresses on the test LAN only, and this is not the machine's own network
// namespace: a namespace that a test made, where a broadcast reaches nothing
// but the test's own hosts. False in the machine's namespace (even where its
// LAN happens to use the test LAN's addresses) and when the interfaces cannot
// be read.
inline bool OnlyTestNetworks() {
    char own[64] = {}, machine[64] = {};
    if (::readlink("/proc/self/ns/net", own, sizeof own - 1) > 0 &&
        ::readlink("/proc/1/ns/net", machine, sizeof machine - 1) > 0 && std::string(own) == machine) {
        return false; // (unreadable for init's: a user namespace, where the addresses decide)
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool only = true;
    for (const ifaddrs* at = list; at; at = at->ifa_next) {
        if (!(at->ifa_flags & IFF_UP) || (at->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        if (!at->ifa_addr || at->ifa_addr->sa_family != AF_INET) {
            continue; // only IPv4 carries the discovery broadcast
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr, text, sizeof text);
        only = only && std::string(text).rfind(TestLan, 0) == 0;
    }
    ::freeifaddrs(list);
    return only;
}

} // namespace zv2::test
