#pragma once
// Standard error (the file descriptor, so C libraries' lines too) into a
// file while it lives; Text() is what was written.

#include "TempDir.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace zv2::test {

class TCapturedErrors {
public:
    TCapturedErrors() : Saved_(::dup(2)) {
        std::fflush(stderr);
        const int fd = ::open(Dir_.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~TCapturedErrors() { Restore(); }
    TCapturedErrors(const TCapturedErrors&) = delete;
    TCapturedErrors& operator=(const TCapturedErrors&) = delete;

    std::string Text() {
        Restore();
        return ReadFile(Dir_.File("stderr"));
    }

private:
    void Restore() {
        if (Saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(Saved_, 2);
        ::close(Saved_);
        Saved_ = -1;
    }
    TTempDir Dir_;
    int Saved_;
};

} // namespace zv2::test
