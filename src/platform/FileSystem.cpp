#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::platform {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SafeFileName(std::string_view name) {
    constexpr std::size_t kLongestFileName = 240;
    std::string safe;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') ? '_' : c;
    }
    if (safe.size() > kLongestFileName) {
        std::size_t cut = kLongestFileName;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 character
        safe.resize(cut);
    }
    if (safe.empty() || safe == "." || safe == "..")
        safe = "_";
    return safe;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    auto fail = [&](const char* what) {
        const int err = errno;
        if (error)
            *error = std::string(what) + " " + temp + ": " + std::strerror(err);
        ::unlink(temp.c_str());
        return false;
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        return fail("cannot flush");
    }
    if (::close(fd) != 0)
        return fail("cannot close");
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return fail("cannot rename");
    return true;
}

} // namespace zv2::platform
