#pragma once
// Waits for a started zv2player to be the running copy: its single-instance
// socket accepts connections (a socket file left by a killed copy refuses
// them). False when the program ended first or `limit` passed.

#include "platform/RunOnce.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zv2::test {

inline bool AcceptsConnections(const std::string& socketPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// `home` is the program folder (ZV2_HOME) without its final "/".
inline bool WaitUntilRunning(const std::string& home, pid_t pid, std::chrono::milliseconds limit) {
    const std::string socket = platform::TRunOnce(home + "/").SocketPath();
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (AcceptsConnections(socket))
            return true;
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace zv2::test
