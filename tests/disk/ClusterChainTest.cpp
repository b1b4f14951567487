#include "TestFileSystem.h"
#include "TestUtil.h"

#include "disk/ClusterChain.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <memory>

namespace qrt {
namespace {

// Disposes every chain a test made, whatever the test did to them.
struct ChainGuard {
    std::vector<PxClusterChain> Chains;
    PxClusterChain Add(PxClusterChain aChain) {
        Chains.push_back(aChain);
        return aChain;
    }
    ~ChainGuard() {
        for (PxClusterChain c : Chains)
            delete c;
    }
};

TEST(ClusterChainTest, CreationAndGrowth) {
    PxClusterChain chain = nullptr;
    AddCluster(chain, 5);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->Length, 3);
    EXPECT_EQ(chain->ItemCount, 1);
    EXPECT_EQ(chain->Owner, nullptr);
    EXPECT_EQ(chain->Size, -1);
    EXPECT_EQ(chain->ParentClusterNo, -1);
    DisposeClusterChain(chain);
    EXPECT_EQ(chain, nullptr);

    struct Case {
        int32_t Capacity, Needed, Expected;
    };
    for (Case c : {Case{16, 17, 24}, Case{17, 18, 49}, Case{100, 101, 125}, Case{16, 40, 40}, Case{0, 1, 8},
                   Case{20, 10, 20}}) {
        PxClusterChain grown = nullptr;
        NewClusterChain(grown, c.Capacity);
        EnsureChainCapacity(grown, c.Needed);
        EXPECT_EQ(grown->Length, c.Expected) << c.Capacity << " -> " << c.Needed;
        EXPECT_EQ(grown->Clusters.size(), static_cast<size_t>(c.Expected));
        DisposeClusterChain(grown);
    }

    // Filling cluster by cluster keeps every entry through the reallocations.
    PxClusterChain big = nullptr;
    for (uint32_t c = 2; c < 1002; ++c)
        AddCluster(big, c);
    EXPECT_EQ(big->ItemCount, 1000);
    EXPECT_EQ(FirstCluster(big), 2u);
    EXPECT_EQ(LastCluster(big), 1001u);
    EXPECT_EQ(IndexOfCluster(big, 500), 498);
    EXPECT_EQ(IndexOfCluster(big, 5000), -1);
    EXPECT_TRUE(ChainContains(big, 1001));
    DisposeClusterChain(big);

    EXPECT_EQ(ChainLength(nullptr), 0);
    EXPECT_ASSERTION(FirstCluster(nullptr), "WTF?");
    PxClusterChain empty = nullptr;
    NewClusterChain(empty, 0);
    EXPECT_ASSERTION(LastCluster(empty), "WTF? ItemCount=0");
    DisposeClusterChain(empty);
}

TEST(ClusterChainTest, AppendAndInsert) {
    ChainGuard g;
    PxClusterChain a = g.Add(test::MakeChain({2, 3}));
    PxClusterChain b = g.Add(test::MakeChain({9, 10, 11}));
    AppendChain(a, b);
    EXPECT_EQ(a->ItemCount, 5);
    EXPECT_EQ(std::vector<uint32_t>(a->Clusters.begin(), a->Clusters.begin() + 5),
              (std::vector<uint32_t>{2, 3, 9, 10, 11}));
    AppendChain(a, a); // onto itself
    EXPECT_EQ(a->ItemCount, 10);
    EXPECT_EQ(a->Clusters[9], 11u);

    InsertFirstCluster(b, 7);
    EXPECT_EQ(std::vector<uint32_t>(b->Clusters.begin(), b->Clusters.begin() + 4),
              (std::vector<uint32_t>{7, 9, 10, 11}));
    PxClusterChain fresh = nullptr;
    InsertFirstCluster(fresh, 4);
    g.Add(fresh);
    EXPECT_EQ(fresh->ItemCount, 1);
    EXPECT_EQ(FirstCluster(fresh), 4u);

    PxClusterChain none = nullptr;
    EXPECT_ASSERTION(AppendChain(none, b), "WTF?");
    EXPECT_ASSERTION(AppendChain(a, nullptr), "WTF?");
}

TEST(ClusterChainTest, NamesAndPaths) {
    ChainGuard g;
    PxClusterChain nameless = g.Add(test::MakeChain({1234}));
    EXPECT_EQ(ChainName(nameless), "~#1234");
    EXPECT_EQ(ChainPath(nameless), "?\\~#1234");
    nameless->ParentClusterNo = 0;
    EXPECT_EQ(ChainName(nameless), "");
    EXPECT_ASSERTION(ChainName(nullptr), "WTF?");
    EXPECT_EQ(ChainPath(nullptr), "");

    PxClusterChain a = g.Add(test::MakeChain({20}));
    a->Name = "a";
    PxClusterChain b = g.Add(test::MakeChain({30}));
    b->Name = "b";
    b->ParentClusterNo = 20;
    b->ParentChain = a;

    a->ParentClusterNo = 0; // a child of the root
    EXPECT_EQ(ChainPath(b), "\\a\\b");
    a->ParentClusterNo = -1; // a's parent is unknown
    EXPECT_EQ(ChainPath(b), "?\\a\\b");

    // A parent cluster that is not linked yet stops the walk at once.
    PxClusterChain c = g.Add(test::MakeChain({40}));
    c->Name = "c";
    c->ParentClusterNo = 77;
    EXPECT_EQ(ChainPath(c), "?\\c");

    // Reached through a link, such a parent means the links were not rebuilt.
    a->ParentClusterNo = 77;
    EXPECT_ASSERTION(ChainPath(b),
                     "You must call TxFileSystem._relinkChains first! wChain=?\\a: [20] \r\n  Parent: 77");

    // A nameless child of the root below a linked parent would end in a backslash.
    PxClusterChain d = g.Add(test::MakeChain({50}));
    d->ParentClusterNo = 0;
    d->ParentChain = a;
    a->ParentClusterNo = 0;
    EXPECT_ASSERTION(ChainPath(d), "WTF Result=\\a\\");
}

TEST(ClusterChainTest, CyclesEndWithAConsistencyFailure) {
    ChainGuard g;
    PxClusterChain a = g.Add(test::MakeChain({20}));
    PxClusterChain b = g.Add(test::MakeChain({30}));
    a->Name = "a";
    b->Name = "b";
    // b is its own parent: reported without recursing into the dump of itself.
    b->ParentChain = b;
    EXPECT_ASSERTION(ChainPath(b), "WTF? aChain=[30] ");
    // a and b parent each other.
    a->ParentChain = b;
    a->ParentClusterNo = 30;
    b->ParentChain = a;
    b->ParentClusterNo = 20;
    EXPECT_THROW(ChainPath(a), EAssertionFailed);
    EXPECT_THROW(ChainToString(a), EAssertionFailed);
}

TEST(ClusterChainTest, DumpText) {
    ChainGuard g;
    EXPECT_EQ(ChainToString(nullptr), "[NULL]");

    PxClusterChain frag = g.Add(test::MakeChain({5, 6, 7, 10, 11}));
    EXPECT_EQ(ChainToString(frag),
              "?\\~#5: [ \r\n  Fragment #1:\r\n    5,6,7,\r\n  Fragment #2:\r\n    10,11\r\n]");

    PxClusterChain one = g.Add(test::MakeChain({42}));
    one->Name = "PHOTO.JPG";
    one->ParentClusterNo = 0;
    EXPECT_EQ(ChainToString(one), "\\PHOTO.JPG: [42] \r\n  Parent: 0");

    // Cluster 1 follows the start value 0, so it opens no fragment.
    PxClusterChain low = g.Add(test::MakeChain({1, 2}));
    low->Name = "x";
    low->ParentClusterNo = 0;
    EXPECT_EQ(ChainToString(low), "\\x: [ 1,2\r\n]\r\n  Parent: 0");

    PxClusterChain empty = nullptr;
    NewClusterChain(empty, 1);
    g.Add(empty);
    empty->Name = "e";
    empty->ParentClusterNo = 0;
    TPointerList owner;
    owner.OwnsItems = false;
    empty->Owner = &owner;
    EXPECT_EQ(ChainToString(empty), "\\e: \r\n  Parent: 0\r\n  Owner: TPointerList");
}

TEST(ClusterChainTest, CheckMessagesInOrder) {
    ChainGuard g;
    PxClusterChain c = g.Add(test::MakeChain({5, 6, 7}));
    CheckChain(nullptr, nullptr); // nil passes

    c->Length = 2;
    EXPECT_ASSERTION(CheckChain(nullptr, c), "WTF? .Length: 2, .ItemCount: 3");
    c->Length = 3;
    c->ItemCount = -1;
    EXPECT_ASSERTION(CheckChain(nullptr, c), "WTF? aChain.ItemCount=-1");
    c->ItemCount = 3;
    c->Size = -2;
    EXPECT_ASSERTION(CheckChain(nullptr, c), "WTF? Size=-2");
    c->Size = 100;
    c->ParentClusterNo = 5;
    EXPECT_ASSERTION(CheckChain(nullptr, c), "WTF? aChain.ParentClusterNo=5, aChain.Clusters[0]=5");
    c->ParentClusterNo = 0;
    c->ParentChain = c;
    EXPECT_ASSERTION(CheckChain(nullptr, c),
                     "WTF? aChain=[ \r\n  Fragment #1:\r\n    5,6,7\r\n]\r\n  Parent: 0");
    c->ParentChain = nullptr;
    CheckChain(nullptr, c);

    // With a file system the clusters must lie in its range [2, 8).
    test::TempDir dir;
    test::WriteFileBytes(dir.File("d.img"), std::string(8192, '\0'));
    auto disk = test::OpenImageWithFileSystem(dir.File("d.img"), 1, 0, 8);
    CheckChain(disk->fFileSystem, c);
    c->Clusters[2] = 8;
    EXPECT_ASSERTION(CheckChain(disk->fFileSystem, c), "WTF? aChain.Clusters[i]=8");
    c->Clusters[2] = 1;
    EXPECT_ASSERTION(CheckChain(disk->fFileSystem, c), "WTF? aChain.Clusters[i]=1");

    EXPECT_ASSERTION(CheckNonEmptyChain(nullptr, nullptr), "WTF?");
    c->ItemCount = 0;
    EXPECT_ASSERTION(CheckNonEmptyChain(nullptr, c), "WTF? ItemCount=0");
}

TEST(ClusterChainTest, FileSystemOfAChainAndClusterCounts) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("d.img"), std::string(8192, '\0'));
    auto disk = test::OpenImageWithFileSystem(dir.File("d.img"), 1, 0, 64);
    TxFileSystem* fs = disk->fFileSystem;

    ChainGuard g;
    PxClusterChain c = g.Add(test::MakeChain({5}));
    EXPECT_EQ(ChainFileSystem(c), nullptr);
    c->Owner = fs;
    EXPECT_EQ(ChainFileSystem(c), fs);
    c->Owner = fs->fFileChains;
    EXPECT_EQ(ChainFileSystem(c), fs);
    TPointerList loose;
    c->Owner = &loose;
    EXPECT_EQ(ChainFileSystem(c), nullptr);
    c->Owner = nullptr;

    // 512-byte clusters.
    struct Case {
        int64_t Size;
        int32_t Clusters;
    };
    for (Case k : {Case{0, 1}, Case{1, 1}, Case{512, 1}, Case{513, 2}, Case{1025, 3}})
        EXPECT_EQ(ClusterCountForSize(fs, k.Size), k.Clusters) << k.Size;
    EXPECT_ASSERTION(ClusterCountForSize(fs, -1), "WTF?");
    EXPECT_ASSERTION(ClusterCountForSize(nullptr, 1), "WTF?");
    fs->fSectorsPerCluster = 0;
    EXPECT_ASSERTION(ClusterCountForSize(fs, 1), "WTF?");
}

} // namespace
} // namespace qrt
