#include "TestFileSystem.h"
#include "TestUtil.h"

#include "disk/DiskStream.h"
#include "platform/DeviceIO.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrt {
namespace {

// A volume of 64 clusters of 4 sectors (2048 bytes; cluster c at byte 2048 × c) read through a
// device table entry whose chosen sectors cannot be read.
class DamagedReadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fImage = fDir.File("vol.img");
        fBytes = test::PatternBytes(64 * 2048, 21);
        test::WriteFileBytes(fImage, fBytes);
        DeviceTableSet(kName, fImage);
    }
    void TearDown() override {
        fDisk.reset();
        DeviceClearBadRanges();
        DeviceTableClear();
    }
    // Opens the volume with the given sectors (512 bytes each) unreadable.
    void Open(const std::vector<uint32_t>& aBadSectors) {
        std::vector<TDeviceBadRange> ranges;
        for (uint32_t s : aBadSectors)
            ranges.push_back({uint64_t{s} * 512, 512});
        DeviceSetBadRanges(kName, ranges);
        fDisk = test::OpenImageWithFileSystem(kName, 4, 0, 64);
    }
    // What a copy of the clusters gives when the listed byte ranges of the stream read as zeros.
    std::string Expected(const std::vector<uint32_t>& aClusters,
                         const std::vector<TxDiskStream::TxUnreadable>& aZeros) {
        std::string bytes;
        for (uint32_t c : aClusters)
            bytes += fBytes.substr(size_t{c} * 2048, 2048);
        for (const auto& z : aZeros)
            bytes.replace(size_t(z.Offset), size_t(z.Length), size_t(z.Length), '\0');
        return bytes;
    }
    static std::string Copy(TxDiskStream& aStream) {
        TMemoryStream copy;
        aStream.CopyToStream(copy);
        return std::string(static_cast<const char*>(copy.Memory()), static_cast<size_t>(copy.GetSize()));
    }

    static constexpr const char* kName = "\\\\.\\K:";
    test::TempDir fDir;
    std::string fImage;
    std::string fBytes;
    std::unique_ptr<TxDiskAccessor> fDisk;
};

// The copy of a file goes on after a bad sector: that sector is zeros, the rest is the file's.
TEST_F(DamagedReadsTest, CopyLeavesZerosForBadSectorsOnly) {
    // Sector 45 is the second sector of cluster 11; sectors 80 and 81 begin cluster 20.
    Open({45, 80, 81});
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({10, 11, 12, 20}));
    const std::vector<TxDiskStream::TxUnreadable> zeros{{2048 + 512, 512}, {3 * 2048, 1024}};
    EXPECT_EQ(Copy(*stream), Expected({10, 11, 12, 20}, zeros));
    ASSERT_EQ(stream->Unreadable().size(), 2u);
    for (size_t i = 0; i < zeros.size(); ++i) {
        EXPECT_EQ(stream->Unreadable()[i].Offset, zeros[i].Offset);
        EXPECT_EQ(stream->Unreadable()[i].Length, zeros[i].Length);
    }
    EXPECT_EQ(stream->UnreadableBytes(), 1536);

    // A stream that reads whole lists nothing, also after an earlier copy that did.
    auto sound = TxDiskStream::CreateOnChain(fDisk.get(), 5000, test::MakeChain({30, 31, 32}));
    EXPECT_EQ(Copy(*sound), Expected({30, 31, 32}, {}).substr(0, 5000));
    EXPECT_EQ(sound->UnreadableBytes(), 0);
}

// Loading a stream into memory leaves zeros where the device fails and lists them; the bytes after
// a bad sector are still loaded.
TEST_F(DamagedReadsTest, LoadDataListsWhatItCouldNotRead) {
    Open({4 * 7 + 3});
    auto stream = TxDiskStream::CreateOnChain(fDisk.get(), -1, test::MakeChain({6, 7, 8}));
    stream->LoadData();
    std::string loaded(static_cast<const char*>(stream->LockData()), 3 * 2048);
    stream->UnlockData();
    EXPECT_EQ(loaded, Expected({6, 7, 8}, {{2048 + 1536, 512}}));
    EXPECT_EQ(stream->UnreadableBytes(), 512);
}

// A chain a damaged volume made inconsistent (a file whose parent directory starts at the file's own
// cluster) is still freed when it is disposed; the check's failure is raised after it is gone.
TEST(DisposeBrokenChain, IsFreedAndReported) {
    PxClusterChain chain = test::MakeChain({5, 6});
    chain->ParentClusterNo = 5;
    EXPECT_ASSERTION(DisposeClusterChain(chain), "WTF? aChain.ParentClusterNo=5, aChain.Clusters[0]=5");
    EXPECT_EQ(chain, nullptr);
}

} // namespace
} // namespace qrt
