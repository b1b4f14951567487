#include "FatImage.h"
#include "TestDirectory.h"
#include "TestUtil.h"

#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DiskStream.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;

// Collects what the crash reporter receives while it lives.
class ReporterSpy {
public:
    ReporterSpy() {
        fPrevious = SetExceptionHandler(
            [this](const std::exception& e) { Messages.push_back(test::AssertionText(e)); });
    }
    ~ReporterSpy() { SetExceptionHandler(fPrevious); }
    std::vector<std::string> Messages;

private:
    TExceptionHandler fPrevious;
};

std::map<std::string, PxClusterChain> ByName(const TPointerList* aList) {
    std::map<std::string, PxClusterChain> chains;
    for (int32_t i = 0; i < aList->Count; ++i)
        if (auto chain = static_cast<PxClusterChain>(aList->Get(i))) chains[chain->Name] = chain;
    return chains;
}

// The bytes of a directory entry given by its 11-byte short name, in the root area or a cluster.
uint64_t EntryOffset(FatImage& aImage, uint64_t aDirOffset, size_t aDirSize, const std::string& aName11) {
    std::string dir = aImage.ReadBytes(aDirOffset, aDirSize);
    for (size_t at = 0; at + 32 <= dir.size(); at += 32)
        if (dir.compare(at, 11, aName11) == 0) return aDirOffset + at;
    throw std::runtime_error("no entry " + aName11);
}

// ROOT.TXT, EMPTY.TXT (no data), DOCS\A.TXT, DOCS\SUB\B.BIN on FAT16, GONE.TXT deleted.
class LiveTreeScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        FatImage::Options options;
        options.FatBits = 16;
        options.SizeKiB = 8192;
        options.SectorsPerCluster = 2;
        image = std::make_unique<FatImage>(tmp.File("v.img"), options);
        image->WriteFile("ROOT.TXT", test::PatternBytes(100, 1));
        image->WriteFile("GONE.TXT", test::PatternBytes(3000, 2));
        image->WriteFile("EMPTY.TXT", "");
        image->Mkdir("DOCS");
        image->WriteFile("DOCS/A.TXT", test::PatternBytes(3000, 3));
        image->Mkdir("DOCS/SUB");
        image->WriteFile("DOCS/SUB/B.BIN", test::PatternBytes(5000, 4));
        image->Delete("GONE.TXT");
        Open();
    }

    void Open() {
        disk.reset();
        disk = test::OpenImage(image->Path());
        fs = test::TTreeFileSystem::Attach(disk.get());
    }

    uint64_t ClusterOffset(uint32_t aCluster) const { return uint64_t{fs->ClusterToSector(aCluster)} * 512; }
    uint64_t RootOffset() const { return uint64_t{fs->RootDirSector} * 512; }

    test::TempDir tmp;
    std::unique_ptr<FatImage> image;
    std::unique_ptr<TxDiskAccessor> disk;
    test::TTreeFileSystem* fs = nullptr;
};

TEST_F(LiveTreeScanTest, CataloguesTheLiveTree) {
    ReporterSpy reporter;
    fs->Scan();
    EXPECT_TRUE(reporter.Messages.empty());

    auto files = ByName(fs->fFileChains);
    auto dirs = ByName(fs->fDirectoryChains);
    // Empty files, deleted files, "." and ".." are not filed.
    ASSERT_EQ(files.size(), 3u);
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(fs->fDirectoryChains->Get(0), nullptr); // the root has no chain here
    PxClusterChain root = files.at("ROOT.TXT");
    EXPECT_EQ(FirstCluster(root), fs->RootEntry("ROOT.TXT").FirstCluster);
    EXPECT_EQ(root->ItemCount, 1);
    EXPECT_EQ(files.at("A.TXT")->ItemCount, 3); // 3000 bytes in 1024-byte clusters
    EXPECT_EQ(files.at("B.BIN")->ItemCount, 5);

    // Children of a root without chain carry parent cluster 0; deeper ones their directory.
    PxClusterChain docs = dirs.at("DOCS"), sub = dirs.at("SUB");
    EXPECT_EQ(root->ParentClusterNo, 0);
    EXPECT_EQ(root->ParentChain, nullptr);
    EXPECT_EQ(docs->ParentClusterNo, 0);
    EXPECT_EQ(files.at("A.TXT")->ParentChain, docs);
    EXPECT_EQ(files.at("A.TXT")->ParentClusterNo, static_cast<int32_t>(FirstCluster(docs)));
    EXPECT_EQ(sub->ParentChain, docs);
    EXPECT_EQ(files.at("B.BIN")->ParentChain, sub);
    for (auto& [name, chain] : files)
        EXPECT_EQ(chain->Owner, fs->fFileChains) << name;

    fs->_relinkChains();
    EXPECT_EQ(ChainPath(files.at("B.BIN")), "\\DOCS\\SUB\\B.BIN");
    EXPECT_EQ(ChainPath(root), "\\ROOT.TXT");

    // Directory clusters are marked 1, file clusters 2, and nothing else.
    TxClusterBitmap* bitmap = fs->fClusterBitmap;
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->fCount, fs->ClusterCount);
    EXPECT_EQ(bitmap->GetState(FirstCluster(docs)), 1);
    EXPECT_EQ(bitmap->GetState(LastCluster(files.at("B.BIN"))), 2);
    const int32_t used = 1 + 3 + 5 + docs->ItemCount + sub->ItemCount;
    EXPECT_EQ(bitmap->fUsedCount, used);

    // A second scan starts over and comes to the same catalogue.
    fs->Scan();
    EXPECT_EQ(ByName(fs->fFileChains).size(), 3u);
    EXPECT_EQ(ByName(fs->fDirectoryChains).size(), 2u);
    EXPECT_EQ(fs->fClusterBitmap->fUsedCount, used);
}

TEST_F(LiveTreeScanTest, AFirstClusterOfZeroWithDataEndsTheWalk) {
    uint64_t docs = EntryOffset(*image, RootOffset(), 512, "DOCS       ");
    uint32_t docsCluster = static_cast<uint8_t>(image->ReadBytes(docs + 26, 1)[0]) |
                           (static_cast<uint8_t>(image->ReadBytes(docs + 27, 1)[0]) << 8);
    uint64_t a = EntryOffset(*image, ClusterOffset(docsCluster), 1024, "A       TXT");
    image->WriteBytes(a + 26, std::string(2, '\0'));
    Open();

    ReporterSpy reporter;
    fs->Scan(); // returns normally
    EXPECT_EQ(reporter.Messages, std::vector<std::string>{"WTF?"});
    // What the walk filed before stays: the root's file and DOCS, not DOCS's content.
    auto files = ByName(fs->fFileChains);
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(files.count("ROOT.TXT"), 1u);
    EXPECT_EQ(ByName(fs->fDirectoryChains).size(), 1u);
}

TEST_F(LiveTreeScanTest, ADirectoryThatPointsBackIsWalkedOnce) {
    uint64_t docs = EntryOffset(*image, RootOffset(), 512, "DOCS       ");
    std::string docsCluster = image->ReadBytes(docs + 26, 2);
    uint32_t cluster = static_cast<uint8_t>(docsCluster[0]) | (static_cast<uint8_t>(docsCluster[1]) << 8);
    uint64_t sub = EntryOffset(*image, ClusterOffset(cluster), 1024, "SUB        ");
    image->WriteBytes(sub + 26, docsCluster); // DOCS\SUB is DOCS again
    Open();

    ReporterSpy reporter;
    fs->Scan();
    EXPECT_TRUE(reporter.Messages.empty());
    auto dirs = ByName(fs->fDirectoryChains);
    EXPECT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs.count("DOCS"), 1u);
    EXPECT_EQ(ByName(fs->fFileChains).size(), 2u); // ROOT.TXT and A.TXT
}

TEST_F(LiveTreeScanTest, AFileSystemWithoutRootDirectoryReportsAndEnds) {
    auto plain = test::OpenImageWithFileSystem(image->Path(), 2, 0, 100);
    ReporterSpy reporter;
    plain->fFileSystem->Scan();
    EXPECT_EQ(reporter.Messages, std::vector<std::string>{"WTF?"});
    EXPECT_EQ(plain->fFileSystem->fClusterBitmap->fCount, 100u);
}

} // namespace
} // namespace qrt
