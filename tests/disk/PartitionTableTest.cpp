#include "FatImage.h"
#include "RepoTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <span>

namespace qrt {
namespace {

using test::TMbrEntry;

class PartitionTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterFileSystemClass(&test::MkfsMarkerClass);
        test::CanMountLog().clear();
    }

    // A whole-device accessor on an image, the way drive enumeration opens one.
    std::unique_ptr<TxDiskAccessor> OpenDisk(const std::string& aImage) {
        DeviceTableSet("\\\\.\\PhysicalDrive0", aImage);
        auto disk = CreateDiskAccessorForDriveNo(128, true);
        EXPECT_TRUE(HasGeometry(disk->fParams)) << aImage;
        return disk;
    }
    std::unique_ptr<TxDiskAccessor> OpenHandMade(const std::string& aMbr, uint64_t aBytes = 1024 * 1024) {
        std::string image = fDir.File("handmade.img");
        test::WriteDiskImage(image, aMbr, aBytes);
        return OpenDisk(image);
    }
    void TearDown() override { DeviceTableClear(); }

    TFileSystemRegistryScope fRegistry;
    test::TempDir fDir;
};

bool ValidRecord(const std::string& aMbr) {
    return TxPartitionTable::IsValidMbr(
        std::span<const uint8_t, 512>(reinterpret_cast<const uint8_t*>(aMbr.data()), 512));
}

TEST_F(PartitionTableTest, RecordValidity) {
    TMbrEntry zero;
    TMbrEntry lowerEndSector = test::UsableEntry(63, 1000);
    lowerEndSector.StartHead = lowerEndSector.EndHead = 5;
    lowerEndSector.StartCylinder = lowerEndSector.EndCylinder = 7;
    lowerEndSector.StartSector = 9;
    lowerEndSector.EndSector = 8;
    TMbrEntry lowerEndHead = test::UsableEntry(63, 1000);
    lowerEndHead.StartHead = 3;
    lowerEndHead.EndHead = 2;
    TMbrEntry equalKeys = lowerEndSector;
    equalKeys.EndSector = 9;
    TMbrEntry empty = test::UsableEntry(63, 0);

    struct Case {
        const char* What;
        std::array<TMbrEntry, 4> Entries;
        bool Signature;
        bool Valid;
    };
    const Case cases[] = {
        {"four zero entries", {zero, zero, zero, zero}, true, true},
        {"no signature", {test::UsableEntry(63, 1000), zero, zero, zero}, false, false},
        {"end key below start key in the last slot", {zero, zero, zero, lowerEndSector}, true, false},
        {"end head below start head", {test::UsableEntry(63, 1000), lowerEndHead, zero, zero}, true, false},
        {"equal keys", {equalKeys, zero, zero, zero}, true, true},
        {"empty entry", {empty, test::UsableEntry(2048, 10), zero, zero}, true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValidRecord(test::MakeMbr(c.Entries, c.Signature)), c.Valid) << c.What;

    // Only the 16-bit value 0xAA55 at 510 counts as the signature.
    std::string swapped = test::MakeMbr({zero, zero, zero, zero});
    std::swap(swapped[510], swapped[511]);
    EXPECT_FALSE(ValidRecord(swapped));
}

TEST_F(PartitionTableTest, EntryUsability) {
    auto usable = [](const TMbrEntry& e) {
        std::string mbr = test::MakeMbr({e, {}, {}, {}});
        return TxPartitionTable::IsUsablePartitionEntry(
            std::span<const uint8_t, 16>(reinterpret_cast<const uint8_t*>(mbr.data()) + 446, 16));
    };
    TMbrEntry e = test::UsableEntry(63, 1000);
    EXPECT_TRUE(usable(e));
    e.SectorCount = 0;
    EXPECT_FALSE(usable(e));
    e = test::UsableEntry(63, 1);
    e.StartHead = e.EndHead = 7; // equal heads are fine
    EXPECT_TRUE(usable(e));
    e.EndHead = 6;
    EXPECT_FALSE(usable(e));
    for (uint8_t type : {0x00, 0x07, 0x0C, 0x83, 0xEE})
        EXPECT_TRUE(usable(test::UsableEntry(63, 1000, type)));
}

TEST_F(PartitionTableTest, CardWithFatPartition) {
    std::string image = fDir.File("card.img");
    test::FatImage::Partitioned(image, test::FatOptions(16, 16384), 2048);
    auto disk = OpenDisk(image);
    EXPECT_TRUE(TxPartitionTable::CanLoad(disk.get()));

    disk->LoadPartitionTable();
    TxPartitionTable* table = disk->fPartitionTable;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->fDisk, disk.get());
    EXPECT_TRUE(table->IsValid());
    EXPECT_EQ(disk->fFileSystem, nullptr); // a disk with a table never mounts its whole extent
    ASSERT_EQ(table->GetPartitionCount(), 1);

    TxDiskAccessor* part = table->GetPartition(0);
    EXPECT_EQ(table->IndexOf(part), 0);
    EXPECT_EQ(table->IndexOf(disk.get()), kNotInList);
    EXPECT_EQ(part->fParent, disk.get());
    EXPECT_EQ(part->fParams.DevicePath, "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(part->fParams.DriveNo, 128);
    EXPECT_EQ(part->fParams.PartitionNo, 0);
    EXPECT_EQ(part->fParams.BytesPerSector, 512u);
    EXPECT_EQ(part->fParams.TotalSectors, disk->fParams.TotalSectors);
    EXPECT_EQ(part->fParams.MediaKind, disk->fParams.MediaKind);
    EXPECT_EQ(part->fParams.FirstSector, 2048u);
    EXPECT_EQ(part->fParams.LastSector, 2048u + 32768 - 1);
    EXPECT_EQ(part->GetSizeInBytes(), 16384u * 1024);
    EXPECT_EQ(part->GetDisplayName(), "HDD:80 [part1] ");
    // The partition mounted what starts at its own sector 0: the volume, not the master boot record.
    EXPECT_EQ(test::MountedBy(part), "MkfsMarker");
    EXPECT_EQ(static_cast<test::TMarkerFileSystem*>(part->fFileSystem)->MountCalls, 1);
    EXPECT_NE(part->fHandle, disk->fHandle);

    // The copy of sector 0 is kept.
    EXPECT_EQ(table->fSector[510], 0x55);
    EXPECT_EQ(table->fSector[446 + 8], 0x00);
    EXPECT_EQ(table->fSector[446 + 9], 0x08);
}

TEST_F(PartitionTableTest, HandMadeRecords) {
    struct Case {
        const char* What;
        std::string Mbr;
        bool Table;
        std::vector<uint8_t> Slots; // slots of the derived partitions
    };
    TMbrEntry lowerEnd = test::UsableEntry(63, 1000);
    lowerEnd.EndHead = 0;
    TMbrEntry past32Bits = test::UsableEntry(0xFFFFFF00u, 0x200);
    const Case cases[] = {
        {"signature and four zero entries", test::MakeMbr({}), true, {}},
        {"no signature", test::MakeMbr({test::UsableEntry(63, 1000)}, false), false, {}},
        {"an end key below its start key", test::MakeMbr({test::UsableEntry(63, 100), lowerEnd}), false, {}},
        {"types play no part",
         test::MakeMbr({test::UsableEntry(63, 100, 0x07), test::UsableEntry(200, 100, 0x00),
                        test::UsableEntry(400, 100, 0xEE), test::UsableEntry(600, 100, 0x83)}),
         true,
         {0, 1, 2, 3}},
        {"an empty slot is skipped", test::MakeMbr({TMbrEntry{}, test::UsableEntry(63, 1000)}), true, {1}},
        {"an extent past sector 2^32-1 is skipped",
         test::MakeMbr({past32Bits, test::UsableEntry(63, 10)}),
         true,
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto disk = OpenHandMade(c.Mbr);
        disk->LoadPartitionTable();
        ASSERT_EQ(disk->fPartitionTable != nullptr, c.Table);
        if (!c.Table) continue;
        ASSERT_EQ(disk->fPartitionTable->GetPartitionCount(), static_cast<int32_t>(c.Slots.size()));
        for (size_t i = 0; i < c.Slots.size(); ++i) {
            TxDiskAccessor* part = disk->fPartitionTable->GetPartition(static_cast<int32_t>(i));
            EXPECT_EQ(part->fParams.PartitionNo, c.Slots[i]);
            EXPECT_EQ(part->fFileSystem, nullptr); // zeros carry no volume
        }
    }
}

TEST_F(PartitionTableTest, PartitionExtent) {
    auto disk = OpenHandMade(test::MakeMbr({TMbrEntry{}, test::UsableEntry(63, 1000)}));
    disk->LoadPartitionTable();
    ASSERT_EQ(disk->fPartitionTable->GetPartitionCount(), 1);
    TxDiskAccessor* part = disk->fPartitionTable->GetPartition(0);
    EXPECT_EQ(part->fParams.FirstSector, 63u);
    EXPECT_EQ(part->fParams.LastSector, 1062u);
    EXPECT_EQ(part->GetSizeInBytes(), 512000u);
    EXPECT_EQ(part->GetDisplayName(), "HDD:80 [part2] ");
}

TEST_F(PartitionTableTest, UnpartitionedCards) {
    // mkfs.fat leaves the entry positions of its boot sector zero: a valid record without partitions.
    for (int sectorSize : {512, 4096}) {
        SCOPED_TRACE(sectorSize);
        std::string image = fDir.File("plain" + std::to_string(sectorSize) + ".img");
        test::FatImage(image, test::FatOptions(sectorSize == 512 ? 16 : 12, 16384, sectorSize));
        auto disk = OpenDisk(image);
        ASSERT_EQ(disk->fParams.BytesPerSector, static_cast<uint32_t>(sectorSize));
        // With 4096-byte sectors the record is the start of a whole sector read.
        EXPECT_TRUE(TxPartitionTable::CanLoad(disk.get()));
        disk->LoadPartitionTable();
        ASSERT_NE(disk->fPartitionTable, nullptr);
        EXPECT_EQ(disk->fPartitionTable->GetPartitionCount(), 0);
        EXPECT_EQ(disk->fFileSystem, nullptr);
    }
}

TEST_F(PartitionTableTest, ShortRecordLoadsNothing) {
    std::string image = fDir.File("tiny.img");
    test::WriteFileBytes(image, test::MakeMbr({test::UsableEntry(63, 1000)}).substr(0, 300));
    DeviceTableSet("\\\\.\\PhysicalDrive0", image);
    auto disk = CreateDiskAccessorForDriveNo(128, true);
    EXPECT_FALSE(TxPartitionTable::CanLoad(disk.get()));
    TxPartitionTable table(disk.get());
    table.Load();
    EXPECT_EQ(table.GetPartitionCount(), 0);

    TxDiskAccessor unknown; // no geometry, nothing to read
    EXPECT_FALSE(TxPartitionTable::CanLoad(&unknown));
}

TEST_F(PartitionTableTest, OwnershipRules) {
    auto disk = OpenHandMade(test::MakeMbr({test::UsableEntry(63, 1000)}));
    disk->LoadPartitionTable();
    ASSERT_NE(disk->fPartitionTable, nullptr);
    EXPECT_ASSERTION(disk->LoadPartitionTable(), "WTF?");
    EXPECT_ASSERTION(disk->MountFileSystem(), "WTF?");

    // Freeing the table frees its partitions and clears the disk's reference.
    delete disk->fPartitionTable;
    EXPECT_EQ(disk->fPartitionTable, nullptr);

    // A mounted disk never gets a table, and mounting twice keeps the first file system.
    std::string image = fDir.File("plain.img");
    test::FatImage(image, test::FatOptions(12, 1024));
    auto volume = OpenDisk(image);
    volume->MountFileSystem();
    TxFileSystem* first = volume->fFileSystem;
    ASSERT_NE(first, nullptr);
    volume->MountFileSystem();
    EXPECT_EQ(volume->fFileSystem, first);
    volume->LoadPartitionTable();
    EXPECT_EQ(volume->fPartitionTable, nullptr);

    TxPartitionTable orphan(nullptr);
    EXPECT_ASSERTION(orphan.IsValid(), "WTF?");
    EXPECT_ASSERTION(orphan.Load(), "WTF?");
}

} // namespace
} // namespace qrt
