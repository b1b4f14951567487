#include "FatTestSupport.h"
#include "TestUtil.h"

#include "fat/FATxStream.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qrt {
namespace {

using test::FatImage;
using test::MkfsReport;
using test::VolumeOptions;

struct VolumeCase {
    const char* Args; // for mkfs.fat
    uint32_t SizeKiB;
    int FatBits;
};

// Floppy sizes, FAT16 and FAT32 with several cluster sizes and FAT counts, and 4096-byte sectors.
const VolumeCase kVolumes[] = {
    {"-F 12", 360, 12},
    {"-F 12", 720, 12},
    {"-F 12", 1200, 12},
    {"-F 12", 1440, 12},
    {"-F 12", 2880, 12},
    {"-F 12 -s 8 -f 1", 16000, 12},
    {"-F 16", 16384, 16},
    {"-F 16 -s 8 -f 1", 131072, 16},
    {"-F 16 -s 64 -r 1024", 1048576, 16},
    {"-F 32 -s 1", 40000, 32},
    {"-F 32 -s 2 -f 3", 80000, 32},
    {"-F 32 -s 8 -f 1", 300000, 32},
    {"-F 32 -S 4096", 300000, 32},
    {"-F 16 -S 4096", 65536, 16},
    {"-F 12 -S 2048 -s 2", 8192, 12},
};

bool CanMountAs(int aFatBits, TxDiskAccessor* aDisk) {
    switch (aFatBits) {
    case 12:
        return TFileSystemFAT12::CanMount(aDisk);
    case 16:
        return TFileSystemFAT16::CanMount(aDisk);
    default:
        return TFileSystemFAT32::CanMount(aDisk);
    }
}

TEST(FatVolumes, RecognisedAsTheirTypeWithTheirGeometry) {
    test::TempDir dir;
    for (const VolumeCase& v : kVolumes) {
        SCOPED_TRACE(std::string(v.Args) + " " + std::to_string(v.SizeKiB) + " KiB");
        std::string path = dir.File("vol.img");
        MkfsReport r = test::MakeFatVolume(path, v.Args, v.SizeKiB);
        ASSERT_EQ(r.FatBits, uint32_t(v.FatBits));
        auto disk = test::OpenImage(path);
        ASSERT_EQ(disk->fParams.BytesPerSector, r.SectorSize);

        // Exactly one type accepts the volume.
        for (int bits : {12, 16, 32})
            EXPECT_EQ(CanMountAs(bits, disk.get()), bits == v.FatBits) << "FAT" << bits;

        TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), v.FatBits);
        ASSERT_TRUE(fs->Mount());
        uint32_t rootSectors = v.FatBits == 32 ? 0 : r.RootSectors;
        uint32_t firstData = r.ReservedSectors + r.FatCount * r.FatSectors + rootSectors;
        EXPECT_EQ(fs->GetFATBits(), v.FatBits);
        EXPECT_EQ(fs->fSectorsPerCluster, r.SectorsPerCluster);
        EXPECT_EQ(fs->fReservedSectors, r.ReservedSectors);
        EXPECT_EQ(fs->fFATCount, int32_t(r.FatCount));
        EXPECT_EQ(fs->fSectorsPerFAT, r.FatSectors);
        EXPECT_EQ(fs->fTotalSectors, r.TotalSectors);
        EXPECT_EQ(fs->fDataSectors, r.TotalSectors - firstData);
        EXPECT_EQ(fs->ClusterCount, r.Clusters + 2);
        EXPECT_EQ(fs->fRootDirSectors, v.FatBits == 32 ? -1 : int32_t(r.RootSectors));
        EXPECT_EQ(fs->ClusterToSector(2), firstData);
        if (v.FatBits == 32) {
            EXPECT_EQ(fs->fRootAddress.Kind, akCluster);
            EXPECT_EQ(fs->fRootAddress.Number, 2);
        } else {
            EXPECT_EQ(fs->fRootAddress.Kind, akSector);
            EXPECT_EQ(fs->fRootAddress.Number, int32_t(r.ReservedSectors + r.FatCount * r.FatSectors));
        }

        // Every copy of a fresh table is sound and the same; the active copy becomes current.
        for (int32_t copy = 0; copy < fs->fFATCount; ++copy) {
            int32_t problem = -1;
            uint32_t problems = 99;
            EXPECT_EQ(fs->CheckFATCopy(copy, problem, problems), crSound) << "copy " << copy;
            EXPECT_EQ(problem, 0);
            EXPECT_EQ(problems, 0u);
            EXPECT_TRUE(fs->SameFATCopies(0, copy));
            // A copy is read as far as it holds entries of the volume's clusters.
            uint64_t entryBytes = (uint64_t{r.Clusters + 2} * r.FatBits + 7) / 8 + 1;
            uint64_t sectors =
                std::min<uint64_t>(r.FatSectors, (entryBytes + r.SectorSize - 1) / r.SectorSize);
            EXPECT_EQ(fs->GetFATCopy(copy)->fSize, int64_t(sectors * r.SectorSize));
        }
        EXPECT_TRUE(fs->ChooseFATCopy());
        EXPECT_EQ(fs->GetCurrentFATIndex(), 0);
    }
}

// A FAT32 volume whose boot sector is damaged is found through its backup at sector 6.
TEST(FindBootRecord, Fat32BackupAtSector6) {
    test::TempDir dir;
    test::MountedVolume volume(dir.File("fat32.img"), VolumeOptions(32));
    TFileSystemFATx* sound = volume.Fs();
    volume.Image().ZeroSectors(0, 1);

    auto disk = test::OpenImage(volume.Image().Path());
    for (int bits : {12, 16, 32})
        EXPECT_FALSE(CanMountAs(bits, disk.get())) << "FAT" << bits;
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 32);
    ASSERT_TRUE(fs->FindBootRecord());
    EXPECT_EQ(fs->fBootRecordAddress.Kind, akSector);
    EXPECT_EQ(fs->fBootRecordAddress.Number, 6);
    fs->ComputeGeometry();
    EXPECT_EQ(fs->ClusterCount, sound->ClusterCount);
    EXPECT_EQ(fs->fClusterZeroSector, sound->fClusterZeroSector);
    EXPECT_EQ(fs->fSectorsPerFAT, sound->fSectorsPerFAT);
    EXPECT_EQ(fs->fRootAddress.Number, sound->fRootAddress.Number);
    EXPECT_TRUE(fs->ChooseFATCopy());
    // The search stays where it found the record.
    ASSERT_TRUE(fs->FindBootRecord());
    EXPECT_EQ(fs->fBootRecordAddress.Number, 6);
}

TEST(FindBootRecord, ProbesSectors0Then5Then6) {
    test::TempDir dir;
    // Eight reserved sectors leave room for a copy of the boot sector at sector 5.
    test::MountedVolume volume(dir.File("fat16.img"), VolumeOptions(16, 0, 2, "-R 8"));
    const std::string bootSector = volume.Image().ReadBytes(0, 512);

    {
        auto disk = test::OpenImage(volume.Image().Path());
        TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
        ASSERT_TRUE(fs->FindBootRecord());
        EXPECT_EQ(fs->fBootRecordAddress.Number, 0);
        int32_t problem = -1;
        EXPECT_EQ(fs->CheckBootRecord(problem), crPassedFAT1216);
        EXPECT_EQ(problem, 0);
    }

    volume.Image().WriteBytes(5 * 512, bootSector);
    volume.Image().ZeroSectors(0, 1);
    {
        auto disk = test::OpenImage(volume.Image().Path());
        TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
        ASSERT_TRUE(fs->FindBootRecord());
        EXPECT_EQ(fs->fBootRecordAddress.Number, 5);
        fs->ComputeGeometry();
        EXPECT_EQ(fs->ClusterCount, volume.Fs()->ClusterCount);
    }

    volume.Image().ZeroSectors(5, 1);
    {
        auto disk = test::OpenImage(volume.Image().Path());
        TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
        EXPECT_FALSE(fs->FindBootRecord());
        EXPECT_EQ(fs->fBootRecordAddress.Kind, akSector);
        EXPECT_EQ(fs->fBootRecordAddress.Number, 6);
        int32_t problem = 0;
        EXPECT_EQ(fs->CheckBootRecord(problem), crFailed);
        EXPECT_EQ(problem, fpNoSignature);
    }
}

// A boot record that cannot be read whole is never validated.
TEST(BootRecordRead, ShortReadMeansNotMountable) {
    test::TempDir dir;
    test::MountedVolume volume(dir.File("fat32.img"), VolumeOptions(32));
    // Only the boot sector survives; FAT32 reads two sectors.
    std::string truncated = dir.File("sector0.img");
    test::WriteFileBytes(truncated, volume.Image().ReadBytes(0, 512));

    auto disk = test::OpenImage(truncated);
    EXPECT_FALSE(TFileSystemFAT32::CanMount(disk.get()));
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 32);
    EXPECT_FALSE(fs->IsBootRecordComplete());
    EXPECT_EQ(fs->GetBootRecordSize(), 1024u);
    int32_t problem = 0;
    EXPECT_EQ(fs->CheckBootRecord(problem), crFailed);
    EXPECT_EQ(problem, fpNoSignature);
    EXPECT_ASSERTION(fs->Mount(), "WTF?");
}

TEST(BootRecordRead, CachedUntilReleased) {
    test::TempDir dir;
    test::MountedVolume volume(dir.File("fat16.img"), VolumeOptions(16));
    TFileSystemFATx* fs = volume.Fs();
    const uint8_t* first = fs->GetBootRecord();
    EXPECT_EQ(fs->GetBootRecord(), first);
    EXPECT_EQ(fs->GetBootRecordSize(), 512u);
    volume.Image().ZeroSectors(0, 1);
    int32_t problem = -1;
    EXPECT_EQ(fs->CheckBootRecord(problem), crPassedFAT1216);
    fs->ReleaseBootRecord();
    EXPECT_EQ(fs->CheckBootRecord(problem), crFailed);
    EXPECT_EQ(problem, fpNoSignature);
}

// A record of another type that reached ComputeGeometry fails its consistency checks.
TEST(ComputeGeometry, InconsistentTypeFailsItsAssertions) {
    test::TempDir dir;
    FatImage fat16(dir.File("fat16.img"), VolumeOptions(16));
    FatImage fat12(dir.File("fat12.img"), VolumeOptions(12));
    struct Case {
        const FatImage* Image;
        int Bits;
    };
    for (Case c : {Case{&fat16, 12}, Case{&fat16, 32}, Case{&fat12, 16}}) {
        SCOPED_TRACE(c.Image->Path() + " as FAT" + std::to_string(c.Bits));
        auto disk = test::OpenImage(c.Image->Path());
        EXPECT_ASSERTION(test::AttachFileSystem(disk.get(), c.Bits)->Mount(), "WTF?");
    }
}

} // namespace
} // namespace qrt
