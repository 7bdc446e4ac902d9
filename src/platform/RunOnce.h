#pragma once
// One running copy per user and program folder. The first copy holds an
// exclusive lock on a file in the runtime folder (the system drops it when the
// process dies, also by kill -9) and listens on a Unix socket beside it. A
// later start finds the lock held, hands the first copy through the socket the
// files it was given (none: it just asks it to show its window), and ends. Taking the lock is one atomic step, so two
// copies started at the same moment never both become first copies. Only a
// lock held by another process means another copy: where no lock can be
// taken at all (no lock file, a file system without locks) the program runs
// without the guard.

#include <cstddef>
#include <functional>
#include <string>
#include <sys/file.h>
#include <thread>
#include <vector>

namespace zv2::platform {

// The request on the socket: "OPEN <n>\n" (n in decimal) and n bytes that
// hold the paths, each ended by a zero byte (n = 0: no files, just show).
// A path may hold any byte but zero; n is at most kMaxOpenBytes.
constexpr std::size_t kMaxOpenBytes = 1 << 20;

// The request for `files`: the leading files whose paths fit into
// kMaxOpenBytes, in order (an empty path, or one holding a zero byte, cannot
// be sent and is skipped). `sent`, when given, receives how many went in.
std::string EncodeOpenRequest(const std::vector<std::string>& files, std::size_t* sent = nullptr);

enum class TOpenParse { NeedMore, Done, Malformed };
// Reads the request from the bytes received so far. NeedMore: a prefix of a
// well-formed request. Done: one whole request and nothing after it; `files`
// holds its paths. Malformed: anything else (a wrong header, a length above
// the bound, an empty or unterminated path, bytes after the end).
TOpenParse ParseOpenRequest(const std::string& bytes, std::vector<std::string>& files);

class TRunOnce {
public:
    // The call that takes the lock: flock(2), or a stand-in in tests.
    using TLockCall = int (*)(int fd, int operation);

    // `programFolder` names the instance (see ProgramFolder()).
    explicit TRunOnce(const std::string& programFolder, TLockCall lockCall = ::flock);
    ~TRunOnce();
    TRunOnce(const TRunOnce&) = delete;
    TRunOnce& operator=(const TRunOnce&) = delete;

    // True when another copy runs; it has then been handed `files` (see
    // EncodeOpenRequest) and asked to show its window, waiting at most a few
    // seconds for its answer, and this process should end. False when this
    // process is the first copy, or when the guard could not be set up at all
    // (then the program runs without it and opens the files itself).
    bool CheckFirstInstance(const std::vector<std::string>& files = {});

    // The call made for each later start, with the files it handed over (none
    // when it only asks to be shown).
    using TOnWake = std::function<void(std::vector<std::string> files)>;
    // First copy only: from now on every later start calls `onWake` on the
    // listening thread (post it to the UI thread). A malformed or incomplete
    // request (a few seconds at most) is refused and calls nothing. Nothing
    // when this process does not hold the lock.
    void Listen(TOnWake onWake);
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
    bool WakeFirstCopy(const std::string& request);
    void ListenLoop();
    // Reads one request from `client`; false when it is malformed, incomplete
    // within the time limit, or the listening is being stopped.
    bool ReadRequest(int client, std::vector<std::string>& files);

    TLockCall LockCall_;
    std::string LockPath_;
    std::string SocketPath_;
    int LockFd_ = -1;
    bool HoldsLock_ = false;
    int ListenFd_ = -1;
    int StopFd_ = -1;
    TOnWake OnWake_;
    std::thread Listener_;
};

} // namespace zv2::platform
