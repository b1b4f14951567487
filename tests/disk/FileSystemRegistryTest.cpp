#include "FatImage.h"
#include "RepoTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

using Log = std::vector<std::string>;

class FileSystemRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { test::CanMountLog().clear(); }

    std::unique_ptr<TxDiskAccessor> OpenVolume(const std::string& aName, int aFatBits) {
        std::string image = fDir.File(aName);
        test::FatImage(image, test::FatOptions(aFatBits, aFatBits == 32   ? 34000
                                                         : aFatBits == 16 ? 16384
                                                                          : 4096));
        auto disk = std::make_unique<TxDiskAccessor>();
        disk->fParams.DevicePath = image;
        disk->Open(true);
        return disk;
    }

    test::TempDir fDir;
};

TEST_F(FileSystemRegistryTest, KeepsRegistrationOrderWithoutDuplicates) {
    TFileSystemRegistryScope scope;
    EXPECT_EQ(FileSystemClasses().Count, 0);
    RegisterFileSystemClass(&test::Fat16MarkerClass);
    RegisterFileSystemClass(&test::MkfsMarkerClass);
    RegisterFileSystemClass(&test::Fat16MarkerClass);
    ASSERT_EQ(FileSystemClasses().Count, 2);
    EXPECT_EQ(FileSystemClasses().Get(0), &test::Fat16MarkerClass);
    EXPECT_EQ(FileSystemClasses().Get(1), &test::MkfsMarkerClass);
    {
        // A nested scope starts empty and gives the outer classes back.
        TFileSystemRegistryScope inner;
        EXPECT_EQ(FileSystemClasses().Count, 0);
        RegisterFileSystemClass(&test::NeverClass);
    }
    ASSERT_EQ(FileSystemClasses().Count, 2);
    EXPECT_EQ(FileSystemClasses().IndexOf(&test::NeverClass), kNotInList);
}

TEST_F(FileSystemRegistryTest, FirstAcceptingClassWins) {
    auto fat16 = OpenVolume("fat16.img", 16);
    auto fat32 = OpenVolume("fat32.img", 32);

    TFileSystemRegistryScope scope;
    EXPECT_EQ(FindFileSystemClass(fat16.get()), nullptr); // nothing registered
    RegisterFileSystemClass(&test::NeverClass);
    RegisterFileSystemClass(&test::Fat16MarkerClass);
    RegisterFileSystemClass(&test::Fat32MarkerClass);
    RegisterFileSystemClass(&test::MkfsMarkerClass);

    // Both the FAT16 class and the catch-all accept a FAT16 volume; the later one is never asked.
    EXPECT_EQ(FindFileSystemClass(fat16.get()), &test::Fat16MarkerClass);
    EXPECT_EQ(test::CanMountLog(), (Log{"Never", "Fat16Marker"}));

    test::CanMountLog().clear();
    EXPECT_EQ(FindFileSystemClass(fat32.get()), &test::Fat32MarkerClass);
    EXPECT_EQ(test::CanMountLog(), (Log{"Never", "Fat16Marker", "Fat32Marker"}));
}

TEST_F(FileSystemRegistryTest, MountFileSystemCreatesAndMountsTheFoundClass) {
    auto fat12 = OpenVolume("fat12.img", 12);
    auto fat32 = OpenVolume("fat32.img", 32);
    TFileSystemRegistryScope scope;
    RegisterFileSystemClass(&test::NeverClass);
    RegisterFileSystemClass(&test::Fat32MarkerClass);

    fat12->MountFileSystem(); // no class accepts FAT12 here
    EXPECT_EQ(fat12->fFileSystem, nullptr);

    fat32->MountFileSystem();
    auto* fs = dynamic_cast<test::TMarkerFileSystem*>(fat32->fFileSystem);
    ASSERT_NE(fs, nullptr);
    EXPECT_STREQ(fs->MarkerClass, "Fat32Marker");
    EXPECT_EQ(fs->fDisk, fat32.get());
    EXPECT_EQ(fs->MountCalls, 1);
}

} // namespace
} // namespace qrt
