#include "FatImage.h"
#include "TestUtil.h"

#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace qrt {
namespace {

class DeviceIOTest : public ::testing::Test {
protected:
    void TearDown() override { DeviceTableClear(); }
    test::TempDir fDir;
};

TEST_F(DeviceIOTest, OpensReadOnlyAndReads) {
    std::string image = fDir.File("raw.img");
    std::string bytes = test::PatternBytes(8192, 1);
    test::WriteFileBytes(image, bytes);

    TDeviceHandle h = DeviceOpen(image);
    ASSERT_NE(h, InvalidDeviceHandle);
    EXPECT_EQ(fcntl(h, F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_EQ(::write(h, "x", 1), -1); // nothing can be written through the handle
    ASSERT_TRUE(DeviceSeek(h, 4096));
    std::string buffer(8192, '\0');
    EXPECT_EQ(DeviceRead(h, buffer.data(), 8192), 4096);
    EXPECT_EQ(buffer.substr(0, 4096), bytes.substr(4096));
    EXPECT_EQ(DeviceRead(h, buffer.data(), 512), 0);
    EXPECT_TRUE(DeviceCheckVerify(h));
    DeviceClose(h);
    EXPECT_EQ(test::ReadFileBytes(image), bytes);

    EXPECT_FALSE(DeviceSeek(-1, 0));
    EXPECT_EQ(DeviceLastError(), EBADF);
    EXPECT_EQ(DeviceRead(-1, buffer.data(), 1), -1);
    EXPECT_EQ(DeviceOpen(fDir.File("missing")), InvalidDeviceHandle);
    EXPECT_EQ(DeviceLastError(), ENOENT);
}

TEST_F(DeviceIOTest, DeviceTableResolvesDriveNames) {
    std::string image = fDir.File("card.img");
    test::WriteFileBytes(image, std::string(1024, 'c'));

    EXPECT_TRUE(IsDeviceTableName("\\\\.\\PhysicalDrive0"));
    EXPECT_TRUE(IsDeviceTableName("\\\\.\\E:"));
    EXPECT_FALSE(IsDeviceTableName("/dev/sdb"));
    EXPECT_EQ(DeviceResolve("/dev/sdb"), "/dev/sdb");
    EXPECT_EQ(DeviceResolve("\\\\.\\E:"), "");
    EXPECT_EQ(DeviceOpen("\\\\.\\E:"), InvalidDeviceHandle);
    EXPECT_EQ(DeviceLastError(), ENOENT);

    DeviceTableSet("\\\\.\\E:", image);
    DeviceTableSet("\\\\.\\PhysicalDrive1", image);
    EXPECT_EQ(DeviceTableEntries().size(), 2u);
    TDeviceHandle h = DeviceOpen("\\\\.\\E:");
    ASSERT_NE(h, InvalidDeviceHandle);
    char c = 0;
    EXPECT_EQ(DeviceRead(h, &c, 1), 1);
    EXPECT_EQ(c, 'c');
    DeviceClose(h);

    DeviceTableRemove("\\\\.\\E:");
    EXPECT_EQ(DeviceResolve("\\\\.\\E:"), "");
    EXPECT_EQ(DeviceResolve("\\\\.\\PhysicalDrive1"), image);

    EXPECT_TRUE(DeviceFileExists(image));
    EXPECT_FALSE(DeviceFileExists(fDir.Path()));
    EXPECT_FALSE(DeviceFileExists(fDir.File("missing")));
    EXPECT_FALSE(DeviceFileExists(""));
}

// Images stand where a removable card would: 255 heads, 63 sectors per track, and the sector size
// a FAT boot record at sector 0 declares (512 otherwise).
TEST_F(DeviceIOTest, ImageGeometry) {
    struct Case {
        int SectorSize;
        bool Fat;
    };
    for (Case c : {Case{512, false}, Case{512, true}, Case{2048, true}, Case{4096, true}}) {
        std::string image = fDir.File("g" + std::to_string(c.SectorSize) + (c.Fat ? "fat" : "raw") + ".img");
        if (c.Fat) {
            test::FatImage::Options o;
            o.FatBits = 16;
            o.SizeKiB = 65536;
            o.SectorSize = c.SectorSize;
            test::FatImage fat(image, o);
        } else {
            test::WriteFileBytes(image, "");
            std::filesystem::resize_file(image, 65536 * 1024);
        }
        TDeviceHandle h = DeviceOpen(image);
        ASSERT_NE(h, InvalidDeviceHandle);
        TDeviceGeometry g;
        ASSERT_TRUE(DeviceGetGeometry(h, g));
        DeviceClose(h);
        EXPECT_EQ(g.BytesPerSector, static_cast<uint32_t>(c.SectorSize)) << image;
        EXPECT_EQ(g.DiskSize, 65536 * 1024);
        EXPECT_EQ(g.TracksPerCylinder, 255u);
        EXPECT_EQ(g.SectorsPerTrack, 63u);
        EXPECT_EQ(g.MediaType, DeviceMediaRemovable);
        EXPECT_EQ(g.Cylinders, 65536 * 1024 / (255 * 63 * c.SectorSize));
    }

    // A directory opens but has no geometry.
    TDeviceHandle h = DeviceOpen(fDir.Path());
    ASSERT_NE(h, InvalidDeviceHandle);
    TDeviceGeometry g;
    EXPECT_FALSE(DeviceGetGeometry(h, g));
    EXPECT_FALSE(DeviceCheckVerify(h));
    DeviceClose(h);
}

} // namespace
} // namespace qrt
