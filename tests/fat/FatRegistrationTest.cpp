#include "FatTestSupport.h"
#include "TestUtil.h"

#include "disk/FileSystemRegistry.h"
#include "fat/FATRegistration.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

TEST(FatRegistration, RegistersTheThreeTypesInOrderOnce) {
    TFileSystemRegistryScope scope;
    RegisterFATFileSystems();
    RegisterFATFileSystems();
    TClassList& classes = FileSystemClasses();
    ASSERT_EQ(classes.Count, 3);
    EXPECT_EQ(classes.Get(0), &FileSystemFAT12Class);
    EXPECT_EQ(classes.Get(1), &FileSystemFAT16Class);
    EXPECT_EQ(classes.Get(2), &FileSystemFAT32Class);
    EXPECT_STREQ(FileSystemFAT16Class.Name, "TFileSystemFAT16");
}

// The registry mounts each volume with its own type.
TEST(FatRegistration, MountFileSystemPicksTheVolumesType) {
    TFileSystemRegistryScope scope;
    RegisterFATFileSystems();
    test::TempDir dir;
    struct Case {
        int Bits;
        const char* ClassName;
    };
    for (Case c :
         {Case{12, "TFileSystemFAT12"}, Case{16, "TFileSystemFAT16"}, Case{32, "TFileSystemFAT32"}}) {
        SCOPED_TRACE(c.ClassName);
        test::FatImage image(dir.File("vol.img"), test::VolumeOptions(c.Bits));
        auto disk = test::OpenImage(image.Path());
        disk->MountFileSystem();
        ASSERT_NE(disk->fFileSystem, nullptr);
        EXPECT_STREQ(disk->fFileSystem->ClassName(), c.ClassName);
        auto* fs = dynamic_cast<TFileSystemFATx*>(disk->fFileSystem);
        ASSERT_NE(fs, nullptr);
        EXPECT_GT(fs->ClusterCount, 2u);
        EXPECT_EQ(fs->fFATCount, 2);
    }
    // A volume no type accepts stays without a file system.
    std::string blank = dir.File("blank.img");
    test::WriteFileBytes(blank, std::string(1 << 20, '\0'));
    auto disk = test::OpenImage(blank);
    disk->MountFileSystem();
    EXPECT_EQ(disk->fFileSystem, nullptr);
}

} // namespace
} // namespace qrt
