#pragma once
// Files written by this process may hold at most so many bytes while the
// object lives: a longer write fails with EFBIG (SIGXFSZ is ignored
// meanwhile). It makes a write fail where permissions would not stop root.

#include <csignal>
#include <sys/resource.h>

namespace zv2::test {

class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &Old_);
        OldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = Old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &Old_);
        std::signal(SIGXFSZ, OldSignal_);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit Old_{};
    void (*OldSignal_)(int) = nullptr;
};

} // namespace zv2::test
