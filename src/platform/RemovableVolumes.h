#pragma once
// Removable volumes: the mounted file systems of disks a user plugs in and
// pulls out again (a block device the kernel marks removable, or one on a USB
// bus), each with its label and size. Where a drive letter would name such a
// disk, its mount point does.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv2::platform {

struct TVolume {
    std::string MountPoint;       // where the file system is mounted, as the mount table gives it
    std::string Label;            // the file system's label; empty when it has none
    std::uint64_t TotalBytes = 0; // the file system's total size in bytes (not its free space)
};

// Where the window gets its volumes from; tests give it their own.
class IVolumeSource {
public:
    virtual ~IVolumeSource() = default;
    // The removable volumes now mounted, in mount order, each file system once.
    // Reads the system afresh on every call (the disks come and go).
    virtual std::vector<TVolume> RemovableVolumes() = 0;
};

// The size of the file system holding `path` (statvfs: blocks times fragment
// size); 0 when it cannot be asked.
std::uint64_t FileSystemSize(const std::string& path);

// Where TSystemVolumes reads the system; tests point these into a fixture tree.
struct TVolumeRoots {
    std::string MountInfo = "/proc/self/mountinfo";
    std::string Sys = "/sys";
    std::string ByLabel = "/dev/disk/by-label";
};

// The machine's volumes, from the mount table of this process and the block
// devices in sysfs:
// - a mount counts only when it mounts the root of its file system (a bind
//   mount of a sub-folder is not a disk) and its device number has an entry
//   under <sys>/dev/block (network and virtual file systems have none);
// - a partition belongs to its disk (the folder above it in the device tree):
//   the disk's "removable" flag is 1, or the device's path in the tree passes
//   through a USB bus ("/usb"); a mapped device (an encrypted stick) when a
//   device under its "slaves" is removable;
// - volumes whose size is unknown or 0 (a reader without media) are left out;
// - the label is the name of the link in <by-label> that points at the device
//   (udev's \xHH escapes decoded); none, no label.
// Any thread may call it.
class TSystemVolumes final : public IVolumeSource {
public:
    using TSizeQuery = std::function<std::uint64_t(const std::string& mountPoint)>;

    // Tests may answer the size too.
    explicit TSystemVolumes(TVolumeRoots roots = {}, TSizeQuery size = FileSystemSize);
    std::vector<TVolume> RemovableVolumes() override;

private:
    TVolumeRoots Roots_;
    TSizeQuery Size_;
};

} // namespace zv2::platform
