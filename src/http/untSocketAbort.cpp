#include "http/untSocketAbort.h"

#include "platform/net/TcpSocket.h"

namespace zv2::http {

TSocketAbort::TScope::TScope(TSocketAbort& owner, platform::TTcpSocket& socket) : Owner_(owner) {
    std::lock_guard lock(Owner_.Mutex_);
    Owner_.Socket_ = &socket;
    if (Owner_.Aborted_)
        socket.Abort();
}

TSocketAbort::TScope::~TScope() {
    std::lock_guard lock(Owner_.Mutex_);
    Owner_.Socket_ = nullptr;
}

void TSocketAbort::Abort() {
    std::lock_guard lock(Mutex_);
    Aborted_ = true;
    if (Socket_)
        Socket_->Abort();
}

bool TSocketAbort::Aborted() const {
    std::lock_guard lock(Mutex_);
    return Aborted_;
}

void TSocketAbort::Reset() {
    std::lock_guard lock(Mutex_);
    Aborted_ = false;
}

} // namespace zv2::http
