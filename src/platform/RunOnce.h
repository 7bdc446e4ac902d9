#pragma once
// One running copy per user and program folder. The first copy holds an
// exclusive lock on a file in the runtime folder (the system drops it when the
// process dies, also by kill -9) and listens on a Unix socket beside it. A
// later start fails to take the lock, asks the first copy through the socket
// to show its window, and ends. Taking the lock is one atomic step, so two
// copies started at the same moment never both become first copies.

#include <functional>
#include <string>
#include <thread>

namespace zv2::platform {

class TRunOnce {
public:
    // `programFolder` names the instance (see ProgramFolder()).
    explicit TRunOnce(const std::string& programFolder);
    ~TRunOnce();
    TRunOnce(const TRunOnce&) = delete;
    TRunOnce& operator=(const TRunOnce&) = delete;

    // True when another copy runs; it has then been asked to show its window
    // (waiting at most a few seconds for its answer) and this process should
    // end. False when this process is the first copy, or when the guard could
    // not be set up at all (then the program runs without it).
    bool CheckFirstInstance();

    // First copy only: from now on every later start calls `onWake` on the
    // listening thread (post it to the UI thread). Stops in the destructor.
    void Listen(std::function<void()> onWake);

    const std::string& LockPath() const { return LockPath_; }
    const std::string& SocketPath() const { return SocketPath_; }

private:
    bool TryLock();
    bool WakeFirstCopy();
    void ListenLoop();

    std::string LockPath_;
    std::string SocketPath_;
    int LockFd_ = -1;
    int ListenFd_ = -1;
    int StopFd_ = -1;
    std::function<void()> OnWake_;
    std::thread Listener_;
};

} // namespace zv2::platform
