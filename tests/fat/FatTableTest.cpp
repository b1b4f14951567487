#include "FatTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskStream.h"
#include "fat/FATxStream.h"
#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;
using test::MountedVolume;
using test::VolumeOptions;

// One untouched volume of each type, shared by the tests that only read.
class FatEntries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sDir = new test::TempDir;
        for (int bits : {12, 16, 32})
            sVolumes[bits / 16] =
                new MountedVolume(sDir->File("fat" + std::to_string(bits) + ".img"), VolumeOptions(bits));
    }
    static void TearDownTestSuite() {
        for (MountedVolume*& v : sVolumes) {
            delete v;
            v = nullptr;
        }
        delete sDir;
        sDir = nullptr;
    }
    // 12 -> [0], 16 -> [1], 32 -> [2]
    static TFileSystemFATx* Fs(int aBits) { return sVolumes[aBits / 16]->Fs(); }
    static std::string Table(int aBits) { return std::string(Fs(aBits)->GetFATCopyBytes(), '\0'); }
    static const uint8_t* Bytes(const std::string& aTable) {
        return reinterpret_cast<const uint8_t*>(aTable.data());
    }

    static test::TempDir* sDir;
    static MountedVolume* sVolumes[3];
};

test::TempDir* FatEntries::sDir = nullptr;
MountedVolume* FatEntries::sVolumes[3] = {};

TEST_F(FatEntries, Fat12PacksTwoEntriesIntoThreeBytes) {
    std::string table = Table(12);
    table[3] = 0x03;
    table[4] = 0x40;
    table[5] = 0x00;
    EXPECT_EQ(Fs(12)->ReadFATEntry(Bytes(table), 2), 0x003u);
    EXPECT_EQ(Fs(12)->ReadFATEntry(Bytes(table), 3), 0x004u);
}

TEST_F(FatEntries, ClassifiedByTheThresholdsOfTheirWidth) {
    struct Case {
        int Bits;
        uint32_t Value;
        uint8_t State;
    };
    const Case cases[] = {
        {12, 0, csFree},
        {12, 1, csInUse},
        {12, 0xFF0, csInUse},
        {12, 0xFF1, csBad},
        {12, 0xFF7, csBad},
        {12, 0xFF8, csEndOfChain},
        {12, 0xFFF, csEndOfChain},
        {16, 0, csFree},
        {16, 0x0FF8, csInUse},
        {16, 0xFFF0, csInUse},
        {16, 0xFFF1, csBad},
        {16, 0xFFF7, csBad},
        {16, 0xFFF8, csEndOfChain},
        {16, 0xFFFF, csEndOfChain},
        {32, 0, csFree},
        {32, 0xFFF8, csInUse},
        {32, 0x0FFFFFF0, csInUse},
        {32, 0x0FFFFFF1, csBad},
        {32, 0x0FFFFFF7, csBad},
        {32, 0x0FFFFFF8, csEndOfChain},
        // The upper four bits of a FAT32 entry are not masked off.
        {32, 0x10000005, csEndOfChain},
        {32, 0xF0000000, csEndOfChain},
        {32, 0x1FFFFFF7, csEndOfChain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("FAT" + std::to_string(c.Bits) + " value " + std::to_string(c.Value));
        TFileSystemFATx* fs = Fs(c.Bits);
        std::string table = Table(c.Bits);
        // An even and an odd cluster, so that both halves of a FAT12 pair are covered.
        test::PutFATEntry(table, c.Bits, 4, c.Value);
        test::PutFATEntry(table, c.Bits, 5, c.Value);
        for (uint32_t cluster : {4u, 5u}) {
            uint8_t state = 0;
            EXPECT_EQ(fs->ReadFATEntryState(Bytes(table), cluster, state), c.Value);
            EXPECT_EQ(state, c.State);
            EXPECT_EQ(fs->ReadFATEntry(Bytes(table), cluster), c.Value);
        }
        uint8_t state = 0;
        EXPECT_EQ(fs->ReadFATEntryState(Bytes(table), 3, state), 0u);
        EXPECT_EQ(fs->ReadFATEntryState(Bytes(table), 6, state), 0u);
        EXPECT_EQ(state, csFree);
    }
}

TEST_F(FatEntries, ReadersRejectMissingDataAndClustersOutOfRange) {
    for (int bits : {12, 16, 32}) {
        SCOPED_TRACE("FAT" + std::to_string(bits));
        TFileSystemFATx* fs = Fs(bits);
        std::string table = Table(bits);
        uint8_t state = 0;
        EXPECT_ASSERTION(fs->ReadFATEntry(nullptr, 2), "WTF?");
        EXPECT_ASSERTION(fs->ReadFATEntryState(nullptr, 2, state), "WTF?");
        EXPECT_ASSERTION(fs->ReadFATEntryState(Bytes(table), 1, state), "WTF?");
        if (bits != 32) {
            EXPECT_ASSERTION(fs->ReadFATEntry(Bytes(table), 1), "WTF?");
            EXPECT_ASSERTION(fs->ReadFATEntry(Bytes(table), fs->ClusterCount), "WTF?");
            EXPECT_ASSERTION(fs->ReadFATEntryState(Bytes(table), fs->ClusterCount, state), "WTF?");
        } else {
            // The FAT32 reader also reads the reserved entries: entry 0 holds the media entry.
            EXPECT_EQ(fs->ReadFATEntry(fs->GetCurrentFAT()->fData.get(), 0), fs->GetMediaEntry());
            EXPECT_ASSERTION(fs->ReadFATEntry(Bytes(table), fs->ClusterCount), "WTF?");
            EXPECT_ASSERTION(fs->ReadFATEntryState(Bytes(table), fs->ClusterCount, state),
                             "WTF? aClusterNo=" + std::to_string(fs->ClusterCount) +
                                 ", ClusterCount=" + std::to_string(fs->ClusterCount));
        }
        // The last data cluster is read.
        fs->ReadFATEntryState(Bytes(table), fs->ClusterCount - 1, state);
        EXPECT_EQ(state, csFree);
    }
}

TEST_F(FatEntries, MediaEntryPerType) {
    // mkfs.fat gives a 1.44 MB floppy the media byte F0 and other volumes F8.
    EXPECT_EQ(Fs(12)->GetMediaEntry(), 0xFF0u);
    EXPECT_EQ(Fs(16)->GetMediaEntry(), 0xFFF8u);
    EXPECT_EQ(Fs(32)->GetMediaEntry(), 0x0FFFFFF8u);
    EXPECT_EQ(Fs(12)->GetFATBits(), 12);
    EXPECT_EQ(Fs(16)->GetFATBits(), 16);
    EXPECT_EQ(Fs(32)->GetFATBits(), 32);
}

TEST_F(FatEntries, CopiesAreStreamsOverTheirSectorRuns) {
    for (int bits : {12, 16, 32}) {
        SCOPED_TRACE("FAT" + std::to_string(bits));
        MountedVolume& volume = *sVolumes[bits / 16];
        TFileSystemFATx* fs = volume.Fs();
        EXPECT_ASSERTION(fs->GetFATCopy(fs->fFATCount), "WTF?");
        EXPECT_ASSERTION(fs->GetFATCopy(-1), "WTF?");
        TxFATxStream* copy = fs->LoadFATCopy(1);
        EXPECT_EQ(fs->GetFATCopy(1), copy);
        ASSERT_EQ(copy->fAreas.Length(), 1);
        EXPECT_EQ(copy->fAreas[0].Address.Kind, akSector);
        EXPECT_EQ(copy->fAreas[0].Address.Number, int32_t(fs->fReservedSectors + fs->fSectorsPerFAT));
        EXPECT_EQ(copy->fSize, int64_t(fs->fSectorsPerFAT) * volume.SectorSize());
        std::string bytes(reinterpret_cast<const char*>(copy->fData.get()), static_cast<size_t>(copy->fSize));
        EXPECT_EQ(bytes, volume.ReadFAT(1));
    }
}

TEST(FatActiveCopy, Fat32ExtFlagsNameTheActiveCopy) {
    test::TempDir dir;
    MountedVolume volume(dir.File("fat32.img"), VolumeOptions(32));
    // Copy 1 ends a chain at cluster 10 where copy 0 has a free entry.
    volume.SetEntry(10, 0x0FFFFFFF, {1});
    struct Case {
        uint16_t ExtFlags;
        int32_t Active;
    };
    // Bit 7 set turns mirroring off and names the copy in bits 0-3; a copy the volume does not
    // have falls back to copy 0.
    for (Case c : {Case{0x0000, 0}, Case{0x0081, 1}, Case{0x0001, 0}, Case{0x0080, 0}, Case{0x0085, 0}}) {
        SCOPED_TRACE(c.ExtFlags);
        volume.Image().WriteBytes(40, std::string{char(c.ExtFlags & 0xFF), char(c.ExtFlags >> 8)});
        volume.Remount();
        TFileSystemFATx* fs = volume.Fs();
        EXPECT_EQ(fs->GetActiveFATIndex(), c.Active);
        EXPECT_EQ(fs->GetCurrentFATIndex(), -1);
        uint8_t state = 0;
        fs->GetClusterState(10, state);
        EXPECT_EQ(state, c.Active == 1 ? csEndOfChain : csFree);
        EXPECT_EQ(fs->GetCurrentFATIndex(), c.Active);
        EXPECT_EQ(fs->GetCurrentFAT(), fs->GetFATCopy(c.Active));
    }
}

// A copy named current without its stream (as a rebuilt geometry leaves it) is loaded on first use.
TEST(FatActiveCopy, CurrentIndexWithoutStreamIsLoadedOnUse) {
    test::TempDir dir;
    MountedVolume volume(dir.File("fat16.img"), VolumeOptions(16));
    volume.SetEntry(10, 0xFFFF, {1});
    volume.Remount();
    TFileSystemFATx* fs = volume.Fs();
    fs->fCurrentFATIndex = 1;
    EXPECT_EQ(fs->GetNextCluster(10), 0xFFFFu);
    EXPECT_EQ(fs->GetCurrentFAT(), fs->GetFATCopy(1));
    fs->SelectFATCopy(0);
    EXPECT_EQ(fs->GetNextCluster(10), 0u);
    EXPECT_EQ(fs->GetCurrentFATIndex(), 0);
}

// Entry edits of a copy: a cluster and its value. kNotMedia in entry 0 spoils the media entry,
// kBound links to ClusterCount.
constexpr uint32_t kNotMedia = 0xFFFFFFF0;
constexpr uint32_t kBound = 0xFFFFFFF1;
struct Edit {
    uint32_t Cluster;
    uint32_t Value;
};

void ApplyEdits(MountedVolume& aVolume, int32_t aCopy, const std::vector<Edit>& aEdits) {
    TFileSystemFATx* fs = aVolume.Fs();
    std::string table = aVolume.ReadFAT(aCopy);
    for (const Edit& e : aEdits) {
        uint32_t value = e.Value == kNotMedia ? fs->GetMediaEntry() ^ 1
                         : e.Value == kBound  ? fs->ClusterCount
                                              : e.Value;
        test::PutFATEntry(table, aVolume.FatBits(), e.Cluster, value);
    }
    aVolume.WriteFAT(aCopy, table);
}

TEST(FatCopyCheck, ReportsTheFirstProblemAndCountsThem) {
    struct Case {
        const char* Name;
        std::vector<Edit> Edits; // on copy 0; the end-of-chain value 0xFFFFFFFF is cut to the width
        uint8_t Result;
        int32_t Problem;
        uint32_t Problems;
    };
    const Case cases[] = {
        {"chains, bad and free clusters",
         {{5, 6}, {6, 0xFFFFFFFF}, {7, 0x0FFFFFF7}, {8, 0x0FFFFFF8}},
         crSound,
         0,
         0},
        {"media entry", {{0, kNotMedia}}, crFailed, fpMediaEntry, 1},
        {"links out of range", {{5, kBound}, {6, 1}}, crFailed, fpLinkOutOfRange, 2},
        {"cluster linked twice", {{5, 9}, {6, 9}}, crFailed, fpLinkedTwice, 1},
        {"first problem wins", {{5, 9}, {6, 9}, {7, 1}, {0, kNotMedia}}, crFailed, fpMediaEntry, 3},
    };
    test::TempDir dir;
    for (int bits : {12, 16, 32}) {
        MountedVolume volume(dir.File("fat.img"), VolumeOptions(bits));
        const std::string pristine = volume.ReadFAT(0);
        for (const Case& c : cases) {
            SCOPED_TRACE("FAT" + std::to_string(bits) + ": " + c.Name);
            volume.WriteFAT(0, pristine);
            std::vector<Edit> edits = c.Edits;
            for (Edit& e : edits)
                if (e.Value == 0xFFFFFFFF || e.Value == 0x0FFFFFF7 || e.Value == 0x0FFFFFF8)
                    e.Value &= bits == 12 ? 0xFFF : bits == 16 ? 0xFFFF : 0xFFFFFFFF;
            ApplyEdits(volume, 0, edits);
            volume.Remount();
            int32_t problem = -1;
            uint32_t problems = 0;
            EXPECT_EQ(volume.Fs()->CheckFATCopy(0, problem, problems), c.Result);
            EXPECT_EQ(problem, c.Problem);
            EXPECT_EQ(problems, c.Problems);
            EXPECT_EQ(volume.Fs()->CheckFATCopy(1, problem, problems), crSound);
            EXPECT_FALSE(volume.Fs()->SameFATCopies(0, 1));
        }
    }
}

TEST(FatCopyChoice, SoundActiveCopyFirstThenFirstSoundThenFewestProblems) {
    struct Case {
        int Bits;
        uint16_t ExtFlags;              // FAT32 only
        std::vector<uint32_t> Problems; // per copy
        int32_t Chosen;
    };
    const Case cases[] = {
        {16, 0, {0, 0, 0}, 0}, {16, 0, {2, 1, 0}, 2}, {16, 0, {2, 0, 0}, 1}, {16, 0, {3, 1, 2}, 1},
        {16, 0, {1, 2, 1}, 0}, {12, 0, {2, 1}, 1},    {32, 0x81, {0, 0}, 1}, {32, 0x81, {0, 1}, 0},
        {32, 0x81, {1, 1}, 1}, {32, 0x81, {2, 1}, 1}, {32, 0x01, {0, 0}, 0}, {32, 0x01, {1, 1}, 0},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE("FAT" + std::to_string(c.Bits) + " ExtFlags " + std::to_string(c.ExtFlags) + " case " +
                     std::to_string(&c - cases));
        MountedVolume volume(dir.File("fat.img"), VolumeOptions(c.Bits, 0, int(c.Problems.size())));
        if (c.Bits == 32) volume.Image().WriteBytes(40, std::string{char(c.ExtFlags), '\0'});
        for (size_t copy = 0; copy < c.Problems.size(); ++copy) {
            std::vector<Edit> edits;
            for (uint32_t i = 0; i < c.Problems[copy]; ++i)
                edits.push_back({10 + i, 1});
            ApplyEdits(volume, int32_t(copy), edits);
        }
        volume.Remount();
        TFileSystemFATx* fs = volume.Fs();
        ASSERT_TRUE(fs->ChooseFATCopy());
        EXPECT_EQ(fs->GetCurrentFATIndex(), c.Chosen);
        EXPECT_EQ(fs->GetCurrentFAT(), fs->GetFATCopy(c.Chosen));
    }
}

// The first copy holds garbage: every chain is read from the second.
TEST(FatCopyChoice, GarbageInTheFirstCopyReadsChainsFromTheSecond) {
    test::TempDir dir;
    for (int bits : {12, 16, 32}) {
        SCOPED_TRACE("FAT" + std::to_string(bits));
        MountedVolume volume(dir.File("fat.img"), VolumeOptions(bits));
        uint32_t bpc = volume.Fs()->GetBytesPerCluster();
        const std::string contents = test::PatternBytes(7 * bpc - 100, 7);
        volume.Image().WriteFile("ONE.BIN", test::PatternBytes(3 * bpc, 1));
        volume.Image().WriteFile("DATA.BIN", contents);
        volume.WriteFAT(0, test::PatternBytes(volume.ReadFAT(0).size(), 99));
        volume.Remount();
        TFileSystemFATx* fs = volume.Fs();

        ASSERT_TRUE(fs->ChooseFATCopy());
        EXPECT_EQ(fs->GetCurrentFATIndex(), 1);
        PxClusterChain chain =
            fs->GetClusterChain(volume.RootEntryCluster("DATA    BIN"), int64_t(contents.size()));
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(chain->ItemCount, 7);
        auto stream = TxDiskStream::CreateOnChain(volume.Disk(), int64_t(contents.size()), chain);
        std::string read(contents.size(), '\0');
        EXPECT_EQ(stream->Read(read.data(), int64_t(read.size())), int64_t(contents.size()));
        EXPECT_EQ(read, contents);
    }
}

// A copy that cannot be read is passed over; with none readable there is no choice.
TEST(FatCopyChoice, NoReadableCopyMeansNoChoice) {
    test::TempDir dir;
    FatImage image(dir.File("fat16.img"), VolumeOptions(16));
    const std::string device = "\\\\.\\PhysicalDrive7";
    DeviceTableSet(device, image.Path());
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DevicePath = device;
    disk->fParams.DriveNo = 128 + 7;
    disk->Open(true);
    ASSERT_FALSE(disk->IsClosed());
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
    ASSERT_TRUE(fs->Mount());
    fs->LoadFATCopy(1);
    // The device goes away: copy 0 can no longer be read, copy 1 is in memory.
    DeviceTableRemove(device);
    disk->Close();
    ASSERT_TRUE(fs->ChooseFATCopy());
    EXPECT_EQ(fs->GetCurrentFATIndex(), 1);

    auto disk2 = std::make_unique<TxDiskAccessor>();
    DeviceTableSet(device, image.Path());
    disk2->fParams.DevicePath = device;
    disk2->fParams.DriveNo = 128 + 7;
    disk2->Open(true);
    TFileSystemFATx* fs2 = test::AttachFileSystem(disk2.get(), 16);
    ASSERT_TRUE(fs2->Mount());
    DeviceTableRemove(device);
    disk2->Close();
    EXPECT_FALSE(fs2->ChooseFATCopy());
    EXPECT_EQ(fs2->GetCurrentFATIndex(), -1);
}

} // namespace
} // namespace qrt
