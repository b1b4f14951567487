#include "FatImage.h"
#include "RepoTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/DiskRepo.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "platform/DeviceIO.h"
#include "platform/DriveDiscovery.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace qrt {
namespace {

namespace fs = std::filesystem;

std::string PhysicalDrive(int aIndex) {
    return "\\\\.\\PhysicalDrive" + std::to_string(aIndex);
}
std::string Letter(char aLetter) {
    return std::string("\\\\.\\") + aLetter + ":";
}

// The repository over a device table of image files (removable media), with discovery off and the
// catch-all marker file system registered.
class DiskRepoTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDriveDiscovery(false);
        DeviceTableClear();
        FreeDiskRepo();
        RegisterFileSystemClass(&test::MkfsMarkerClass);
    }
    void TearDown() override {
        FreeDiskRepo();
        DeviceTableClear();
        SetDriveDiscovery(true);
    }

    std::string PartitionedCard(const std::string& aName) {
        std::string image = fDir.File(aName);
        test::FatImage::Partitioned(image, test::FatOptions(16, 16384), 2048);
        return image;
    }
    std::string PlainCard(const std::string& aName, int aSectorSize = 512, const std::string& aLabel = "") {
        std::string image = fDir.File(aName);
        test::FatImage(image, test::FatOptions(12, 4096, aSectorSize, aLabel));
        return image;
    }

    TFileSystemRegistryScope fRegistry;
    test::TempDir fDir;
};

TEST_F(DiskRepoTest, CardWithPartitionTable) {
    DeviceTableSet(PhysicalDrive(0), PartitionedCard("card.img"));
    TxDiskRepo& repo = DiskRepo();
    EXPECT_EQ(repo.GetLastDriveNo(), 128);
    TxDiskAccessor* disk = repo.FindPhysicalDisk(128);
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(disk->IsClosed()); // closed again once its table was read
    EXPECT_EQ(disk->fFileSystem, nullptr);
    ASSERT_NE(disk->fPartitionTable, nullptr);

    ASSERT_EQ(repo.GetPartitionCount(), 1);
    TxDiskAccessor* part = repo.GetPartition(0);
    EXPECT_EQ(part, disk->fPartitionTable->GetPartition(0));
    EXPECT_EQ(part->fParent, disk);
    EXPECT_EQ(test::MountedBy(part), "MkfsMarker");
    EXPECT_TRUE(IsRemovableDisk(part));
    EXPECT_FALSE(part->IsClosed()); // still open from its mount
    EXPECT_EQ(repo.GetLogicalDriveLetters(), "");
    EXPECT_EQ(repo.GetLastDriveLetter(), '\0');
}

TEST_F(DiskRepoTest, UnpartitionedCardIsADiskAndALetteredDrive) {
    std::string card = PlainCard("plain.img");
    DeviceTableSet(PhysicalDrive(0), card);
    DeviceTableSet(Letter('D'), card);
    TxDiskRepo& repo = DiskRepo();
    TxDiskAccessor* disk = repo.FindPhysicalDisk(128);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->fFileSystem, nullptr); // the whole device never mounts
    EXPECT_EQ(repo.GetPartitionCount(), 0);

    EXPECT_EQ(repo.GetLastDriveLetter(), 'D');
    TxDiskAccessor* drive = repo.FindLogicalDrive('D');
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->fParams.DriveNo, -1);
    EXPECT_EQ(test::MountedBy(drive), "MkfsMarker");
    EXPECT_TRUE(drive->IsClosed());
    EXPECT_EQ(drive->GetDisplayName(), "- \\\\.\\D: ");
    EXPECT_EQ(repo.FindLogicalDrive('E'), nullptr);
}

TEST_F(DiskRepoTest, DriveNumbersAndLookups) {
    std::string card = PlainCard("plain.img");
    DeviceTableSet(PhysicalDrive(0), PartitionedCard("first.img"));
    DeviceTableSet(PhysicalDrive(1), card);
    TxDiskRepo& repo = DiskRepo();
    EXPECT_EQ(repo.GetLastDriveNo(), 129);
    ASSERT_NE(repo.FindPhysicalDisk(128), nullptr);
    EXPECT_EQ(repo.FindPhysicalDisk(128)->fParams.DevicePath, PhysicalDrive(0));
    EXPECT_EQ(repo.FindPhysicalDisk(129)->fParams.DevicePath, PhysicalDrive(1));
    EXPECT_EQ(repo.FindPhysicalDisk(2), nullptr);
    EXPECT_EQ(repo.FindPhysicalDisk(130), nullptr);
    EXPECT_EQ(repo.FindPhysicalDisk(-1), nullptr);

    // Numbers are probed one by one: a floppy and a gap are both fine.
    DeviceTableSet(Letter('A'), card);
    DeviceTableSet(PhysicalDrive(5), card);
    repo.RefreshPhysicalDisks();
    EXPECT_EQ(repo.GetLastDriveNo(), 133);
    ASSERT_NE(repo.FindPhysicalDisk(0), nullptr);
    EXPECT_EQ(repo.FindPhysicalDisk(0)->fParams.DevicePath, Letter('A'));
    EXPECT_EQ(repo.FindPhysicalDisk(130), nullptr);
    EXPECT_NE(repo.FindPhysicalDisk(133), nullptr);
}

TEST_F(DiskRepoTest, GetPartitionRunsThePhysicalScanFirst) {
    DeviceTableSet(PhysicalDrive(0), PartitionedCard("card.img"));
    TxDiskRepo& repo = DiskRepo();
    EXPECT_EQ(repo.fPhysicalDisks, nullptr);
    TxDiskAccessor* part = repo.GetPartition(0);
    ASSERT_NE(part, nullptr);
    EXPECT_NE(repo.fPhysicalDisks, nullptr);
    EXPECT_EQ(repo.fLogicalDrives, nullptr); // the logical scan waits for its own demand
    EXPECT_EQ(part->fParams.PartitionNo, 0);
    EXPECT_ASSERTION(repo.GetPartition(1), "Index out of range!!");
}

TEST_F(DiskRepoTest, DriveLettersFromTheMask) {
    EXPECT_EQ(TxDiskRepo::DriveLettersOfMask(28), "CDE");
    EXPECT_EQ(TxDiskRepo::DriveLettersOfMask(0), "");
    EXPECT_EQ(TxDiskRepo::DriveLettersOfMask((1u << 25) | 1u | (1u << 26) | (1u << 31)), "AZ");

    std::string card = PlainCard("plain.img");
    for (char c : {'E', 'C', 'D'})
        DeviceTableSet(Letter(c), card);
    DeviceTableSet(PhysicalDrive(0), card); // not a letter
    EXPECT_EQ(GetLogicalDrives(), 28u);
    EXPECT_EQ(TxDiskRepo::GetLogicalDriveLetters(), "CDE");
}

TEST_F(DiskRepoTest, DrivesWithoutMediumAreNotKept) {
    std::string card = PlainCard("plain.img");
    std::string empty = fDir.File("empty.img");
    test::WriteFileBytes(empty, ""); // the reader opens but reports no medium
    DeviceTableSet(Letter('D'), card);
    DeviceTableSet(Letter('E'), empty);
    DeviceTableSet(Letter('F'), fDir.File("missing.img"));
    DeviceTableSet(PhysicalDrive(0), empty);
    TxDiskRepo& repo = DiskRepo();
    EXPECT_EQ(repo.GetLastDriveLetter(), 'D');
    EXPECT_NE(repo.FindLogicalDrive('D'), nullptr);
    EXPECT_EQ(repo.FindLogicalDrive('E'), nullptr);
    EXPECT_EQ(repo.FindLogicalDrive('F'), nullptr);
    EXPECT_EQ(repo.fLogicalDrives->Count, 1);
    EXPECT_EQ(repo.GetLastDriveNo(), 0);
    EXPECT_EQ(repo.fPhysicalDisks->Count, 0);
    EXPECT_EQ(repo.GetAccessDeniedCount(), 0); // absent, not refused
}

TEST_F(DiskRepoTest, CardWithFourKiBSectorsIsEnumerated) {
    std::string card = PlainCard("4k.img", 4096);
    DeviceTableSet(PhysicalDrive(0), card);
    DeviceTableSet(Letter('E'), card);
    TxDiskRepo& repo = DiskRepo();
    TxDiskAccessor* disk = repo.FindPhysicalDisk(128);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->fParams.BytesPerSector, 4096u);
    EXPECT_EQ(repo.GetPartitionCount(), 0);
    TxDiskAccessor* drive = repo.FindLogicalDrive('E');
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(test::MountedBy(drive), "MkfsMarker");
}

TEST_F(DiskRepoTest, RegistrationOrderDecidesTheMount) {
    TFileSystemRegistryScope scope;
    RegisterFileSystemClass(&test::NeverClass);
    RegisterFileSystemClass(&test::Fat16MarkerClass);
    RegisterFileSystemClass(&test::MkfsMarkerClass);
    DeviceTableSet(PhysicalDrive(0), PartitionedCard("fat16.img"));
    DeviceTableSet(Letter('D'), PlainCard("fat12.img"));
    TxDiskRepo& repo = DiskRepo();
    ASSERT_EQ(repo.GetPartitionCount(), 1);
    EXPECT_EQ(test::MountedBy(repo.GetPartition(0)), "Fat16Marker");
    ASSERT_NE(repo.FindLogicalDrive('D'), nullptr);
    EXPECT_EQ(test::MountedBy(repo.FindLogicalDrive('D')), "MkfsMarker");
}

TEST_F(DiskRepoTest, RefreshesFreeAndRebuild) {
    std::string card = PartitionedCard("card.img");
    DeviceTableSet(PhysicalDrive(0), card);
    DeviceTableSet(PhysicalDrive(1), card);
    DeviceTableSet(Letter('D'), PlainCard("plain.img"));
    TxDiskRepo& repo = DiskRepo();
    ASSERT_EQ(repo.GetPartitionCount(), 2);
    EXPECT_EQ(repo.GetPartition(1)->fParent, repo.FindPhysicalDisk(129));
    ASSERT_EQ(repo.GetLastDriveLetter(), 'D');

    DeviceTableRemove(PhysicalDrive(1));
    DeviceTableRemove(Letter('D'));
    repo.RefreshPhysicalDisks();
    EXPECT_EQ(repo.GetLastDriveNo(), 128);
    ASSERT_EQ(repo.GetPartitionCount(), 1);
    EXPECT_EQ(repo.GetPartition(0)->fParent, repo.FindPhysicalDisk(128));
    EXPECT_EQ(repo.FindPhysicalDisk(129), nullptr);
    EXPECT_NE(repo.FindLogicalDrive('D'), nullptr); // only a logical refresh touches the letters
    repo.RefreshLogicalDrives();
    EXPECT_EQ(repo.FindLogicalDrive('D'), nullptr);
    EXPECT_EQ(repo.GetLastDriveLetter(), '\0');
}

TEST_F(DiskRepoTest, PartitionListNeverPointsAtFreedPartitions) {
    std::string card = PartitionedCard("card.img");
    DeviceTableSet(PhysicalDrive(0), card);
    DeviceTableSet(PhysicalDrive(1), card);
    TxDiskRepo& repo = DiskRepo();
    ASSERT_EQ(repo.GetPartitionCount(), 2);

    // A table read outside the repository does not join its list.
    DeviceTableSet(PhysicalDrive(7), card);
    {
        auto other = CreateDiskAccessorForDriveNo(135, true);
        other->LoadPartitionTable();
        ASSERT_EQ(other->fPartitionTable->GetPartitionCount(), 1);
        EXPECT_EQ(repo.GetPartitionCount(), 2);
    }

    // A table freed by its disk takes its partitions out of the list.
    TxDiskAccessor* first = repo.FindPhysicalDisk(128);
    delete first->fPartitionTable;
    ASSERT_EQ(repo.GetPartitionCount(), 1);
    EXPECT_EQ(repo.GetPartition(0)->fParent, repo.FindPhysicalDisk(129));
}

TEST_F(DiskRepoTest, CountsDevicesRefusedForLackOfPermission) {
    ASSERT_EQ(::chmod(fDir.Path().c_str(), 0755), 0);
    std::string readable = PlainCard("readable.img");
    std::string refused = PlainCard("refused.img");
    std::string refused2 = PlainCard("refused2.img");
    ASSERT_EQ(::chmod(readable.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(refused.c_str(), 0), 0);
    ASSERT_EQ(::chmod(refused2.c_str(), 0), 0);
    DeviceTableSet(PhysicalDrive(0), refused);
    DeviceTableSet(PhysicalDrive(1), readable);
    DeviceTableSet(Letter('D'), refused); // the same device under a letter counts once
    DeviceTableSet(Letter('E'), fDir.File("missing.img"));
    DeviceTableSet(Letter('F'), readable);

    // Result: refused devices + 10 x kept physical disks + 100 x kept lettered drives.
    auto scan = [] {
        FreeDiskRepo();
        TxDiskRepo& repo = DiskRepo();
        int refusedCount = repo.GetAccessDeniedCount();
        return refusedCount + 10 * repo.fPhysicalDisks->Count + 100 * repo.fLogicalDrives->Count;
    };
    EXPECT_EQ(test::RunUnprivileged(scan), 111);
    DeviceTableSet(Letter('G'), refused2);
    EXPECT_EQ(test::RunUnprivileged(scan), 112);
}

TEST_F(DiskRepoTest, VolumeLabels) {
    DeviceTableSet(Letter('D'), PlainCard("labelled.img", 512, "HOLIDAY"));
    DeviceTableSet(Letter('E'), PlainCard("nolabel.img"));
    std::string fat32 = fDir.File("fat32.img");
    test::FatImage(fat32, test::FatOptions(32, 34000, 512, "BIG CARD"));
    DeviceTableSet(Letter('F'), fat32);
    std::string raw = fDir.File("raw.img");
    test::WriteFileBytes(raw, test::PatternBytes(4096, 9));
    DeviceTableSet(Letter('G'), raw);

    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('D'), "HOLIDAY");
    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('E'), "");
    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('F'), "BIG CARD");
    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('G'), ""); // not a FAT volume
    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('H'), ""); // no such drive
}

// Discovery and repository together, over a sysfs tree and device folder made here; the device
// nodes are image files.
TEST_F(DiskRepoTest, DiscoveredDevices) {
    std::string sys = fDir.File("sys"), dev = fDir.File("dev");
    auto attribute = [](const std::string& aPath, const std::string& aValue) {
        fs::create_directories(fs::path(aPath).parent_path());
        test::WriteFileBytes(aPath, aValue + "\n");
    };
    fs::create_directories(dev + "/disk/by-label");
    attribute(sys + "/block/sda/removable", "0");
    fs::copy_file(PlainCard("fixed.img"), dev + "/sda");
    attribute(sys + "/block/sdb/removable", "1");
    attribute(sys + "/block/sdb/sdb1/partition", "1");
    fs::copy_file(PartitionedCard("card.img"), dev + "/sdb");
    fs::copy_file(PlainCard("volume.img"), dev + "/sdb1");
    fs::create_symlink("../../sdb1", dev + "/disk/by-label/MY\\x20CARD");
    fs::copy_file(PlainCard("floppy.img"), dev + "/fd0");

    SetDriveDiscovery(true, {sys, dev});
    TxDiskRepo& repo = DiskRepo();
    EXPECT_EQ(repo.GetLastDriveNo(), 129);
    ASSERT_NE(repo.FindPhysicalDisk(0), nullptr);
    ASSERT_NE(repo.FindPhysicalDisk(128), nullptr);
    EXPECT_EQ(DeviceResolve(repo.FindPhysicalDisk(128)->fParams.DevicePath), dev + "/sda");
    EXPECT_EQ(DeviceResolve(repo.FindPhysicalDisk(129)->fParams.DevicePath), dev + "/sdb");
    EXPECT_EQ(repo.GetPartitionCount(), 1);
    EXPECT_EQ(TxDiskRepo::GetLogicalDriveLetters(), "AD");
    ASSERT_NE(repo.FindLogicalDrive('D'), nullptr);
    EXPECT_EQ(test::MountedBy(repo.FindLogicalDrive('D')), "MkfsMarker");
    EXPECT_EQ(TxDiskRepo::GetVolumeLabel('D'), "MY CARD");

    // A card inserted later appears with the next physical refresh.
    attribute(sys + "/block/sdc/removable", "1");
    fs::copy_file(PlainCard("late.img"), dev + "/sdc");
    repo.RefreshPhysicalDisks();
    EXPECT_EQ(repo.GetLastDriveNo(), 130);
    repo.RefreshLogicalDrives();
    EXPECT_EQ(repo.GetLastDriveLetter(), 'E');
}

} // namespace
} // namespace qrt
