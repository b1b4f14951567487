// FAT volumes on damaged media and volumes whose structures contradict each other: the cases the
// fuzz targets found, and unreadable sectors in allocation tables and directories.

#include "FatTestSupport.h"
#include "TestUtil.h"

#include "core/Hooks.h"
#include "disk/DirectoryAccessor.h"
#include "fat/FATxStream.h"
#include "platform/DeviceIO.h"
#include "support/ListUtils.h"

#include <span>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;

// Keeps what the code under test reports.
struct Reports {
    Reports() {
        fPrevious =
            SetExceptionHandler([this](const std::exception& e) { Texts.push_back(DescribeException(e)); });
    }
    ~Reports() { SetExceptionHandler(fPrevious); }
    std::vector<std::string> Texts;

private:
    TExceptionHandler fPrevious;
};

// A FAT16 volume with two directories, read through a device table entry with chosen bad sectors.
class DamagedVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fImage = std::make_unique<FatImage>(fDir.File("card.img"), test::VolumeOptions(16, 16384, 2, "-s 4"));
        fImage->Mkdir("DOCS");
        fImage->Mkdir("OTHER");
        fImage->WriteFile("DOCS/A.TXT", "in docs");
        fImage->WriteFile("OTHER/B.TXT", "in other");
        fImage->WriteFile("ROOT.TXT", test::PatternBytes(9000, 1));
        DeviceTableSet(kName, fImage->Path());
    }
    void TearDown() override {
        fDisk.reset();
        DeviceClearBadRanges();
        DeviceTableClear();
    }
    // Mounts the volume with the given 512-byte sectors unreadable.
    TFileSystemFATx* Mount(const std::vector<uint32_t>& aBadSectors) {
        std::vector<TDeviceBadRange> ranges;
        for (uint32_t s : aBadSectors)
            ranges.push_back({uint64_t{s} * 512, 512});
        DeviceSetBadRanges(kName, ranges);
        fDisk.reset();
        fDisk = test::OpenImage(kName);
        TFileSystemFATx* fs = test::AttachFileSystem(fDisk.get(), 16);
        EXPECT_TRUE(fs->Mount());
        return fs;
    }
    // The names of the catalogued chains of a list.
    static std::vector<std::string> Names(TPointerList* aList) {
        std::vector<std::string> names;
        for (int32_t i = 0; i < aList->Count; ++i)
            if (auto* chain = static_cast<PxClusterChain>(aList->Get(i))) names.push_back(chain->Name);
        return names;
    }

    static constexpr const char* kName = "\\\\.\\K:";
    test::TempDir fDir;
    std::unique_ptr<FatImage> fImage;
    std::unique_ptr<TxDiskAccessor> fDisk;
};

// Zeros where a table could not be read would read as free clusters: a copy read whole wins.
TEST_F(DamagedVolumeTest, AnUnreadableSectorOfATableCopyMakesTheOtherCopyCurrent) {
    TFileSystemFATx* fs = Mount({});
    const uint32_t firstCopy = fs->fReservedSectors, secondCopy = firstCopy + fs->fSectorsPerFAT;

    // The second sector of copy 0 holds only free entries: its being unreadable is the only fault.
    fs = Mount({firstCopy + 1});
    ASSERT_TRUE(fs->ChooseFATCopy());
    EXPECT_EQ(fs->GetCurrentFATIndex(), 1);
    int32_t problem = 0;
    uint32_t problems = 0;
    EXPECT_EQ(fs->CheckFATCopy(0, problem, problems), crFailed);
    EXPECT_EQ(problem, fpCopyUnreadable);
    EXPECT_EQ(problems, 1u);

    // Both copies damaged: the one with fewer unreadable sectors.
    fs = Mount({firstCopy, firstCopy + 1, secondCopy + 2});
    ASSERT_TRUE(fs->ChooseFATCopy());
    EXPECT_EQ(fs->GetCurrentFATIndex(), 1);

    // Nothing of either copy can be read: there is no table to choose.
    std::vector<uint32_t> all;
    for (uint32_t s = firstCopy; s < secondCopy + fs->fSectorsPerFAT; ++s)
        all.push_back(s);
    fs = Mount(all);
    EXPECT_FALSE(fs->ChooseFATCopy());
}

// A directory the device cannot read is skipped whole, and only it: the scan catalogues the rest.
TEST_F(DamagedVolumeTest, AnUnreadableDirectoryIsSkippedAlone) {
    TFileSystemFATx* fs = Mount({});
    const uint32_t docs = fs->ClusterToSector(fImage->FirstCluster("DOCS"));

    Reports reports;
    fs = Mount({docs + 1});
    fs->Scan();
    std::vector<std::string> directories = Names(fs->fDirectoryChains), files = Names(fs->fFileChains);
    EXPECT_NE(std::find(directories.begin(), directories.end(), "DOCS"), directories.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "B.TXT"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "ROOT.TXT"), files.end());
    EXPECT_EQ(std::find(files.begin(), files.end(), "A.TXT"), files.end());
    ASSERT_EQ(reports.Texts.size(), 1u);
    EXPECT_EQ(reports.Texts[0],
              "EReadError: Cannot read the directory \"\\DOCS\": 512 of its 2048 bytes are unreadable");

    // Searching it directly raises the same error.
    std::unique_ptr<TxDirectoryAccessor> dir = fs->GetRootDirectory()->CreateSibling();
    dir->Assign(fs->GetRootDirectory());
    ASSERT_TRUE(dir->ChangeDirectory("DOCS"));
    TxSearchRec rec;
    EXPECT_THROW(dir->FindFirst("*.*", faAnyFile, sfLive, rec), EReadError);
}

// Found by fuzzing: a boot record that passes every check may claim a volume far larger than the
// device (here 8 FATs of 240 MiB and 63 million clusters on a card of 40 MB). Mounting it read and
// kept every copy whole, gigabytes of memory, and a run would have scanned clusters that do not
// exist. The cluster bound is now held to the device and a copy is read as far as the clusters need.
TEST(OversizedBootRecord, IsHeldToTheDevice) {
    test::TempDir dir;
    FatImage image(dir.File("card.img"), test::VolumeOptions(32, 40000, 2, "-s 1"));
    auto put = [&](uint64_t aAt, uint32_t aValue, int aBytes) {
        std::string bytes;
        for (int i = 0; i < aBytes; ++i)
            bytes += static_cast<char>(aValue >> (8 * i));
        image.WriteBytes(aAt, bytes);
    };
    put(13, 64, 1);         // sectors per cluster
    put(16, 8, 1);          // copies of the table
    put(32, 0xF0000000, 4); // total sectors
    put(36, 0x78000, 4);    // sectors per table
    int32_t problem = -1;
    ASSERT_EQ(
        ValidateFAT32BootRecord(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(image.ReadBytes(0, 512).data()), 512),
            problem),
        crSound);

    auto disk = test::OpenImage(image.Path());
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 32);
    ASSERT_TRUE(fs->Mount());
    // The tables alone would end far beyond the device: no cluster of the data area is on it.
    EXPECT_EQ(fs->ClusterCount, 2u);
    EXPECT_EQ(fs->GetFATCopyBytes(), 512u);
    EXPECT_TRUE(fs->ChooseFATCopy());
    EXPECT_EQ(fs->GetCurrentFATIndex(), 0);
    EXPECT_EQ(fs->GetCurrentFAT()->fSize, 512);
}

// An image cut short: the clusters on it are the volume's, and what lies on them is read.
TEST(OversizedBootRecord, AnImageCutShortKeepsTheClustersItHolds) {
    test::TempDir dir;
    FatImage image(dir.File("card.img"), test::VolumeOptions(16, 16384, 2, "-s 4"));
    image.WriteFile("FIRST.BIN", test::PatternBytes(10000, 1));
    test::MustRun("truncate -s 8M " + test::ShellQuote(image.Path()));

    auto disk = test::OpenImage(image.Path());
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
    ASSERT_TRUE(fs->Mount());
    EXPECT_EQ(fs->ClusterCount, 2 + (16384u - fs->ClusterToSector(2)) / 4);
    // The boot record still tells the whole volume.
    EXPECT_EQ(fs->fTotalSectors, 32768u);
    fs->Scan();
    PxClusterChain chain = fs->FindChain(image.FirstCluster("FIRST.BIN"), 2);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->ItemCount, 5);
}

// Found by fuzzing: a file entry whose first cluster is the first cluster of the directory holding
// it. The scan catalogues a file chain whose parent starts at its own cluster; such a chain fails
// its checks, and the file system freed it only when the checks passed (the sanitizer build reported
// the leak). It is now freed and the failure reported.
TEST(CrossLinkedEntries, AFileAtItsDirectorysClusterIsFreedWithTheVolume) {
    test::TempDir dir;
    FatImage image(dir.File("card.img"), test::VolumeOptions(16));
    image.Mkdir("DIR");
    image.WriteFile("DIR/X.TXT", "x");
    const uint32_t cluster = image.FirstCluster("DIR");
    auto disk = test::OpenImage(image.Path());
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 16);
    ASSERT_TRUE(fs->Mount());
    // Entry 2 of DIR (after "." and "..") is X.TXT: its first cluster becomes DIR's own.
    uint64_t entry = uint64_t{fs->ClusterToSector(cluster)} * 512 + 2 * 32;
    ASSERT_EQ(image.ReadBytes(entry, 11), "X       TXT");
    image.WriteBytes(entry + 26,
                     std::string{static_cast<char>(cluster & 0xFF), static_cast<char>(cluster >> 8)});

    Reports reports;
    fs->Scan();
    disk.reset();
    const std::string expected = "EAssertionFailed: WTF? aChain.ParentClusterNo=" + std::to_string(cluster) +
                                 ", aChain.Clusters[0]=" + std::to_string(cluster) + " (Disk\\DiskIO, line ";
    ASSERT_EQ(reports.Texts.size(), 1u);
    EXPECT_EQ(reports.Texts[0].rfind(expected, 0), 0u) << reports.Texts[0];
}

} // namespace
} // namespace qrt
