#pragma once
// Where another thread finds the socket of a running exchange to cut it
// short. The thread that talks to a server registers its socket for the time
// of one exchange (TScope); Abort(), from any thread, aborts the socket
// registered now and every one registered later, until Reset(). An abort that
// comes before the socket exists is not lost: the socket is aborted as it
// registers, so its connect returns at once.
//
// Threads: one thread registers at a time; Abort(), Aborted() and Reset()
// from any thread.

#include <mutex>

namespace zv2::platform {
class TTcpSocket;
}

namespace zv2::http {

class TSocketAbort {
public:
    TSocketAbort() = default;
    TSocketAbort(const TSocketAbort&) = delete;
    TSocketAbort& operator=(const TSocketAbort&) = delete;

    // Registers `socket` while it lives; the socket is forgotten however the
    // exchange ends, so an Abort() never reaches it after it is gone.
    class TScope {
    public:
        TScope(TSocketAbort& owner, platform::TTcpSocket& socket);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TSocketAbort& Owner_;
    };

    void Abort();
    bool Aborted() const;
    // Later exchanges run again (a worker's next job).
    void Reset();

private:
    mutable std::mutex Mutex_;
    platform::TTcpSocket* Socket_ = nullptr; // guarded by Mutex_
    bool Aborted_ = false;                   // guarded by Mutex_
};

} // namespace zv2::http
