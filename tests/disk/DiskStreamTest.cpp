#include "FatImage.h"
#include "TestFileSystem.h"
#include "TestUtil.h"

#include "core/Application.h"
#include "disk/DiskStream.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qrt {
namespace {

// Writes a file into a FAT image with mcopy.
void CopyInto(const test::FatImage& aImage, const std::string& aName, const std::string& aContents) {
    std::string host = aImage.Path() + ".host";
    test::WriteFileBytes(host, aContents);
    test::MustRun("MTOOLS_SKIP_CHECK=1 mcopy -o -i " + test::ShellQuote(aImage.Path()) + " " +
                  test::ShellQuote(host) + " ::/" + aName);
}

// A volume of 64 clusters of 4 sectors (2048 bytes); cluster c starts at sector 4 × c.
class DiskStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        fImage = fDir.File("vol.img");
        fBytes = test::PatternBytes(64 * 2048, 11);
        test::WriteFileBytes(fImage, fBytes);
        fDisk = test::OpenImageWithFileSystem(fImage, 4, 0, 64);
        fs = static_cast<test::TTestFileSystem*>(fDisk->fFileSystem);
    }
    // The bytes of the volume at a cluster (plus an offset).
    std::string ClusterBytes(uint32_t aCluster, size_t aCount, size_t aOffset = 0) {
        return fBytes.substr(size_t{aCluster} * 2048 + aOffset, aCount);
    }
    std::string ReadAll(TStream& aStream, int64_t aCount) {
        std::string text(static_cast<size_t>(aCount), '\0');
        text.resize(static_cast<size_t>(aStream.Read(text.data(), aCount)));
        return text;
    }

    test::TempDir fDir;
    std::string fImage;
    std::string fBytes;
    std::unique_ptr<TxDiskAccessor> fDisk;
    test::TTestFileSystem* fs = nullptr;
};

TEST_F(DiskStreamTest, ConsecutiveClustersMergeIntoAreas) {
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({10, 11, 12, 20}));
    ASSERT_EQ(stream->fAreas.Length(), 2);
    EXPECT_EQ(stream->fAreas[0].Address.Kind, akCluster);
    EXPECT_EQ(stream->fAreas[0].Address.Number, 10);
    EXPECT_EQ(stream->fAreas[0].Size, 6144);
    EXPECT_EQ(stream->fAreas[0].StreamOffset, 0);
    EXPECT_EQ(stream->fAreas[1].Address.Number, 20);
    EXPECT_EQ(stream->fAreas[1].Size, 2048);
    EXPECT_EQ(stream->fAreas[1].StreamOffset, 6144);
    EXPECT_EQ(stream->GetSize(), 8192);

    EXPECT_EQ(stream->Seek(6144, soBeginning), 6144);
    EXPECT_EQ(stream->fCurrent.Address.Kind, akSector);
    EXPECT_EQ(stream->fCurrent.Address.Number, 80);
    EXPECT_EQ(stream->fCurrent.Address.Offset, 0);
    EXPECT_EQ(stream->fCurrent.Size, 2048);
    EXPECT_EQ(stream->Seek(100, soBeginning), 100);
    EXPECT_EQ(stream->fCurrent.Address.Number, 40);
    EXPECT_EQ(stream->fCurrent.Address.Offset, 100);
    EXPECT_EQ(stream->fCurrent.Size, 6044);
    EXPECT_EQ(stream->Seek(1000, soCurrent), 1100);
    EXPECT_EQ(stream->fCurrent.Address.Number, 42);
    EXPECT_EQ(stream->Seek(0, soEnd), 8192);
    EXPECT_EQ(stream->fCurrent.Size, 0);
    EXPECT_ASSERTION(stream->Seek(-1, soBeginning), "WTF?");
}

TEST_F(DiskStreamTest, ReadsAcrossAreasAndInsideSectors) {
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({10, 11, 12, 20}));
    std::string whole = ClusterBytes(10, 6144) + ClusterBytes(20, 2048);
    EXPECT_EQ(ReadAll(*stream, 8192), whole);
    EXPECT_EQ(stream->Read(nullptr, 10), 0); // at the end
    EXPECT_EQ(stream->GetPosition(), 8192);

    struct Case {
        int64_t Position, Count, Expected;
    };
    for (Case c : {Case{100, 1000, 1000}, Case{6000, 500, 500}, Case{511, 2, 2}, Case{8000, 500, 192},
                   Case{1, 8191, 8191}, Case{0, 0, 0}}) {
        stream->Seek(c.Position, soBeginning);
        std::string got = ReadAll(*stream, c.Count);
        EXPECT_EQ(static_cast<int64_t>(got.size()), c.Expected) << c.Position;
        EXPECT_EQ(got, whole.substr(static_cast<size_t>(c.Position), static_cast<size_t>(c.Expected)))
            << c.Position;
    }
}

TEST_F(DiskStreamTest, YieldsToTheMessageLoop) {
    int turns = 0;
    auto previous = Application().SetMessagePump([&] { ++turns; });
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({10, 11, 12, 20}));
    char buffer[16];
    stream->Read(buffer, 16);
    EXPECT_EQ(turns, 1); // once per read
    TMemoryStream copy;
    turns = 0;
    stream->CopyToStream(copy);
    EXPECT_GE(turns, 2); // at least once per area
    Application().SetMessagePump(previous);
}

TEST_F(DiskStreamTest, CopyCutsTheLastClusterAndSavesFiles) {
    test::FatImage::Options o;
    o.FatBits = 16;
    o.SizeKiB = 16384;
    o.SectorsPerCluster = 8; // 4096-byte clusters
    test::FatImage fat(fDir.File("fat16.img"), o);
    std::string a = test::PatternBytes(5000, 1), b = test::PatternBytes(9000, 2);
    std::string c = test::PatternBytes(3000, 3), d = test::PatternBytes(20000, 4);
    CopyInto(fat, "A.BIN", a);
    CopyInto(fat, "B.BIN", b);
    CopyInto(fat, "C.BIN", c);
    fat.Delete("B.BIN");
    CopyInto(fat, "D.BIN", d); // fills the hole B left, then goes on behind C

    auto disk = test::OpenImage(fat.Path());
    auto* fatfs = test::TTestFileSystem::MountFat16(disk.get());
    disk->fFileSystem = fatfs;

    struct Case {
        std::string Name;
        std::string Contents;
        int32_t Clusters;
        int32_t Areas;
    };
    for (const Case& k : {Case{"A.BIN", a, 2, 1}, Case{"D.BIN", d, 5, 2}}) {
        test::TTestFileSystem::Entry e = fatfs->RootEntry(k.Name);
        ASSERT_EQ(e.Size, k.Contents.size());
        PxClusterChain chain = fatfs->GetClusterChain(e.FirstCluster, e.Size);
        ASSERT_EQ(chain->ItemCount, k.Clusters) << k.Name;
        auto stream = TxFileStream::CreateOnChain(disk.get(), e.Size, chain);
        EXPECT_EQ(stream->fAreas.Length(), k.Areas) << k.Name;

        TMemoryStream copy;
        copy.WriteBuffer("stale bytes that the copy replaces", 34);
        stream->CopyToStream(copy);
        EXPECT_EQ(copy.GetSize(), static_cast<int64_t>(k.Contents.size()));
        EXPECT_EQ(std::string(static_cast<char*>(copy.Memory()), k.Contents.size()), k.Contents) << k.Name;

        std::string saved = fDir.File("saved-" + k.Name);
        stream->SaveToFile(saved);
        EXPECT_EQ(test::ReadFileBytes(saved), k.Contents) << k.Name;
        EXPECT_EQ(test::ReadFileBytes(saved), fat.ReadFile(k.Name));
    }
}

TEST_F(DiskStreamTest, LoadedContentsAreReadOnce) {
    PxClusterChain chain = test::MakeChain({3, 4});
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), 3000, chain);
    EXPECT_EQ(stream->LoadData(), stream.get());
    auto* data = static_cast<const char*>(stream->LockData());
    EXPECT_EQ(std::string(data, 3000), ClusterBytes(3, 3000));
    EXPECT_EQ(stream->fDataLocks, 1);
    stream->UnlockData();
    EXPECT_EQ(stream->fDataLocks, 0);

    // Later copies come from memory, not from the device.
    test::WriteFileBytes(fImage, std::string(fBytes.size(), '\0'));
    stream->LoadData();
    TMemoryStream copy;
    stream->CopyToStream(copy);
    EXPECT_EQ(std::string(static_cast<char*>(copy.Memory()), 3000), ClusterBytes(3, 3000));
    stream->SaveToFile(fDir.File("loaded.bin"));
    EXPECT_EQ(test::ReadFileBytes(fDir.File("loaded.bin")), ClusterBytes(3, 3000));
    stream->SaveToFile(""); // nothing to do for an empty name

    auto empty = TxDiskStream::CreateOnChain(fDisk.get(), 0, test::MakeChain({5}));
    EXPECT_ASSERTION(empty->LoadData(), "WTF?");
    auto huge = TxDiskStream::CreateAtAddress(fDisk.get(), 0x40000000, SectorAddress(0));
    EXPECT_ASSERTION(huge->LoadData(), "WTF?");
    EXPECT_EQ(huge->fData, nullptr);
    auto unloaded = TxDiskStream::CreateAtAddress(fDisk.get(), 512, SectorAddress(0));
    EXPECT_ASSERTION(unloaded->LockData(), "WTF?");
}

TEST_F(DiskStreamTest, CreationRules) {
    EXPECT_ASSERTION(TxDiskStream::CreateOnChain(fDisk.get(), -2, nullptr), "WTF?");
    EXPECT_ASSERTION(TxDiskStream::CreateOnChain(nullptr, -1, nullptr), "WTF?");
    EXPECT_ASSERTION(TxDiskStream::CreateOnChain(fDisk.get(), -1, nullptr), "WTF?");
    PxClusterChain empty = nullptr;
    NewClusterChain(empty, 2);
    EXPECT_ASSERTION(TxDiskStream::CreateOnChain(fDisk.get(), -1, empty), "WTF? ItemCount=0");
    DisposeClusterChain(empty);

    // Size 0: an empty stream that is never positioned; saving it makes an empty file.
    auto none = TxDiskStream::CreateOnChain(fDisk.get(), 0, nullptr);
    EXPECT_EQ(none->GetSize(), 0);
    EXPECT_TRUE(none->fAreas.Empty());
    EXPECT_EQ(none->fCurrent.Size, -1);
    test::WriteFileBytes(fDir.File("empty.bin"), "old contents");
    none->SaveToFile(fDir.File("empty.bin"));
    EXPECT_EQ(test::ReadFileBytes(fDir.File("empty.bin")), "");

    // At a sector address: a run of sectors of the given size.
    auto run = TxDiskStream::CreateAtAddress(fDisk.get(), 1000, SectorAddress(7));
    EXPECT_EQ(run->fChain, nullptr);
    EXPECT_EQ(ReadAll(*run, 1000), fBytes.substr(7 * 512, 1000));
    EXPECT_ASSERTION(TxDiskStream::CreateAtAddress(fDisk.get(), -1, SectorAddress(7)), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(TxDiskStream::CreateAtAddress(fDisk.get(), 10, TxDiskAddress{0, akOther, 1}),
                     "UNIMPLEMENTED!!");

    // At a cluster address: only a catalogued chain.
    EXPECT_ASSERTION(TxDiskStream::CreateAtAddress(fDisk.get(), -1, ClusterAddress(30)), "WTF?");
    fs->Link({30, 31, 40});
    PxClusterChain filed = nullptr;
    fs->FindFileChain(30, filed, 1);
    {
        auto atCluster = TxDiskStream::CreateAtAddress(fDisk.get(), -1, ClusterAddress(30));
        EXPECT_EQ(atCluster->fChain, filed);
        EXPECT_EQ(atCluster->GetSize(), 3 * 2048);
        EXPECT_EQ(atCluster->GetFileSystem(), fs);
        EXPECT_EQ(ReadAll(*atCluster, 6144), ClusterBytes(30, 4096) + ClusterBytes(40, 2048));
    }
    EXPECT_EQ(fs->FindChain(30, 2), filed); // the list's chain outlives the stream

    // Size 0 at an address: the stream owns an empty chain of its own.
    auto owning = TxDiskStream::CreateAtAddress(fDisk.get(), 0, ClusterAddress(30));
    ASSERT_NE(owning->fChain, nullptr);
    EXPECT_EQ(owning->fChain->Owner, nullptr);
    EXPECT_EQ(owning->fChain->ItemCount, 0);

    // Explicit areas.
    TxDiskAreas areas;
    MakeSectorRunAreas(fDisk.get(), 9, 3, areas);
    auto onAreas = TxDiskStream::CreateOnAreas(fDisk.get(), -1, areas);
    EXPECT_EQ(onAreas->GetSize(), 1536);
    EXPECT_TRUE(onAreas->fAreas.SharesWith(areas));
    EXPECT_EQ(ReadAll(*onAreas, 2000), fBytes.substr(9 * 512, 1536));
    EXPECT_ASSERTION(TxDiskStream::CreateOnAreas(fDisk.get(), -1, TxDiskAreas()), "WTF?");
    TxDiskAreas clusterAreas;
    ChainToAreas(fDisk.get(), filed, clusterAreas);
    EXPECT_ASSERTION(TxDiskStream::CreateOnAreas(fDisk.get(), -1, clusterAreas), "UNIMPLEMENTED!!");

    auto entry = TxFileStream::CreateForEntry("A.TXT", -1, ClusterAddress(5), 0);
    EXPECT_EQ(entry->fDisk, nullptr);
    EXPECT_TRUE(entry->fAreas.Empty());
    EXPECT_STREQ(entry->ClassName(), "TxFileStream");
}

TEST_F(DiskStreamTest, WritingAndResizingAreRefused) {
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({3}));
    EXPECT_ASSERTION(stream->Write("x", 1), "Writing is not supported!");
    EXPECT_ASSERTION(stream->SetSize(10), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(stream->ReservedOperation(1, 2), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(stream->AddCluster(3, 0), "WTF? Circular reference?");
    EXPECT_EQ(stream->fChain->ItemCount, 1); // nothing is added
}

TEST_F(DiskStreamTest, ClonesShareChainAndAreas) {
    fs->Link({12, 13});
    PxClusterChain filed = nullptr;
    fs->FindDirectoryChain(12, filed, 1);
    auto stream = TxFileStream::CreateOnChain(fDisk.get(), -1, filed);
    stream->LoadData();
    stream->Seek(100, soBeginning);
    std::unique_ptr<TxDiskStream> clone = stream->Clone();
    EXPECT_STREQ(clone->ClassName(), "TxFileStream");
    EXPECT_EQ(clone->fChain, filed);
    EXPECT_TRUE(clone->fAreas.SharesWith(stream->fAreas));
    EXPECT_EQ(clone->GetPosition(), 100);
    EXPECT_EQ(clone->fData, nullptr);
    stream.reset();
    EXPECT_EQ(ReadAll(*clone, 10), ClusterBytes(12, 10, 100));

    // A chain without another owner would be disposed by both streams.
    auto owner = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({20}));
    EXPECT_ASSERTION(owner->Clone(), "WTF?");
}

TEST_F(DiskStreamTest, ChainOwnership) {
    // Disposed by the stream: a chain without owner, and one the stream owns (the sanitizer build
    // reports a leak otherwise). Kept: a chain with another owner.
    PxClusterChain own = test::MakeChain({5});
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, own);
    own->Owner = stream.get();
    stream.reset();
    TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({6}));

    TPointerList queue;
    queue.OwnsItems = false;
    PxClusterChain kept = test::MakeChain({7});
    kept->Owner = &queue;
    TxDiskStream::CreateOnChain(fDisk.get(), -1, kept);
    EXPECT_EQ(FirstCluster(kept), 7u);
    DisposeClusterChain(kept);
}

TEST_F(DiskStreamTest, ShortReadWhileCopyingLeavesZerosAndGoesOn) {
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({60, 61, 62, 63}));
    std::string before = ReadAll(*stream, 8192);
    std::filesystem::resize_file(fImage, 61 * 2048 + 700);
    TMemoryStream copy;
    stream->CopyToStream(copy);
    // What the device still holds is copied; the rest of the chain reads as zeros and is listed.
    std::string expected = before.substr(0, 2048 + 700) + std::string(8192 - 2048 - 700, '\0');
    std::string copied(static_cast<const char*>(copy.Memory()), static_cast<size_t>(copy.GetSize()));
    EXPECT_EQ(copied, expected);
    ASSERT_EQ(stream->Unreadable().size(), 1u);
    EXPECT_EQ(stream->Unreadable()[0].Offset, 2048 + 700);
    EXPECT_EQ(stream->UnreadableBytes(), 8192 - 2048 - 700);
    stream->Seek(0, soBeginning);
    EXPECT_EQ(ReadAll(*stream, 8192).size(), 2048u + 700u);
}

TEST_F(DiskStreamTest, AreaRoutines) {
    TxDiskAreas areas;
    MakeSectorAreas(17, 1000, areas);
    ASSERT_EQ(areas.Length(), 1);
    EXPECT_EQ(areas[0].Address.Number, 17);
    EXPECT_EQ(areas[0].Size, 1000);
    EXPECT_EQ(areas[0].StreamOffset, 0);

    TxDiskArea at;
    EXPECT_EQ(FindAreaAt(fDisk.get(), areas, at, true, 700), 0);
    EXPECT_EQ(at.Address.Number, 18);
    EXPECT_EQ(at.Address.Offset, 188);
    EXPECT_EQ(at.Size, 300);
    EXPECT_EQ(at.StreamOffset, 700);
    EXPECT_EQ(FindAreaAt(fDisk.get(), areas, at, true, -5), -1);
    EXPECT_EQ(at.Size, -1);
    EXPECT_EQ(at.StreamOffset, -1);
    EXPECT_ASSERTION(FindAreaAt(fDisk.get(), TxDiskAreas(), at, true, 0), "WTF?");

    PxClusterChain chain = test::MakeChain({7, 8, 2, 3, 4, 9});
    ChainToAreas(fDisk.get(), chain, areas);
    ASSERT_EQ(areas.Length(), 3);
    EXPECT_EQ(areas[1].Address.Number, 2);
    EXPECT_EQ(areas[1].Size, 3 * 2048);
    EXPECT_EQ(areas[2].StreamOffset, 5 * 2048);
    // Without the conversion to sectors the position stays in cluster units.
    EXPECT_EQ(FindAreaAt(fDisk.get(), areas, at, false, 4096 + 2048 + 100), 1);
    EXPECT_EQ(at.Address.Kind, akCluster);
    EXPECT_EQ(at.Address.Number, 3);
    EXPECT_EQ(at.Address.Offset, 100);
    EXPECT_ASSERTION(AreasToChain(fDisk.get(), areas), "UNIMPLEMENTED!!");
    ChainToAreas(fDisk.get(), nullptr, areas);
    EXPECT_TRUE(areas.Empty());
    DisposeClusterChain(chain);
}

} // namespace
} // namespace qrt
