#include "TestFileSystem.h"
#include "TestUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/PartitionTable.h"
#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qrt {
namespace {

class DiskAccessorTest : public ::testing::Test {
protected:
    void SetUp() override {
        fImage = fDir.File("card.img");
        fBytes = test::PatternBytes(1024 * 1024, 3);
        test::WriteFileBytes(fImage, fBytes);
    }
    void TearDown() override {
        DeviceClearBadRanges();
        DeviceTableClear();
    }

    test::TempDir fDir;
    std::string fImage;
    std::string fBytes;
};

TEST_F(DiskAccessorTest, CreationByDriveNumberAndLetter) {
    DeviceTableSet("\\\\.\\PhysicalDrive2", fImage);
    auto disk = CreateDiskAccessorForDriveNo(130, true);
    EXPECT_EQ(disk->fParams.DevicePath, "\\\\.\\PhysicalDrive2");
    EXPECT_EQ(disk->fParams.DriveNo, 130);
    EXPECT_EQ(disk->fParams.PartitionNo, 255);
    EXPECT_FALSE(disk->IsClosed());
    EXPECT_TRUE(HasGeometry(disk->fParams));

    // A floppy that is not there: the accessor comes back closed and without geometry.
    auto floppy = CreateDiskAccessorForDriveNo(0, true);
    EXPECT_EQ(floppy->fParams.DevicePath, "\\\\.\\A:");
    EXPECT_EQ(floppy->fParams.DriveNo, 0);
    EXPECT_TRUE(floppy->IsClosed());
    EXPECT_FALSE(HasGeometry(floppy->fParams));

    EXPECT_ASSERTION(CreateDiskAccessorForDriveNo(2, true), "WTF?");
    EXPECT_ASSERTION(CreateDiskAccessorForDriveNo(256, true), "WTF?");

    DeviceTableSet("\\\\.\\F:", fImage);
    auto lettered = CreateDiskAccessorForLetter('F', true);
    EXPECT_EQ(lettered->fParams.DevicePath, "\\\\.\\F:");
    EXPECT_EQ(lettered->fParams.DriveNo, -1);
    EXPECT_TRUE(HasDriveLetter(lettered.get()));
    EXPECT_TRUE(IsRemovableDisk(lettered.get()));
    EXPECT_ASSERTION(CreateDiskAccessorForLetter('1', true), "WTF?");
}

TEST_F(DiskAccessorTest, ImageGeometry) {
    auto disk = test::OpenImage(fImage);
    const TxDriveParams& p = disk->fParams;
    EXPECT_EQ(p.BytesPerSector, 512u);
    EXPECT_EQ(p.TotalSectors, 2048u);
    EXPECT_EQ(p.FirstSector, 0u);
    EXPECT_EQ(p.LastSector, 2047u);
    EXPECT_EQ(p.TracksPerCylinder, 255u);
    EXPECT_EQ(p.SectorsPerTrack, 63u);
    EXPECT_EQ(p.MediaKind, mkRemovable);
    EXPECT_EQ(disk->GetSizeInBytes(), 1024u * 1024u);
    EXPECT_TRUE(disk->CheckMedia());
    EXPECT_ASSERTION(disk->ReservedQuery(), "UNIMPLEMENTED!");

    // Geometry once known is never asked again: a reopened accessor keeps it.
    disk->fParams.TotalSectors = 100;
    disk->Close();
    disk->Open(true);
    EXPECT_EQ(disk->fParams.TotalSectors, 100u);
    disk->Close();
    EXPECT_ASSERTION(disk->CheckMedia(), "WTF?");
}

TEST_F(DiskAccessorTest, ReadsWholeSectors) {
    auto disk = test::OpenImage(fImage);
    std::string buffer(4096, '\0');
    EXPECT_EQ(disk->Read(SectorAddress(3), buffer.data(), 1024), 1024u);
    EXPECT_EQ(buffer.substr(0, 1024), fBytes.substr(3 * 512, 1024));

    EXPECT_ASSERTION(disk->Read(SectorAddress(3), buffer.data(), 1000),
                     "WTF? aByteCount: 1000, BytesPerSector: 512");
    TxDiskAddress withOffset = SectorAddress(3);
    withOffset.Offset = 3;
    EXPECT_ASSERTION(disk->Read(withOffset, buffer.data(), 512), "WTF?");
    EXPECT_ASSERTION(disk->Read(TxDiskAddress{0, akOther, 1}, buffer.data(), 512), "UNIMPLEMENTED!");

    // A closed accessor is reopened read-only on demand.
    disk->Close();
    EXPECT_EQ(disk->Read(SectorAddress(0), buffer.data(), 512), 512u);
    EXPECT_FALSE(disk->IsClosed());
    EXPECT_TRUE(disk->fReadOnly);
    // At the end of the device the read comes back short, without an error.
    EXPECT_EQ(disk->Read(SectorAddress(2047), buffer.data(), 2048), 512u);

    // An accessor whose geometry is unknown is never read.
    TxDiskAccessor unknown;
    unknown.fParams.DevicePath = fImage;
    EXPECT_ASSERTION(unknown.Read(SectorAddress(0), buffer.data(), 512), "WTF?");
}

TEST_F(DiskAccessorTest, ReadFailingAfterTheFirstPieceReturnsWhatCameIn) {
    auto disk = test::OpenImage(fImage);
    // The medium shrinks under the open accessor: the second 256 KiB piece comes back short.
    std::filesystem::resize_file(fImage, 262144 + 1000);
    std::string buffer(1024 * 1024, '\0');
    EXPECT_EQ(disk->Read(SectorAddress(0), buffer.data(), 1024 * 1024), 262144u + 1000u);
    EXPECT_EQ(buffer.substr(0, 263144), fBytes.substr(0, 263144));
    std::filesystem::resize_file(fImage, 262144);
    EXPECT_EQ(disk->Read(SectorAddress(0), buffer.data(), 1024 * 1024), 262144u);
}

// The accessor skips the seek when a read goes on where the last one ended; any other order, and a
// read after a failed one, must still land on the sectors asked for.
TEST_F(DiskAccessorTest, ReadsLandWhereAskedInAnyOrder) {
    DeviceSetBadRanges(fImage, {{10 * 512, 512}});
    auto disk = test::OpenImage(fImage);
    const struct {
        int32_t Sector;
        uint32_t Count;
        uint32_t Expected;
    } reads[] = {
        {0, 2, 2},  {2, 1, 1},   {3, 1, 1}, // on from where the last read ended
        {3, 1, 1},  {1, 1, 1},              // the same sector again, and backwards
        {9, 1, 1},  {10, 1, 0},             // up to a bad sector, then into it
        {11, 2, 2}, {10, 1, 0},  {9, 2, 1}, // past it, and a read that runs into it
        {12, 1, 1}, {600, 1, 1},
    };
    std::string buffer(1024, '\0');
    for (const auto& r : reads) {
        SCOPED_TRACE("sector " + std::to_string(r.Sector));
        ASSERT_EQ(disk->Read(SectorAddress(r.Sector), buffer.data(), r.Count * 512), r.Expected * 512);
        EXPECT_EQ(buffer.substr(0, r.Expected * 512), fBytes.substr(r.Sector * 512, r.Expected * 512));
    }
}

TEST_F(DiskAccessorTest, SeekFailureIsAnOperatingSystemError) {
    TxDiskAccessor disk; // never opened
    disk.fParams.BytesPerSector = 512;
    try {
        disk.SeekAddress(SectorAddress(1));
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, 9u);
        EXPECT_EQ(e.Message, "System Error.  Code: 9.\r\nBad file descriptor");
    }
    EXPECT_ASSERTION(disk.SeekAddress(ClusterAddress(5)), "WTF?"); // no file system
}

TEST_F(DiskAccessorTest, PartitionAccessorReadsInsideItsExtent) {
    auto disk = test::OpenImage(fImage);
    TxDiskAccessor part;
    part.fParent = disk.get();
    part.fParams = disk->fParams;
    part.fParams.PartitionNo = 0;
    part.fParams.FirstSector = 63;
    part.fParams.LastSector = 63 + 1000 - 1;
    part.Open(true); // keeps the copied geometry and extent
    EXPECT_EQ(part.fParams.FirstSector, 63u);
    EXPECT_EQ(part.GetSizeInBytes(), 512000u);
    std::string buffer(512, '\0');
    EXPECT_EQ(part.Read(SectorAddress(1), buffer.data(), 512), 512u);
    EXPECT_EQ(buffer, fBytes.substr(64 * 512, 512));
}

TEST_F(DiskAccessorTest, ConvertsAddressesThroughTheFileSystem) {
    // 4 sectors per cluster, cluster 0 would start at sector 100.
    auto disk = test::OpenImageWithFileSystem(fImage, 4, 100, 64);
    TxDiskAddress result;
    TxDiskAddress source = ClusterAddress(5);
    source.Offset = 1300;
    disk->ConvertAddress(akSector, source, result);
    EXPECT_EQ(result.Kind, akSector);
    EXPECT_EQ(result.Number, 100 + 20 + 2);
    EXPECT_EQ(result.Offset, 1300 - 1024);

    TxDiskAddress sector = SectorAddress(122);
    sector.Offset = 276;
    disk->ConvertAddress(akCluster, sector, sector); // result and source may be one record
    EXPECT_EQ(sector.Kind, akCluster);
    EXPECT_EQ(sector.Number, 5);
    EXPECT_EQ(sector.Offset, 2 * 512 + 276);

    disk->ConvertAddress(akCluster, ClusterAddress(9), result);
    EXPECT_EQ(result.Number, 9);
    EXPECT_ASSERTION(disk->ConvertAddress(akCluster, SectorAddress(100), result), "WTF?");
    EXPECT_ASSERTION(disk->ConvertAddress(akOther, SectorAddress(200), result), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(disk->ConvertAddress(akSector, TxDiskAddress{0, akOther, 1}, result), "UNIMPLEMENTED!!");

    // Cluster addresses position at cluster × 4 + 100 sectors.
    std::string buffer(512, '\0');
    EXPECT_EQ(disk->Read(ClusterAddress(3), buffer.data(), 512), 512u);
    EXPECT_EQ(buffer, fBytes.substr(112 * 512, 512));

    TxDiskAccessor bare;
    bare.fParams.BytesPerSector = 512;
    EXPECT_ASSERTION(bare.ConvertAddress(akSector, ClusterAddress(5), result), "WTF?");
}

TEST_F(DiskAccessorTest, DisplayNames) {
    struct Case {
        std::string Path;
        int16_t DriveNo;
        uint8_t PartitionNo;
        std::string Expected;
    };
    const Case cases[] = {
        {"\\\\.\\PhysicalDrive1", 129, 0, "HDD:81 [part1] "},
        {"\\\\.\\PhysicalDrive0", 128, 255, "HDD:80 "},
        {"\\\\.\\E:", -1, 255, "- \\\\.\\E: "},
        {"/images/card.img", -1, 255, ""},
        {"/images/card.img", -1, 3, "[part4] "},
    };
    for (const Case& c : cases) {
        TxDiskAccessor disk;
        disk.fParams.DevicePath = c.Path;
        disk.fParams.DriveNo = c.DriveNo;
        disk.fParams.PartitionNo = c.PartitionNo;
        EXPECT_EQ(disk.GetDisplayName(), c.Expected) << c.Path;
    }
}

TEST_F(DiskAccessorTest, OwnsItsPartitionTableAndFileSystem) {
    auto disk = test::OpenImageWithFileSystem(fImage, 1, 0, 16);
    disk->fPartitionTable = new TxPartitionTable(disk.get());
    // Each clears the accessor's reference when it goes first.
    delete disk->fFileSystem;
    EXPECT_EQ(disk->fFileSystem, nullptr);
    delete disk->fPartitionTable;
    EXPECT_EQ(disk->fPartitionTable, nullptr);
    // Otherwise the accessor frees both (the sanitizer build checks that nothing leaks).
    disk->fPartitionTable = new TxPartitionTable(disk.get());
    disk->fFileSystem = new test::TTestFileSystem(disk.get(), 1, 0, 16);
    disk.reset();
}

} // namespace
} // namespace qrt
