#include "FatImage.h"
#include "TestUtil.h"

#include "platform/DeviceIO.h"
#include "platform/DriveDiscovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <utility>

namespace qrt {
namespace {

namespace fs = std::filesystem;

// A sysfs tree and a device folder written by the test.
class DriveDiscoveryTest : public ::testing::Test {
protected:
    void TearDown() override {
        DeviceTableClear();
        SetDriveDiscovery(true);
    }

    TDiscoveryRoots Roots() const { return {fDir.File("sys"), fDir.File("dev")}; }
    void Attribute(const std::string& aPath, const std::string& aValue) {
        std::string path = fDir.File("sys/block/" + aPath);
        fs::create_directories(fs::path(path).parent_path());
        test::WriteFileBytes(path, aValue + "\n");
    }
    // A whole disk in sysfs with its partitions (numbered 1, 2, ... in the order given), and nodes.
    void Disk(const std::string& aName, bool aRemovable, const std::vector<std::string>& aPartitions = {},
              bool aNode = true) {
        Attribute(aName + "/removable", aRemovable ? "1" : "0");
        Attribute(aName + "/size", "2048");
        for (size_t i = 0; i < aPartitions.size(); ++i) {
            Attribute(aName + "/" + aPartitions[i] + "/partition", std::to_string(i + 1));
            Node(aPartitions[i]);
        }
        if (aNode) Node(aName);
    }
    void Node(const std::string& aName) {
        fs::create_directories(fDir.File("dev"));
        test::WriteFileBytes(fDir.File("dev/" + aName), "");
    }
    std::string Dev(const std::string& aName) const { return fDir.File("dev/" + aName); }

    test::TempDir fDir;
};

TEST_F(DriveDiscoveryTest, DiskNameOrder) {
    const std::pair<const char*, const char*> ordered[] = {
        {"sda", "sdb"},          {"sdz", "sdaa"},        {"loop2", "loop10"}, {"nvme0n2", "nvme1n1"},
        {"nvme0n9", "nvme0n10"}, {"mmcblk0", "mmcblk1"}, {"mmcblk9", "sda"},  {"loop9", "mmcblk0"},
        {"sdb1", "sdb2"},        {"sdb2", "sdb10"},      {"vda", "vdb"},      {"sdzz", "sdaaa"},
    };
    for (auto [a, b] : ordered) {
        EXPECT_TRUE(DiskNameLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(DiskNameLess(b, a)) << b << " > " << a;
    }
    EXPECT_FALSE(DiskNameLess("sda", "sda"));
}

TEST_F(DriveDiscoveryTest, WholeDisksPartitionsAndLetters) {
    Node("fd0");
    Disk("sda", false, {"sda1", "sda2"});
    Disk("sdb", true, {"sdb1", "sdb2", "sdb10"});
    Disk("sdaa", true);           // no partitions: the whole card gets a letter
    Disk("sdc", true, {}, false); // no device node: skipped without using a number
    Disk("mmcblk0", false, {"mmcblk0p1"});
    Attribute("mmcblk0/device/type", "SD"); // a card in an SD slot is removable to the user
    Disk("mmcblk0boot0", false);            // eMMC boot areas are no disks
    Disk("mmcblk1", false, {"mmcblk1p1"});
    Attribute("mmcblk1/device/type", "MMC"); // built-in eMMC
    Disk("nvme0n1", false);
    Disk("nvme0c0n1", false);
    Attribute("nvme0c0n1/hidden", "1");
    Disk("loop0", false); // not bound to a file
    Disk("loop1", false);
    Attribute("loop1/loop/backing_file", "/images/card.img");
    Disk("zram0", false);
    Disk("dm-0", false);
    Disk("sr0", true);
    // Real sysfs links its block entries into the device tree.
    fs::create_directories(fDir.File("sys/devices/virtual/block/vda"));
    test::WriteFileBytes(fDir.File("sys/devices/virtual/block/vda/removable"), "0\n");
    fs::create_symlink("../devices/virtual/block/vda", fDir.File("sys/block/vda"));
    Node("vda");

    TDriveDiscoveryResult found = DiscoverDrives(Roots());
    std::vector<std::pair<std::string, int>> disks;
    for (const TDiscoveredDisk& d : found.Disks) {
        EXPECT_EQ(d.Node, Dev(d.Name));
        disks.emplace_back(d.Name, d.DriveNo);
    }
    const std::vector<std::pair<std::string, int>> expectedDisks = {
        {"fd0", 0},   {"loop1", 128}, {"mmcblk0", 129}, {"mmcblk1", 130}, {"nvme0n1", 131},
        {"sda", 132}, {"sdb", 133},   {"sdaa", 134},    {"vda", 135},
    };
    EXPECT_EQ(disks, expectedDisks);
    EXPECT_EQ(found.Disks[6].Partitions, (std::vector<std::string>{"sdb1", "sdb2", "sdb10"}));
    EXPECT_TRUE(found.Disks[2].Removable);
    EXPECT_FALSE(found.Disks[3].Removable);

    std::vector<std::pair<char, std::string>> volumes;
    for (const TDiscoveredVolume& v : found.Volumes)
        volumes.emplace_back(v.Letter, v.Node);
    const std::vector<std::pair<char, std::string>> expectedVolumes = {
        {'D', Dev("mmcblk0p1")}, {'E', Dev("sdb1")}, {'F', Dev("sdb2")},
        {'G', Dev("sdb10")},     {'H', Dev("sdaa")},
    };
    EXPECT_EQ(volumes, expectedVolumes);

    InstallDeviceTable(found);
    EXPECT_EQ(DeviceResolve("\\\\.\\A:"), Dev("fd0"));
    EXPECT_EQ(DeviceResolve("\\\\.\\B:"), "");
    EXPECT_EQ(DeviceResolve("\\\\.\\PhysicalDrive0"), Dev("loop1"));
    EXPECT_EQ(DeviceResolve("\\\\.\\PhysicalDrive7"), Dev("vda"));
    EXPECT_EQ(DeviceResolve("\\\\.\\PhysicalDrive8"), "");
    EXPECT_EQ(DeviceResolve("\\\\.\\H:"), Dev("sdaa"));
    EXPECT_EQ(GetLogicalDrives(), 0b11111001u); // A, D..H
}

TEST_F(DriveDiscoveryTest, LettersStopAtZ) {
    std::vector<std::string> partitions;
    for (int i = 1; i <= 30; ++i)
        partitions.push_back("sdb" + std::to_string(i));
    Disk("sdb", true, partitions);
    Disk("sdc", true);
    TDriveDiscoveryResult found = DiscoverDrives(Roots());
    ASSERT_EQ(found.Volumes.size(), 23u);
    EXPECT_EQ(found.Volumes.front().Letter, 'D');
    EXPECT_EQ(found.Volumes.back().Letter, 'Z');
    EXPECT_EQ(found.Volumes.back().Node, Dev("sdb23"));
}

TEST_F(DriveDiscoveryTest, NothingToFind) {
    TDriveDiscoveryResult found = DiscoverDrives({fDir.File("nosys"), fDir.File("nodev")});
    EXPECT_TRUE(found.Disks.empty());
    EXPECT_TRUE(found.Volumes.empty());
}

TEST_F(DriveDiscoveryTest, AutomaticDiscoveryFillsTheTable) {
    Disk("sdb", true);
    DeviceTableSet("\\\\.\\Q:", "/stale");
    SetDriveDiscovery(false, Roots());
    RefreshDeviceTable(); // off: the table stays as the test made it
    EXPECT_EQ(DeviceResolve("\\\\.\\Q:"), "/stale");

    SetDriveDiscovery(true, Roots());
    EnsureDeviceTable();
    EXPECT_EQ(DeviceResolve("\\\\.\\Q:"), ""); // the whole table is replaced
    EXPECT_EQ(DeviceResolve("\\\\.\\D:"), Dev("sdb"));
    Disk("sdc", true);
    EnsureDeviceTable(); // discovered already
    EXPECT_EQ(DeviceResolve("\\\\.\\E:"), "");
    RefreshDeviceTable();
    EXPECT_EQ(DeviceResolve("\\\\.\\E:"), Dev("sdc"));
}

TEST_F(DriveDiscoveryTest, BootRecordLabels) {
    struct Case {
        int FatBits;
        uint32_t SizeKiB;
        std::string Label;
        std::string Expected;
    };
    const Case cases[] = {
        {12, 1440, "FLOPPY", "FLOPPY"},
        {16, 16384, "CARD 16", "CARD 16"},
        {32, 34000, "ELEVENCHARS", "ELEVENCHARS"},
        {16, 16384, "", ""}, // mkfs.fat writes "NO NAME"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.FatBits);
        test::FatImage::Options options;
        options.FatBits = c.FatBits;
        options.SizeKiB = c.SizeKiB;
        options.Label = c.Label;
        std::string image = fDir.File("label.img");
        test::FatImage(image, options);
        std::string sector = test::ReadFileBytes(image).substr(0, 512);
        std::string label = "x";
        EXPECT_TRUE(
            FatBootRecordLabel(reinterpret_cast<const uint8_t*>(sector.data()), sector.size(), label));
        EXPECT_EQ(label, c.Expected);
    }

    std::string noise = test::PatternBytes(512, 4);
    std::string label = "x";
    EXPECT_FALSE(FatBootRecordLabel(reinterpret_cast<const uint8_t*>(noise.data()), noise.size(), label));
    EXPECT_EQ(label, "");
    EXPECT_FALSE(FatBootRecordLabel(reinterpret_cast<const uint8_t*>(noise.data()), 100, label));
}

TEST_F(DriveDiscoveryTest, VolumeInformation) {
    test::FatImage::Options options;
    options.FatBits = 12;
    options.SizeKiB = 1440;
    options.Label = "BOOTREC";
    fs::create_directories(fDir.File("dev/disk/by-label"));
    test::FatImage(Dev("sdb1"), options);
    test::FatImage(Dev("sdc"), options);
    // udev's link names escape blanks and other unsafe characters.
    fs::create_symlink("../../sdb1", fDir.File("dev/disk/by-label/HOLIDAY\\x20\\x2f2024"));
    SetDriveDiscovery(false, Roots());
    DeviceTableSet("\\\\.\\D:", Dev("sdb1"));
    DeviceTableSet("\\\\.\\E:", Dev("sdc"));
    DeviceTableSet("\\\\.\\F:", Dev("missing"));

    std::string label;
    EXPECT_TRUE(GetVolumeInformation('D', label));
    EXPECT_EQ(label, "HOLIDAY /2024");
    EXPECT_TRUE(GetVolumeInformation('E', label));
    EXPECT_EQ(label, "BOOTREC");
    EXPECT_FALSE(GetVolumeInformation('F', label));
    EXPECT_FALSE(GetVolumeInformation('G', label));
    EXPECT_FALSE(GetVolumeInformation('@', label));
    EXPECT_EQ(label, "");
}

TEST_F(DriveDiscoveryTest, AccessDeniedErrors) {
    EXPECT_TRUE(IsAccessDeniedError(EACCES));
    EXPECT_TRUE(IsAccessDeniedError(EPERM));
    EXPECT_FALSE(IsAccessDeniedError(ENOENT));
    EXPECT_FALSE(IsAccessDeniedError(ENOMEDIUM));
}

} // namespace
} // namespace qrt
