#pragma once
// One running copy per user and program folder. The first copy holds an
// exclusive lock on a file in the runtime folder (the system drops it when the
// process dies, also by kill -9) and listens on a Unix socket beside it. A
// later start finds the lock held, asks the first copy through the socket to
// show its window, and ends. Taking the lock is one atomic step, so two
// copies started at the same moment never both become first copies. Only a
// lock held by another process means another copy: where no lock can be
// taken at all (no lock file, a file system without locks) the program runs
// without the guard.

#include <functional>
#include <string>
#include <sys/file.h>
#include <thread>

namespace zv2::platform {

class TRunOnce {
public:
    // The call that takes the lock: flock(2), or a stand-in in tests.
    using TLockCall = int (*)(int fd, int operation);

    // `programFolder` names the instance (see ProgramFolder()).
    explicit TRunOnce(const std::string& programFolder, TLockCall lockCall = ::flock);
    ~TRunOnce();
    TRunOnce(const TRunOnce&) = delete;
    TRunOnce& operator=(const TRunOnce&) = delete;

    // True when another copy runs; it has then been asked to show its window
    // (waiting at most a few seconds for its answer) and this process should
    // end. False when this process is the first copy, or when the guard could
    // not be set up at all (then the program runs without it).
    bool CheckFirstInstance();

    // First copy only: from now on every later start calls `onWake` on the
    // listening thread (post it to the UI thread). Nothing when this process
    // does not hold the lock.
    void Listen(std::function<void()> onWake);
    // Ends the listening: once it returns, `onWake` is never called again, so
    // call it before whatever `onWake` reaches goes away. Later starts then
    // wait for the lock to be freed, as while this copy ends. The destructor
    // calls it too.
    void StopListening();

    const std::string& LockPath() const { return LockPath_; }
    const std::string& SocketPath() const { return SocketPath_; }

private:
    enum class TLock { Taken, Held, Unavailable };
    TLock TryLock();
    bool WakeFirstCopy();
    void ListenLoop();

    TLockCall LockCall_;
    std::string LockPath_;
    std::string SocketPath_;
    int LockFd_ = -1;
    bool HoldsLock_ = false;
    int ListenFd_ = -1;
    int StopFd_ = -1;
    std::function<void()> OnWake_;
    std::thread Listener_;
};

} // namespace zv2::platform
