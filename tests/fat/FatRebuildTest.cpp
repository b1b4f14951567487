#include "FatTestSupport.h"
#include "TestUtil.h"

#include "disk/ClusterBitmap.h"
#include "fat/BootRecordRebuild.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qrt {
namespace {

using test::FatImage;

// Every catalogued chain by its path, with its clusters and parent cluster.
std::map<std::string, std::string> Catalogue(TxFileSystem* aFs) {
    aFs->_relinkChains();
    std::map<std::string, std::string> out;
    for (TPointerList* list : {aFs->fDirectoryChains, aFs->fFileChains}) {
        for (int32_t i = 0; i < list->Count; ++i) {
            auto chain = static_cast<PxClusterChain>(list->Get(i));
            if (!chain) continue;
            std::string text;
            for (int32_t c = 0; c < chain->ItemCount; ++c)
                text += std::to_string(chain->Clusters[c]) + ",";
            out[(list == aFs->fDirectoryChains ? "D " : "F ") + ChainPath(chain)] =
                text + " parent " + std::to_string(chain->ParentClusterNo);
        }
    }
    return out;
}

void WriteTree(FatImage& aImage) {
    aImage.Mkdir("Docs");
    aImage.Mkdir("Docs/Letters 2024");
    aImage.Mkdir("Music");
    aImage.WriteFile("Docs/report.txt", test::PatternBytes(9000, 1));
    aImage.WriteFile("Docs/Letters 2024/to \xc3\xa9milie.doc", test::PatternBytes(20000, 2));
    aImage.WriteFile("Music/song one.mp3", test::PatternBytes(150000, 3));
    aImage.WriteFile("top.bin", test::PatternBytes(4000, 4));
    aImage.WriteFile("gone.txt", test::PatternBytes(3000, 5));
    aImage.Delete("gone.txt");
}

struct RebuildCase {
    int FatBits;
    uint32_t SizeKiB;
    const char* Extra;
    uint32_t ZeroedSectors; // from sector 0, in the volume's sectors
};

// The boot sector, FAT32's FSInfo and backup boot sector, and on FAT16 the start of the first FAT.
const RebuildCase kCases[] = {
    {32, 40000, "-s 1", 12}, {32, 80000, "-s 2 -f 3", 12},    {32, 300000, "-s 8", 12},
    {16, 16384, "", 12},     {16, 65536, "-s 8 -r 1024", 12}, {16, 65536, "-S 4096", 12},
    {12, 1440, "", 1},       {12, 16000, "-s 8 -f 1", 4},
};

TFileSystemFATx* Attach(TxDiskAccessor* aDisk, int aFatBits) {
    return test::AttachFileSystem(aDisk, aFatBits);
}

TEST(FatRebuild, WipedBootSectorsScanToTheSameCatalogue) {
    test::TempDir tmp;
    for (const RebuildCase& c : kCases) {
        SCOPED_TRACE("FAT" + std::to_string(c.FatBits) + " " + std::to_string(c.SizeKiB) + " KiB " + c.Extra);
        FatImage image(tmp.File("v.img"), test::VolumeOptions(c.FatBits, c.SizeKiB, 2, c.Extra));
        WriteTree(image);
        std::map<std::string, std::string> before;
        {
            auto disk = test::OpenImage(image.Path());
            TFileSystemFATx* fs = Attach(disk.get(), c.FatBits);
            ASSERT_TRUE(fs->Mount());
            fs->Scan();
            before = Catalogue(fs);
        }
        ASSERT_GE(before.size(), 7u);
        image.ZeroSectors(0, c.ZeroedSectors);

        // No class mounts the volume any more; the rebuild does.
        auto disk = test::OpenImage(image.Path());
        EXPECT_FALSE(TFileSystemFAT12::CanMount(disk.get()) || TFileSystemFAT16::CanMount(disk.get()) ||
                     TFileSystemFAT32::CanMount(disk.get()));
        TFileSystemFATx* fs = TFileSystemFATx::MountRebuilt(disk.get());
        ASSERT_NE(fs, nullptr);
        EXPECT_EQ(disk->fFileSystem, fs);
        EXPECT_EQ(fs->GetFATBits(), c.FatBits);
        fs->Scan();
        EXPECT_EQ(Catalogue(fs), before);

        // A file system of the right type whose boot record search fails rebuilds it within its scan.
        auto other = test::OpenImage(image.Path());
        TFileSystemFATx* plain = Attach(other.get(), c.FatBits);
        plain->Scan();
        EXPECT_EQ(Catalogue(plain), before);
        // A second scan uses the rebuilt record again.
        plain->Scan();
        EXPECT_EQ(Catalogue(plain), before);
    }
}

TEST(FatRebuild, FoundGeometry) {
    test::TempDir tmp;
    // mkfs.fat lays out the same volume the same way: its report for a twin gives the expected values.
    test::MkfsReport r = test::MakeFatVolume(tmp.File("twin.img"), "-F 16 -f 2", 16384);
    std::string path = tmp.File("v.img");
    FatImage image(path, test::VolumeOptions(16, 16384));
    WriteTree(image);
    image.ZeroSectors(0, 12);
    auto disk = test::OpenImage(path);
    TxBootRecordRebuild rebuild(disk.get());
    ASSERT_TRUE(rebuild.Run());
    EXPECT_EQ(rebuild.FatBits, 16);
    EXPECT_EQ(rebuild.SectorsPerCluster, r.SectorsPerCluster);
    EXPECT_EQ(rebuild.SectorsPerFAT, r.FatSectors);
    EXPECT_EQ(rebuild.RootDirSectors, r.RootSectors);
    // The first copy lost its start with the reserved sectors: the second one is the volume's copy.
    EXPECT_EQ(rebuild.FATCount, 1u);
    EXPECT_EQ(rebuild.ReservedSectors, r.ReservedSectors + r.FatSectors);
    EXPECT_EQ(rebuild.DataSector, r.ReservedSectors + 2 * r.FatSectors + r.RootSectors);
    EXPECT_EQ(rebuild.TotalSectors, r.TotalSectors);
    EXPECT_EQ(rebuild.Media, 0xF8);
    EXPECT_GE(rebuild.AgreeingDirectories, 2);
    EXPECT_EQ(rebuild.BootSector()[510], 0x55);
    EXPECT_EQ(rebuild.BootSector()[511], 0xAA);
}

TEST(FatRebuild, PartitionOfADisk) {
    test::TempDir tmp;
    FatImage image =
        FatImage::Partitioned(tmp.File("p.img"), test::VolumeOptions(32, 40000, 2, "-s 1"), 2048);
    WriteTree(image);
    image.ZeroSectors(0, 12);
    auto disk = test::OpenImage(image.Path());
    disk->fParams.PartitionNo = 0;
    disk->fParams.FirstSector = 2048;
    disk->fParams.LastSector = 2048 + 80000 - 1;
    TFileSystemFATx* fs = TFileSystemFATx::MountRebuilt(disk.get());
    ASSERT_NE(fs, nullptr);
    EXPECT_EQ(fs->GetFATBits(), 32);
    fs->Scan();
    auto catalogue = Catalogue(fs);
    EXPECT_EQ(catalogue.count("F \\Music\\song one.mp3"), 1u);
    EXPECT_EQ(catalogue.count("D \\Docs\\Letters 2024"), 1u);
}

TEST(FatRebuild, NothingLeftToRebuildFrom) {
    test::TempDir tmp;
    FatImage image(tmp.File("v.img"), test::VolumeOptions(16, 16384));
    WriteTree(image);
    auto disk = test::OpenImage(image.Path());
    TFileSystemFATx* fs = Attach(disk.get(), 16);
    ASSERT_TRUE(fs->Mount());
    fs->Scan();
    int32_t files = fs->fFileChains->Count, dirs = fs->fDirectoryChains->Count;
    int32_t marked = fs->fClusterBitmap->fUsedCount;
    ASSERT_GT(files, 0);

    // Boot records and directories gone: the scan fails before it touches the catalogue.
    image.ZeroSectors(0, 16384 * 2);
    fs->ReleaseBootRecord();
    try {
        fs->Scan();
        FAIL() << "the scan went through";
    } catch (const EioFatalError& e) {
        EXPECT_EQ(e.Message, "No valid boot sector could be found or recreated!");
    }
    EXPECT_EQ(fs->fFileChains->Count, files);
    EXPECT_EQ(fs->fDirectoryChains->Count, dirs);
    EXPECT_EQ(fs->fClusterBitmap->fUsedCount, marked);

    auto other = test::OpenImage(image.Path());
    EXPECT_EQ(TFileSystemFATx::MountRebuilt(other.get()), nullptr);
    EXPECT_EQ(other->fFileSystem, nullptr);
}

TEST(FatRebuild, OneDirectoryIsNotEnough) {
    test::TempDir tmp;
    FatImage image(tmp.File("v.img"), test::VolumeOptions(16, 16384));
    image.Mkdir("Only");
    image.WriteFile("Only/a.txt", "a");
    image.ZeroSectors(0, 12);
    auto disk = test::OpenImage(image.Path());
    EXPECT_EQ(TFileSystemFATx::MountRebuilt(disk.get()), nullptr);
    TFileSystemFATx* fs = Attach(disk.get(), 16);
    try {
        fs->Scan();
        FAIL() << "the scan went through";
    } catch (const EioFatalError& e) {
        EXPECT_EQ(e.Message, "No valid boot sector could be found or recreated!");
    }
}

} // namespace
} // namespace qrt
