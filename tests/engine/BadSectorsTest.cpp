// Recovery from a card with bad sectors: the card is an image behind a device table entry whose
// chosen sectors cannot be read. A file is saved whole with zeros where its sectors failed and is
// listed as damaged; an unreadable directory is skipped alone; the run always goes on.

#include "EngineTestSupport.h"
#include "FatImage.h"
#include "TestUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/FileSystem.h"
#include "fat/FileSystemFAT.h"
#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qrt::test {
namespace {

bool Contains(const std::vector<std::string>& aTexts, const std::string& aPart) {
    return std::any_of(aTexts.begin(), aTexts.end(),
                       [&](const std::string& t) { return t.find(aPart) != std::string::npos; });
}

// A FAT16 card with 2 KiB clusters: a big file, a small file whose last cluster is mostly slack,
// two directories (one with a subdirectory) and a deleted file.
class BadSectorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        FatImage::Options options;
        options.FatBits = 16;
        options.SectorsPerCluster = 4;
        fImage = std::make_unique<FatImage>(fDir.File("card.img"), options);
        fImage->WriteFile("BIG.BIN", fBig);
        fImage->WriteFile("SMALL.BIN", fSmall);
        fImage->Mkdir("DOCS");
        fImage->Mkdir("DOCS/SUB");
        fImage->WriteFile("DOCS/A.TXT", "a letter in docs");
        fImage->WriteFile("DOCS/SUB/C.TXT", "deep in docs");
        fImage->Mkdir("OTHER");
        fImage->WriteFile("OTHER/D.TXT", "in the other folder");
        fImage->WriteFile("GONE.BIN", fGone);
        fGoneCluster = fImage->FirstCluster("GONE.BIN");
        fImage->Delete("GONE.BIN");

        EngineRun probe(fImage->Path());
        auto* fs = dynamic_cast<TFileSystemFATx*>(probe.Volume()->fFileSystem);
        ASSERT_NE(fs, nullptr);
        fClusterZeroSector = fs->fClusterZeroSector;
        fReservedSectors = fs->fReservedSectors;
        DeviceTableSet(kName, fImage->Path());
    }
    void TearDown() override {
        DeviceClearBadRanges();
        DeviceTableClear();
    }

    // Sector n of cluster c.
    uint32_t Sector(uint32_t aCluster, uint32_t aN = 0) { return aCluster * 4 + fClusterZeroSector + aN; }
    uint32_t ClusterOf(const std::string& aPath) { return fImage->FirstCluster(aPath); }

    // A run over the card with the given sectors unreadable, into fOut.
    std::unique_ptr<EngineRun> Recover(const std::vector<uint32_t>& aBadSectors,
                                       const std::string& aOut = "") {
        std::vector<TDeviceBadRange> ranges;
        for (uint32_t s : aBadSectors)
            ranges.push_back({uint64_t{s} * 512, 512});
        DeviceSetBadRanges(kName, ranges);
        auto run = std::make_unique<EngineRun>(kName);
        EXPECT_NE(run->Volume(), nullptr);
        run->Recover(aOut.empty() ? fOut : aOut);
        EXPECT_FALSE(run->Engine.IsRecovering());
        return run;
    }

    static std::string WithZeros(std::string aBytes, size_t aAt, size_t aCount) {
        return aBytes.replace(aAt, aCount, aCount, '\0');
    }

    static constexpr const char* kName = "\\\\.\\K:";
    TempDir fDir;
    std::string fOut = fDir.File("out");
    std::unique_ptr<FatImage> fImage;
    const std::string fBig = PatternBytes(20000, 1);
    const std::string fSmall = PatternBytes(4100, 2); // 3 clusters; the third holds 4 bytes
    const std::string fGone = PatternBytes(5000, 3);
    uint32_t fGoneCluster = 0;
    uint32_t fReservedSectors = 0;
    uint32_t fClusterZeroSector = 0;
};

// A file whose sector cannot be read is saved whole, with zeros in that sector, listed as damaged
// in the full log with the bytes that are zeros, and reported; every other file is saved as well.
TEST_F(BadSectorsTest, AFileIsSavedWithZerosWhereItsSectorFailed) {
    // The second sector of BIG.BIN's third cluster: file bytes 4608 to 5119.
    auto run = Recover({Sector(ClusterOf("BIG.BIN") + 2, 1)});
    auto tree = ReadTree(fOut);
    EXPECT_TRUE(SameBytes(tree["BIG.BIN"], WithZeros(fBig, 4608, 512)));
    EXPECT_TRUE(SameBytes(tree["SMALL.BIN"], fSmall));
    EXPECT_EQ(tree["DOCS/SUB/C.TXT"], "deep in docs");
    EXPECT_EQ(tree["OTHER/D.TXT"], "in the other folder");
    EXPECT_EQ(run->Engine.fDamagedFileCount, 1);

    std::vector<std::string> log = LogLines(fOut + "/SavedFilesLog-Full.txt");
    auto damaged = std::find(log.begin(), log.end(), "Damaged: \\BIG.BIN");
    ASSERT_NE(damaged, log.end());
    ASSERT_LT(damaged + 2, log.end());
    EXPECT_EQ(damaged[1], "  512 of 20000 bytes could not be read and were saved as zeros: bytes 4608-5119");
    EXPECT_EQ(damaged[2], ""); // a record of its own, ended by an empty line
    EXPECT_TRUE(Contains(run->Problems, "EReadError: Damaged file \\BIG.BIN: 512 bytes could not be read"));
    // The short log lists the file once, as any other.
    std::vector<std::string> shortLog = LogLines(fOut + "/SavedFilesLog.txt");
    EXPECT_EQ(std::count(shortLog.begin(), shortLog.end(), "\\BIG.BIN"), 1);
}

// Ranges of a file and the edges of the rule: several bad runs, a wholly unreadable file, and
// unreadable slack after the end of a file (which damages nothing).
TEST_F(BadSectorsTest, DamagedRangesAreListedAndSlackDoesNotCount) {
    const uint32_t big = ClusterOf("BIG.BIN"), small = ClusterOf("SMALL.BIN");
    std::vector<uint32_t> bad{Sector(big, 0), Sector(big, 1), Sector(big + 9, 3)};
    for (uint32_t n = 1; n < 4; ++n)
        bad.push_back(Sector(small + 2, n)); // SMALL.BIN's slack only
    auto run = Recover(bad);
    auto tree = ReadTree(fOut);
    // The last cluster of BIG.BIN holds bytes 18432 to 20479; its fourth sector starts at 19968.
    EXPECT_TRUE(SameBytes(tree["BIG.BIN"], WithZeros(WithZeros(fBig, 0, 1024), 19968, 32)));
    EXPECT_TRUE(SameBytes(tree["SMALL.BIN"], fSmall));
    EXPECT_EQ(run->Engine.fDamagedFileCount, 1);
    std::vector<std::string> log = LogLines(fOut + "/SavedFilesLog-Full.txt");
    auto damaged = std::find(log.begin(), log.end(), "Damaged: \\BIG.BIN");
    ASSERT_NE(damaged, log.end());
    EXPECT_EQ(damaged[1],
              "  1056 of 20000 bytes could not be read and were saved as zeros: bytes 0-1023, 19968-19999");
    EXPECT_EQ(std::find(log.begin(), log.end(), "Damaged: \\SMALL.BIN"), log.end());
}

// A deleted file recovered from free clusters is saved the same way.
TEST_F(BadSectorsTest, ADeletedFileWithABadSectorIsSavedDamaged) {
    auto run = Recover({Sector(fGoneCluster + 1, 2)});
    auto tree = ReadTree(fOut);
    // A deleted short name without a long name has lost its first letter.
    EXPECT_TRUE(SameBytes(tree["~DeletedFiles/@ONE.BIN"], WithZeros(fGone, 2048 + 1024, 512)));
    EXPECT_EQ(run->Engine.fDamagedFileCount, 1);
    EXPECT_TRUE(Contains(LogLines(fOut + "/SavedFilesLog-Full.txt"), "Damaged: \\@ONE.BIN"));
}

// A directory that cannot be read is skipped, and only it: its siblings are saved, and what it held
// is still found through the allocation table and as a lost directory.
TEST_F(BadSectorsTest, AnUnreadableDirectoryIsSkippedAndTheRunGoesOn) {
    auto run = Recover({Sector(ClusterOf("DOCS"), 1)});
    auto tree = ReadTree(fOut);
    EXPECT_TRUE(SameBytes(tree["BIG.BIN"], fBig));
    EXPECT_EQ(tree["OTHER/D.TXT"], "in the other folder");
    EXPECT_EQ(tree.count("DOCS/A.TXT"), 0u);
    EXPECT_TRUE(Contains(run->Problems, "EReadError: Cannot read the directory \"\\DOCS\""));
    // DOCS/SUB starts with "." and "..": a lost directory; A.TXT's chain: an orphan, named by number.
    std::vector<std::string> lost;
    for (const auto& [path, bytes] : tree)
        if (path.rfind("~LostFiles/", 0) == 0) lost.push_back(bytes);
    EXPECT_TRUE(Contains(lost, "deep in docs"));
    EXPECT_TRUE(Contains(lost, "a letter in docs"));
    EXPECT_EQ(run->Engine.fDamagedFileCount, 0);
}

// A root directory that cannot be read leaves a run that recovers the rest through the lost
// directories; a damaged allocation-table copy is replaced by the other copy without a loss.
TEST_F(BadSectorsTest, AnUnreadableRootOrTableCopyStillRecovers) {
    // The fixed root area of FAT16 lies between the tables and cluster 2.
    std::vector<uint32_t> root;
    for (uint32_t s = Sector(2) - 32; s < Sector(2); ++s)
        root.push_back(s);
    auto run = Recover(root);
    auto tree = ReadTree(fOut);
    std::vector<std::string> all;
    for (const auto& [path, bytes] : tree)
        all.push_back(bytes);
    EXPECT_TRUE(Contains(all, "deep in docs"));
    EXPECT_TRUE(Contains(all, "in the other folder"));
    EXPECT_TRUE(Contains(run->Problems, "Cannot read the directory \"\\\""));

    const std::string out = fDir.File("second");
    run = Recover({fReservedSectors}, out);
    tree = ReadTree(out);
    EXPECT_TRUE(SameBytes(tree["BIG.BIN"], fBig));
    EXPECT_EQ(tree["DOCS/SUB/C.TXT"], "deep in docs");
    EXPECT_EQ(run->Engine.fDamagedFileCount, 0);
}

} // namespace
} // namespace qrt::test
