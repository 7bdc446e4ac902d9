#include "platform/RemovableVolumes.h"

#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

using zv2::platform::TSystemVolumes;
using zv2::platform::TVolume;

namespace fs = std::filesystem;

namespace {

// A machine in a folder: its mount table, the block devices of its sysfs and
// udev's label links, as the kernel and udev lay them out.
class TFixtureMachine {
public:
    // A block device at `devicePath` (under sys/devices), numbered `number`;
    // a partition when `partition`, else a whole disk with its removable flag.
    void AddDevice(const std::string& devicePath, const std::string& number, bool partition, bool removable = false) {
        const fs::path node = fs::path(Dir.Path()) / "sys/devices" / devicePath;
        fs::create_directories(node);
        if (partition) {
            std::ofstream(node / "partition") << "1\n";
            std::ofstream(node.parent_path() / "removable") << (removable ? "1\n" : "0\n");
        } else {
            std::ofstream(node / "removable") << (removable ? "1\n" : "0\n");
        }
        fs::create_directories(fs::path(Dir.Path()) / "sys/dev/block");
        fs::create_symlink("../../devices/" + devicePath, fs::path(Dir.Path()) / "sys/dev/block" / number);
    }
    // `devicePath` is built on `slavePath` (a mapped device on a partition).
    void AddSlave(const std::string& devicePath, const std::string& slavePath) {
        const fs::path slaves = fs::path(Dir.Path()) / "sys/devices" / devicePath / "slaves";
        fs::create_directories(slaves);
        const std::string up = "../../../../"; // from <dm>/slaves to sys/devices
        fs::create_symlink(up + slavePath, slaves / fs::path(slavePath).filename());
    }
    void AddLabel(const std::string& linkName, const std::string& deviceName) {
        fs::create_directories(Dir.File("by-label"));
        fs::create_symlink("../../" + deviceName, fs::path(Dir.File("by-label")) / linkName);
    }
    void Mount(const std::string& number, const std::string& root, const std::string& mountPoint,
               const std::string& typeAndSource) {
        std::ofstream(Dir.File("mountinfo"), std::ios::app)
            << ++Id << " 1 " << number << " " << root << " " << mountPoint << " rw,relatime shared:1 - "
            << typeAndSource << " rw\n";
    }

    std::vector<TVolume> Volumes(const std::map<std::string, std::uint64_t>& sizes) const {
        TSystemVolumes source({Dir.File("mountinfo"), Dir.File("sys"), Dir.File("by-label")},
                              [sizes](const std::string& mountPoint) {
                                  const auto it = sizes.find(mountPoint);
                                  return it == sizes.end() ? 0 : it->second;
                              });
        return source.RemovableVolumes();
    }

    zv2::test::TTempDir Dir;
    int Id = 20;
};

constexpr char kSata[] = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/";
constexpr char kUsb[] = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/";
constexpr char kUsb2[] = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host7/target7:0:0/7:0:0:0/block/";
constexpr char kCardReader[] = "platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa/block/";

} // namespace

TEST(RemovableVolumes, UsbAndRemovableDisksAreListedWithLabelAndSizeFixedAndNetworkOnesNever) {
    TFixtureMachine m;
    m.AddDevice(std::string(kSata) + "sda/sda1", "8:1", true);
    m.AddDevice(std::string(kSata) + "sda/sda2", "8:2", true);
    m.AddDevice(std::string(kUsb) + "sdb/sdb1", "8:17", true);               // a USB stick, not flagged removable
    m.AddDevice(std::string(kUsb2) + "sdc/sdc1", "8:33", true);              // a USB disk without a label
    m.AddDevice(std::string(kCardReader) + "mmcblk0", "179:0", false, true); // a card without partitions
    m.AddDevice(std::string(kUsb2) + "sdd", "8:48", false, true);            // a reader without media
    m.AddDevice(std::string(kUsb2) + "sde/sde1", "8:65", true);              // an encrypted stick ...
    m.AddDevice("virtual/block/dm-0", "254:0", false);                       // ... opened as dm-0
    m.AddSlave("virtual/block/dm-0", std::string(kUsb2) + "sde/sde1");
    m.AddDevice("virtual/block/dm-1", "254:1", false); // a mapped part of the fixed disk
    m.AddSlave("virtual/block/dm-1", std::string(kSata) + "sda/sda2");
    m.AddLabel("SYSTEM", "sda1");
    m.AddLabel("MUSIC", "sdb1");
    m.AddLabel("SD\\x20CARD", "mmcblk0");
    m.Mount("8:1", "/", "/", "ext4 /dev/sda1");
    m.Mount("0:25", "/", "/tmp", "tmpfs tmpfs");
    m.Mount("8:2", "/", "/home", "ext4 /dev/sda2");
    m.Mount("8:17", "/", "/media/usb", "vfat /dev/sdb1");
    m.Mount("0:50", "/", "/mnt/nas", "nfs4 nas:/export");
    m.Mount("0:51", "/", "/mnt/share", "cifs //nas/music");
    m.Mount("8:17", "/songs", "/mnt/songs", "vfat /dev/sdb1"); // a bind mount of a folder on the stick
    m.Mount("8:17", "/", "/media/again", "vfat /dev/sdb1");    // the same stick a second time
    m.Mount("179:0", "/", "/media/SD\\040CARD", "exfat /dev/mmcblk0");
    m.Mount("8:33", "/", "/media/x", "vfat /dev/sdc1");
    m.Mount("8:48", "/", "/media/empty", "vfat /dev/sdd");
    m.Mount("254:0", "/", "/media/secret", "ext4 /dev/mapper/luks-1");
    m.Mount("254:1", "/", "/srv", "ext4 /dev/mapper/vg-srv");

    const std::map<std::string, std::uint64_t> sizes = {
        {"/", 500000000000},        {"/tmp", 1000000000},           {"/home", 400000000000},
        {"/media/usb", 2000000000}, {"/mnt/nas", 8000000000},       {"/mnt/share", 8000000000},
        {"/mnt/songs", 2000000000}, {"/media/again", 2000000000},   {"/media/SD CARD", 32000000000},
        {"/media/x", 512000000},    {"/media/secret", 64000000000}, {"/srv", 100000000000}};
    const auto volumes = m.Volumes(sizes);
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[0].MountPoint, "/media/usb");
    EXPECT_EQ(volumes[0].Label, "MUSIC");
    EXPECT_EQ(volumes[0].TotalBytes, 2000000000u);
    EXPECT_EQ(volumes[1].MountPoint, "/media/SD CARD");
    EXPECT_EQ(volumes[1].Label, "SD CARD");
    EXPECT_EQ(volumes[1].TotalBytes, 32000000000u);
    EXPECT_EQ(volumes[2].MountPoint, "/media/x");
    EXPECT_EQ(volumes[2].Label, "");
    EXPECT_EQ(volumes[2].TotalBytes, 512000000u);
    EXPECT_EQ(volumes[3].MountPoint, "/media/secret");
}

TEST(RemovableVolumes, WithoutAMountTableOrSysfsNothingIsListed) {
    TFixtureMachine m;
    EXPECT_TRUE(m.Volumes({}).empty());
    m.Mount("8:17", "/", "/media/usb", "vfat /dev/sdb1"); // no device entry for it
    EXPECT_TRUE(m.Volumes({{"/media/usb", 2000000000}}).empty());
}

TEST(RemovableVolumes, TheSizeIsTheWholeFileSystemsAndUnknownForAMissingFolder) {
    zv2::test::TTempDir dir;
    const auto space = fs::space(dir.Path());
    EXPECT_EQ(zv2::platform::FileSystemSize(dir.Path()), space.capacity);
    EXPECT_EQ(zv2::platform::FileSystemSize(dir.File("missing")), 0u);
}
