#pragma once
// A folder that not even root may write: for a forked child only, the folder
// is bound read-only onto itself in a mount namespace of the child's own (in a
// user namespace of its own where the child is not root, like `unshare -rm`).
// The rest of the machine sees no change, and the mount ends with the child
// and whatever it starts.

#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zv2::test {

namespace detail {

inline bool WriteIdMap(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

} // namespace detail

// Call in a child right after fork (a single thread). False when no mount
// namespace can be made here (then the child should report a skip).
inline bool MakeFolderReadOnlyForThisProcess(const std::string& folder) {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return false;
    } else {
        const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !detail::WriteIdMap("/proc/self/setgroups", "deny") ||
            !detail::WriteIdMap("/proc/self/uid_map", "0 " + uid + " 1") ||
            !detail::WriteIdMap("/proc/self/gid_map", "0 " + gid + " 1"))
            return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return false;
    // A remount in a user namespace must keep the flags the outer mount locked.
    struct statvfs st {};
    unsigned long flags = MS_BIND | MS_REMOUNT | MS_RDONLY;
    if (::statvfs(folder.c_str(), &st) == 0) {
        flags |= (st.f_flag & ST_NOSUID ? MS_NOSUID : 0) | (st.f_flag & ST_NODEV ? MS_NODEV : 0) |
                 (st.f_flag & ST_NOEXEC ? MS_NOEXEC : 0) | (st.f_flag & ST_NOATIME ? MS_NOATIME : 0) |
                 (st.f_flag & ST_NODIRATIME ? MS_NODIRATIME : 0) | (st.f_flag & ST_RELATIME ? MS_RELATIME : 0);
    }
    return ::mount(nullptr, folder.c_str(), nullptr, flags, nullptr) == 0;
}

} // namespace zv2::test
