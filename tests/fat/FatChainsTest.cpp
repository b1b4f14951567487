#include "FatTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskStream.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;
using test::MountedVolume;
using test::VolumeOptions;

// Cluster numbers counted back from the bound: End(1) is the last data cluster.
constexpr int64_t kFromEnd = 1000000;
constexpr int64_t End(int64_t aBack) {
    return kFromEnd + aBack;
}
uint32_t Resolve(int64_t aCluster, uint32_t aClusterCount) {
    return aCluster >= kFromEnd ? uint32_t(aClusterCount - (aCluster - kFromEnd)) : uint32_t(aCluster);
}

std::vector<uint32_t> Clusters(const TxClusterChain* aChain) {
    if (!aChain) return {};
    return {aChain->Clusters.begin(), aChain->Clusters.begin() + aChain->ItemCount};
}

// Takes the chain a test got and disposes it.
std::vector<uint32_t> Take(PxClusterChain aChain) {
    std::vector<uint32_t> clusters = Clusters(aChain);
    if (aChain) DisposeClusterChain(aChain);
    return clusters;
}

struct Link {
    uint32_t Cluster;
    int64_t Value; // End(0) links to ClusterCount; -1 is the width's end-of-chain value, -2 its bad value
};

void SetLinks(MountedVolume& aVolume, const std::vector<Link>& aLinks) {
    uint32_t eoc = aVolume.FatBits() == 12 ? 0xFFF : aVolume.FatBits() == 16 ? 0xFFFF : 0x0FFFFFFF;
    uint32_t bad = aVolume.FatBits() == 12 ? 0xFF7 : aVolume.FatBits() == 16 ? 0xFFF7 : 0x0FFFFFF7;
    uint32_t bound = aVolume.Fs()->ClusterCount;
    for (int32_t copy = 0; copy < aVolume.Fs()->fFATCount; ++copy) {
        std::string table = aVolume.ReadFAT(copy);
        for (const Link& l : aLinks) {
            uint32_t value = l.Value == -1 ? eoc : l.Value == -2 ? bad : Resolve(l.Value, bound);
            test::PutFATEntry(table, aVolume.FatBits(), Resolve(l.Cluster, bound), value);
        }
        aVolume.WriteFAT(copy, table);
    }
    aVolume.Remount();
}

TEST(FatClusterChain, FollowsTheTableAcrossFragments) {
    test::TempDir dir;
    for (int bits : {12, 16, 32}) {
        SCOPED_TRACE("FAT" + std::to_string(bits));
        MountedVolume volume(dir.File("fat.img"), VolumeOptions(bits));
        SetLinks(volume, {{20, 21}, {21, 40}, {40, 41}, {41, 42}, {42, 30}, {30, -1}, {5, 6}, {6, -1}});
        TFileSystemFATx* fs = volume.Fs();
        EXPECT_EQ(Take(fs->GetClusterChain(20, -1)), (std::vector<uint32_t>{20, 21, 40, 41, 42, 30}));
        EXPECT_EQ(Take(fs->GetClusterChain(5, 0)), (std::vector<uint32_t>{5, 6}));
        EXPECT_EQ(Take(fs->GetClusterChain(41, -1)), (std::vector<uint32_t>{41, 42, 30}));
        EXPECT_EQ(fs->GetNextCluster(21), 40u);
        uint8_t state = 0;
        fs->GetClusterState(30, state);
        EXPECT_EQ(state, csEndOfChain);
        fs->GetClusterState(22, state);
        EXPECT_EQ(state, csFree);
        fs->GetClusterState(42, state);
        EXPECT_EQ(state, csInUse);
    }
}

TEST(FatClusterChain, WalkEndsAndNeverLoops) {
    struct Case {
        const char* Name;
        std::vector<Link> Links;
        uint32_t First;
        std::vector<uint32_t> Chain;
    };
    std::vector<Link> longCycle;
    std::vector<uint32_t> longChain;
    for (uint32_t c = 100; c < 400; ++c) {
        longCycle.push_back({c, c == 399 ? 150 : c + 1});
        longChain.push_back(c);
    }
    const Case cases[] = {
        {"cycle", {{20, 21}, {21, 22}, {22, 20}}, 20, {20, 21, 22}},
        {"cycle entered midway", {{20, 21}, {21, 22}, {22, 21}}, 20, {20, 21, 22}},
        {"cluster linked to itself", {{30, 30}}, 30, {30}},
        {"link of 1", {{40, 41}, {41, 1}}, 40, {40, 41}},
        {"link beyond the last cluster", {{50, End(0)}}, 50, {50}},
        {"link to the last cluster", {{55, End(1)}, {End(1), -1}}, 55, {55, 0}},
        {"free first entry", {}, 60, {60}},
        {"bad cluster", {{70, -2}}, 70, {70}},
        {"long cycle", longCycle, 100, longChain},
    };
    test::TempDir dir;
    for (int bits : {12, 16, 32}) {
        MountedVolume volume(dir.File("fat.img"), VolumeOptions(bits));
        std::vector<Link> all;
        for (const Case& c : cases)
            all.insert(all.end(), c.Links.begin(), c.Links.end());
        SetLinks(volume, all);
        TFileSystemFATx* fs = volume.Fs();
        for (const Case& c : cases) {
            SCOPED_TRACE("FAT" + std::to_string(bits) + ": " + c.Name);
            std::vector<uint32_t> expected = c.Chain;
            for (uint32_t& e : expected)
                if (e == 0) e = fs->ClusterCount - 1;
            EXPECT_EQ(Take(fs->GetClusterChain(c.First, -1)), expected);
        }
    }
}

TEST(FatClusterChain, FirstClusterOutsideTheDataClusters) {
    test::TempDir dir;
    MountedVolume volume(dir.File("fat16.img"), VolumeOptions(16));
    TFileSystemFATx* fs = volume.Fs();
    EXPECT_EQ(fs->GetClusterChain(fs->ClusterCount, -1), nullptr);
    EXPECT_EQ(fs->GetClusterChain(1, -1), nullptr);
    PxClusterChain sized = fs->GetClusterChain(fs->ClusterCount, 4096);
    ASSERT_NE(sized, nullptr);
    EXPECT_EQ(sized->ItemCount, 0);
    DisposeClusterChain(sized);
    EXPECT_ASSERTION(fs->GetClusterChain(0, -1), "WTF?");
}

TEST(FatClusterChain, SizeOnlyReservesRoom) {
    test::TempDir dir;
    MountedVolume volume(dir.File("fat16.img"), VolumeOptions(16));
    SetLinks(volume, {{20, 21}, {21, -1}});
    TFileSystemFATx* fs = volume.Fs();
    PxClusterChain chain = fs->GetClusterChain(20, 100 * int64_t(fs->GetBytesPerCluster()));
    EXPECT_EQ(chain->ItemCount, 2);
    EXPECT_GE(chain->Length, 100);
    DisposeClusterChain(chain);
    // A size beyond the volume reserves no more than the volume's clusters.
    chain = fs->GetClusterChain(20, int64_t(1) << 40);
    EXPECT_EQ(chain->ItemCount, 2);
    EXPECT_LE(chain->Length, int32_t(fs->ClusterCount));
    DisposeClusterChain(chain);
}

// The data clusters run up to ClusterCount - 1: a file in the last clusters is read whole.
TEST(FatClusterChain, FileFillingTheVolumeEndsInTheLastCluster) {
    test::TempDir dir;
    MountedVolume volume(dir.File("fat12.img"), VolumeOptions(12, 360));
    TFileSystemFATx* fs = volume.Fs();
    uint32_t clusters = fs->ClusterCount - 2;
    const std::string contents = test::PatternBytes(size_t(clusters) * fs->GetBytesPerCluster(), 3);
    volume.Image().WriteFile("FULL.BIN", contents);
    volume.Remount();
    fs = volume.Fs();
    ASSERT_TRUE(fs->ChooseFATCopy());
    PxClusterChain chain = fs->GetClusterChain(volume.RootEntryCluster("FULL    BIN"), -1);
    ASSERT_EQ(chain->ItemCount, int32_t(clusters));
    EXPECT_EQ(LastCluster(chain), fs->ClusterCount - 1);
    CheckNonEmptyChain(fs, chain);
    auto stream = TxDiskStream::CreateOnChain(volume.Disk(), int64_t(contents.size()), chain);
    std::string read(contents.size(), '\0');
    EXPECT_EQ(stream->Read(read.data(), int64_t(read.size())), int64_t(read.size()));
    EXPECT_EQ(read, contents);
}

// Clusters 11 and End(3) end chains, 13 is bad; every other cluster is free.
class FatCollectClusters : public ::testing::Test {
protected:
    void SetUp() override {
        fVolume = std::make_unique<MountedVolume>(fDir.File("fat16.img"), VolumeOptions(16));
        SetLinks(*fVolume, {{11, -1}, {13, -2}, {End(3), -1}});
        fs = fVolume->Fs();
    }
    std::vector<uint32_t> Expected(std::initializer_list<int64_t> aClusters) {
        std::vector<uint32_t> result;
        for (int64_t c : aClusters)
            result.push_back(Resolve(c, fs->ClusterCount));
        return result;
    }

    test::TempDir fDir;
    std::unique_ptr<MountedVolume> fVolume;
    TFileSystemFATx* fs = nullptr;
};

TEST_F(FatCollectClusters, TakesClustersOfTheStateFromTheStartWrappingOnce) {
    struct Case {
        const char* Name;
        int64_t Start;
        uint8_t State;
        int64_t Count;
        std::initializer_list<int64_t> Chain;
    };
    const Case cases[] = {
        {"free, stepping over others", 10, csFree, 3, {10, 12, 14}},
        {"any state", 10, 0, 5, {10, 11, 12, 13, 14}},
        {"wrapping to cluster 2", End(2), csFree, 4, {End(2), End(1), 2, 3}},
        {"round once, stopping before the start", 20, csBad, -1, {13}},
        {"ends of chains round the volume", 12, csEndOfChain, -1, {End(3), 11}},
        {"start -1 is cluster 2", -1, csEndOfChain, -1, {11, End(3)}},
        {"start past the last cluster is cluster 2", End(0), csBad, -1, {13}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        int64_t start = c.Start >= kFromEnd ? Resolve(c.Start, fs->ClusterCount) : c.Start;
        EXPECT_EQ(Take(fs->CollectClusters(start, c.State, nullptr, c.Count)), Expected(c.Chain));
    }
    EXPECT_EQ(fs->CollectClusters(10, csFree, nullptr, 0), nullptr);
}

TEST_F(FatCollectClusters, FilterTakesMovesAndStops) {
    struct Seen {
        uint32_t Cluster;
        uint8_t State;
        int32_t Reserved;
    };
    std::vector<Seen> seen;
    struct Case {
        const char* Name;
        int64_t Count;
        std::function<bool(uint32_t, int64_t&)> Decide;
        std::initializer_list<int64_t> Chain;
    };
    const Case cases[] = {
        {"multiples of three", 3, [](uint32_t c, int64_t&) { return c % 3 == 0; }, {12, 15, 18}},
        {"stop at 16",
         -1,
         [](uint32_t c, int64_t& p) {
             if (c == 16) p = -1;
             return c != 16;
         },
         {10, 12, 14, 15}},
        {"skip from 12 to 20",
         4,
         [](uint32_t c, int64_t& p) {
             if (c == 12) p = 20;
             return true;
         },
         {10, 12, 21, 22}},
        {"moving back ends the round",
         -1,
         [](uint32_t c, int64_t& p) {
             if (c == 14) p = 11;
             return true;
         },
         {10, 12, 14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        seen.clear();
        TxClusterFilter filter = [&](uint32_t aCluster, uint8_t aState, int32_t aReserved,
                                     int64_t& aPosition) {
            EXPECT_EQ(aPosition, int64_t(aCluster));
            seen.push_back({aCluster, aState, aReserved});
            return c.Decide(aCluster, aPosition);
        };
        EXPECT_EQ(Take(fs->CollectClusters(10, csFree, filter, c.Count)), Expected(c.Chain));
        ASSERT_FALSE(seen.empty());
        for (const Seen& s : seen) {
            EXPECT_EQ(s.State, csFree);
            EXPECT_EQ(s.Reserved, 0);
            EXPECT_NE(s.Cluster, 11u);
            EXPECT_NE(s.Cluster, 13u);
        }
    }
}

TEST_F(FatCollectClusters, FreeAndBadAreaChains) {
    PxClusterChain bad = fs->GetBadClusterAreaChain();
    EXPECT_EQ(Clusters(bad), std::vector<uint32_t>{13});
    PxClusterChain free = fs->GetFreeAreaChain();
    EXPECT_EQ(free->ItemCount, int32_t(fs->ClusterCount - 2 - 3));
    EXPECT_EQ(FirstCluster(free), 2u);
    EXPECT_EQ(LastCluster(free), fs->ClusterCount - 1);
}

} // namespace
} // namespace qrt
