#include "TestUtil.h"

#include "disk/DiskTypes.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

TEST(DiskAddressTest, ConstructionComparisonAndNull) {
    TxDiskAddress s = SectorAddress(7);
    EXPECT_EQ(s.Kind, akSector);
    EXPECT_EQ(s.Number, 7);
    EXPECT_EQ(s.Offset, 0);
    EXPECT_EQ(ClusterAddress(7).Kind, akCluster);

    TxDiskAddress withOffset = s;
    withOffset.Offset = 300;
    EXPECT_TRUE(SameAddress(s, withOffset));
    EXPECT_FALSE(SameAddress(s, ClusterAddress(7)));
    EXPECT_FALSE(SameAddress(s, SectorAddress(8)));
    TxDiskAddress other1{0, akOther, 1}, other2{5, akOther, 2};
    EXPECT_TRUE(SameAddress(other1, other2));

    EXPECT_TRUE(IsNullAddress(SectorAddress(-1)));
    EXPECT_TRUE(IsNullAddress(ClusterAddress(-1)));
    EXPECT_FALSE(IsNullAddress(ClusterAddress(0)));
    EXPECT_ASSERTION(IsNullAddress(other1), "UNIMPLEMENTED!!");
}

TEST(DriveParamsTest, PathAcceptance) {
    test::TempDir dir;
    std::string image = dir.File("card.img");
    test::WriteFileBytes(image, std::string(4096, '\0'));

    struct Case {
        std::string Path;
        int16_t DriveNo;
        bool Valid;
    };
    const Case cases[] = {
        {"", -1, false},
        {"@:", -1, true},
        {"@:", 128, false},
        {"\\\\.\\E:", -1, true},
        {"\\\\.\\E:", 130, false},
        {"\\\\.\\A:", 0, true},
        {"\\\\.\\PhysicalDrive3", 131, true}, // 18 characters
        {"\\\\.\\PhysicalDrive3", 5, false},
        {"\\\\.\\PhysicalDrive12", 140, true},    // 19
        {"\\\\.\\PhysicalDrive123", 251, true},   // 20: still the physical-disk rule
        {"\\\\.\\PhysicalDrive1234", 200, false}, // 21: only an image file would do
        {"\\\\.\\PhysicalDriveX", 131, false},    // not a digit: falls through to the file test
        {"\\\\.\\physicaldrive3", 131, false},    // the prefix is case-sensitive
        {image, -1, true},
        {image, 129, true},
        {dir.Path(), -1, false}, // a directory
        {dir.File("missing.img"), -1, false},
    };
    for (const Case& c : cases) {
        TxDriveParams p;
        InitDriveParams(p);
        p.DevicePath = c.Path;
        p.DriveNo = c.DriveNo;
        EXPECT_EQ(IsValidDriveParams(p), c.Valid) << c.Path << " DriveNo " << c.DriveNo;
    }
}

TEST(DriveParamsTest, InitLettersAndMedia) {
    TxDriveParams p;
    p.TotalSectors = 9;
    p.DevicePath = "x";
    p.MediaKind = mkFixedDisk;
    InitDriveParams(p);
    EXPECT_EQ(p.DriveNo, -1);
    EXPECT_EQ(p.PartitionNo, 255);
    EXPECT_TRUE(p.DevicePath.empty());
    EXPECT_FALSE(HasGeometry(p));

    p.DevicePath = "@:";
    EXPECT_EQ(DriveLetterOf(p), '@');
    p.DevicePath = "\\\\.\\E:";
    EXPECT_EQ(DriveLetterOf(p), 'E');
    p.DevicePath = "\\\\.\\E:\\more"; // the length is not checked for letters
    EXPECT_EQ(DriveLetterOf(p), 'E');
    p.DevicePath = "\\\\.\\PhysicalDrive0";
    EXPECT_EQ(DriveLetterOf(p), '\0');
    p.DevicePath = "\\\\.\\E:";
    p.DriveNo = 130;
    EXPECT_ASSERTION(DriveLetterOf(p), "Assertion failure");

    p.MediaKind = mkRemovable;
    EXPECT_TRUE(IsRemovableMedia(p));
    p.MediaKind = mkFloppy;
    EXPECT_FALSE(IsRemovableMedia(p));
    p.MediaKind = mkFixedDisk;
    EXPECT_FALSE(IsRemovableMedia(p));
}

TEST(DiskAreasTest, CopiesShareAndResizeUnshares) {
    TxDiskAreas a;
    EXPECT_TRUE(a.Empty());
    a.SetLength(2);
    a[0].Size = 512;
    TxDiskAreas b = a;
    EXPECT_TRUE(b.SharesWith(a));
    EXPECT_EQ(a.UseCount(), 2);
    b[1].Size = 7; // element writes are seen by every holder
    EXPECT_EQ(a[1].Size, 7);
    b.SetLength(3); // a resize gives the holder its own array
    EXPECT_FALSE(b.SharesWith(a));
    EXPECT_EQ(a.Length(), 2);
    EXPECT_EQ(b.Length(), 3);
    EXPECT_EQ(b[0].Size, 512);
    EXPECT_EQ(b[2].Size, -1);
    EXPECT_EQ(b[2].StreamOffset, -1);
    a.Clear();
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(b.UseCount(), 1);
}

TEST(DiskExceptionTest, FatalErrorIsAnIoException) {
    try {
        throw EioFatalError("No valid FAT copy could be found or recreated!");
    } catch (const EioException& e) {
        EXPECT_STREQ(e.ClassName(), "EioFatalError");
        EXPECT_EQ(e.Message, "No valid FAT copy could be found or recreated!");
    }
}

} // namespace
} // namespace qrt
