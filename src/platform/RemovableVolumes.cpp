#include "platform/RemovableVolumes.h"
#include "platform/TextCodec.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/statvfs.h>

namespace zv2::platform {

namespace fs = std::filesystem;

namespace {

struct TMount {
    std::string Device; // "major:minor"
    std::string Root;   // the folder of the file system that is mounted
    std::string MountPoint;
};

// The mount table writes blanks, tabs, new lines and backslashes as "\ooo".
std::string DecodeOctal(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// udev writes unsafe characters of a label (blanks, "/") as "\xHH".
std::string DecodeHex(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            const int hi = HexDigitValue(s[i + 2]), lo = HexDigitValue(s[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// Lines of /proc/<pid>/mountinfo: "id parent major:minor root mount-point
// options [optional fields] - type source super-options".
std::vector<TMount> ReadMounts(const std::string& path) {
    std::vector<TMount> mounts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (fields >> id >> parent >> device >> root >> mountPoint)
            mounts.push_back({device, DecodeOctal(root), DecodeOctal(mountPoint)});
    }
    return mounts;
}

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Whether the device at `node` (its folder in the device tree) is removable:
// its disk says so or it hangs off a USB bus; a mapped device (an encrypted
// stick) when a device it is built on is.
bool IsRemovable(const fs::path& sysRoot, const fs::path& node, int depth = 0) {
    std::error_code ec;
    const fs::path disk = fs::exists(node / "partition", ec) ? node.parent_path() : node;
    const std::string inTree = "/" + node.lexically_relative(sysRoot).generic_string();
    if (FirstLine(disk / "removable") == "1" || inTree.find("/usb") != std::string::npos)
        return true;
    if (depth >= 4)
        return false;
    for (fs::directory_iterator it(node / "slaves", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path slave = fs::canonical(it->path(), linkError);
        if (!linkError && IsRemovable(sysRoot, slave, depth + 1))
            return true;
    }
    return false;
}

// The kernel's name of a removable device ("sdb1"), or empty when the device
// is not one.
std::string RemovableDeviceName(const fs::path& sys, const std::string& device) {
    std::error_code ec;
    const fs::path sysRoot = fs::canonical(sys, ec);
    if (ec)
        return {};
    const fs::path node = fs::canonical(sys / "dev" / "block" / device, ec);
    if (ec || !IsRemovable(sysRoot, node))
        return {};
    return node.filename().string();
}

std::string LabelOf(const std::string& byLabel, const std::string& deviceName) {
    std::error_code ec;
    for (fs::directory_iterator it(byLabel, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == deviceName)
            return DecodeHex(it->path().filename().string());
    }
    return {};
}

} // namespace

std::uint64_t FileSystemSize(const std::string& path) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
}

TSystemVolumes::TSystemVolumes(TVolumeRoots roots, TSizeQuery size)
    : Roots_(std::move(roots)), Size_(std::move(size)) {}

std::vector<TVolume> TSystemVolumes::RemovableVolumes() {
    std::vector<TVolume> volumes;
    std::set<std::string> seen;
    for (const TMount& mount : ReadMounts(Roots_.MountInfo)) {
        if (mount.Root != "/" || seen.count(mount.Device))
            continue;
        const std::string name = RemovableDeviceName(Roots_.Sys, mount.Device);
        if (name.empty())
            continue;
        const std::uint64_t size = Size_(mount.MountPoint);
        if (size == 0)
            continue;
        seen.insert(mount.Device);
        volumes.push_back({mount.MountPoint, LabelOf(Roots_.ByLabel, name), size});
    }
    return volumes;
}

} // namespace zv2::platform
