#include "TestFileSystem.h"
#include "TestUtil.h"

#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/FileSystem.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFileBytes(fDir.File("vol.img"), std::string(64 * 512, '\0'));
        fDisk = test::OpenImageWithFileSystem(fDir.File("vol.img"), 1, 0, 64);
        fs = static_cast<test::TTestFileSystem*>(fDisk->fFileSystem);
    }

    PxClusterChain Slot(TPointerList* aList, int32_t aIndex) {
        return aIndex < aList->Count ? static_cast<PxClusterChain>(aList->Get(aIndex)) : nullptr;
    }
    std::vector<uint32_t> FirstClusters(TPointerList* aList) {
        std::vector<uint32_t> result;
        for (int32_t i = 0; i < aList->Count; ++i) {
            PxClusterChain c = Slot(aList, i);
            result.push_back(c ? FirstCluster(c) : 0);
        }
        return result;
    }

    test::TempDir fDir;
    std::unique_ptr<TxDiskAccessor> fDisk;
    test::TTestFileSystem* fs = nullptr;
};

TEST_F(FileSystemTest, ListsAndTheirReservedSlots) {
    EXPECT_EQ(fs->fFileChains->Owner, fs);
    EXPECT_TRUE(fs->fDirectoryChains->OwnsItems);
    EXPECT_EQ(fs->GetReservedCount(fs->fFileChains), 0);
    EXPECT_EQ(fs->GetReservedCount(fs->fDirectoryChains), 1);
    EXPECT_EQ(fs->GetReservedCount(fs->fOtherChains), 2);
    TPointerList foreign;
    EXPECT_EQ(fs->GetReservedCount(&foreign), 0);
    EXPECT_EQ(fs->ChainListName(fs->fOtherChains), "fOtherChains");
    EXPECT_EQ(fs->ChainListName(fs->fDirectoryChains), "fDirectoryChains");
    EXPECT_EQ(fs->ChainListName(fs->fFileChains), "fFileChains");
    EXPECT_ASSERTION(fs->ChainListName(&foreign), "WTF?");

    EXPECT_EQ(fs->GetBytesPerCluster(), 512u);
    EXPECT_EQ(fs->GetFirstClusterNo(), 2u);
    EXPECT_TRUE(fs->IsValidCluster(2));
    EXPECT_TRUE(fs->IsValidCluster(63));
    EXPECT_FALSE(fs->IsValidCluster(1));
    EXPECT_FALSE(fs->IsValidCluster(64));
    EXPECT_TRUE(fs->Mount());
    EXPECT_EQ(fs->GetDirectoryClass(), nullptr); // the test class has no directory accessor
    EXPECT_STREQ(fs->GetAccessorClass(2)->Name, "TxFileStream");
    EXPECT_ASSERTION(fs->CreateFileEntry(), "UNIMPLEMENTED!");
    EXPECT_THROW(fs->Check(0), EAbstractError);
    EXPECT_THROW(fs->GetDefaultSectorsPerCluster(1000), EAbstractError);
}

TEST_F(FileSystemTest, FilesChainsSortedByFirstCluster) {
    fs->Link({20, 21});
    fs->Link({5});
    fs->Link({40, 12});
    fs->Link({9, 10, 11});
    PxClusterChain chain = nullptr;
    for (uint32_t first : {20u, 5u, 40u, 9u})
        EXPECT_GE(fs->FindFileChain(first, chain, 1), 0);
    EXPECT_EQ(FirstClusters(fs->fFileChains), (std::vector<uint32_t>{5, 9, 20, 40}));
    EXPECT_EQ(fs->GetClusterChainCalls, 4);

    EXPECT_EQ(fs->FindFileChain(40, chain, 0), 3);
    EXPECT_EQ(chain->ItemCount, 2);
    EXPECT_EQ(chain->Owner, fs->fFileChains);
    EXPECT_EQ(fs->FindFileChain(40, chain, 1), 3); // found: nothing is built again
    EXPECT_EQ(fs->GetClusterChainCalls, 4);
    EXPECT_EQ(fs->FindFileChain(21, chain, 0), -1); // only first clusters are keys
    EXPECT_EQ(chain, nullptr);
    EXPECT_ASSERTION(fs->FindFileChain(5, chain, 2), "UNFINISHED!!");
    EXPECT_ASSERTION(fs->FindChainByCluster(nullptr, 5, 0, chain), "WTF?");

    PxClusterChain nine = fs->FindChain(9, 2);
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(fs->IndexOfFileChain(nine), 1);
    EXPECT_EQ(fs->FindChain(9, 1), nullptr);
    TPointerList* list = nullptr;
    EXPECT_EQ(fs->LocateChain(nine, list), 1);
    EXPECT_EQ(list, fs->fFileChains);
    EXPECT_EQ(fs->FindChainAnywhere(33, list, 0, chain), -1);
    EXPECT_EQ(list, nullptr);

    // A chain with the same first cluster that is not the filed one cannot be located.
    PxClusterChain twin = test::MakeChain({9});
    EXPECT_ASSERTION(fs->LocateChain(twin, list), "WTF?");
    EXPECT_EQ(fs->IndexOfFileChain(twin), -1);
    DisposeClusterChain(twin);
}

TEST_F(FileSystemTest, EmptyDirectoryListAndTheRootRule) {
    // Nothing filed yet: a directory chain goes behind the reserved hole of the root.
    fs->Link({30});
    PxClusterChain chain = nullptr;
    EXPECT_EQ(fs->FindDirectoryChain(30, chain, 1), 1);
    EXPECT_EQ(Slot(fs->fDirectoryChains, 0), nullptr);
    EXPECT_EQ(fs->fDirectoryChains->Count, 2);

    // The root is a cluster: its chain fills slot 0 without moving anything.
    fs->fRootAddress = ClusterAddress(2);
    fs->Link({2, 3});
    EXPECT_EQ(fs->FindDirectoryChain(2, chain, 1), 0);
    PxClusterChain root = chain;
    EXPECT_EQ(FirstClusters(fs->fDirectoryChains), (std::vector<uint32_t>{2, 30}));

    // The root's cluster answers with slot 0 whatever list is searched.
    EXPECT_EQ(fs->FindFileChain(2, chain, 0), 0);
    EXPECT_EQ(chain, root);
    EXPECT_EQ(fs->fFileChains->Count, 0);
    EXPECT_EQ(fs->IndexOfDirectoryChain(root), 0);
    EXPECT_EQ(fs->AddDirectoryChain(root), 0);

    // Another chain starting at the root's cluster cannot be filed.
    PxClusterChain impostor = test::MakeChain({2});
    EXPECT_ASSERTION(fs->AddDirectoryChain(impostor), "WTF?");
    DisposeClusterChain(impostor);
}

TEST_F(FileSystemTest, CrossLinkedChainsAreFiledSideBySide) {
    PxClusterChain a = test::MakeChain({7, 8});
    PxClusterChain b = test::MakeChain({7});
    PxClusterChain c = test::MakeChain({7, 9});
    PxClusterChain low = test::MakeChain({3});
    for (PxClusterChain x : {a, b, c, low})
        EXPECT_GE(fs->FindChainIndex(fs->fFileChains, x, 1), 0);
    EXPECT_EQ(FirstClusters(fs->fFileChains), (std::vector<uint32_t>{3, 7, 7, 7}));
    for (PxClusterChain x : {a, b, c, low}) {
        EXPECT_EQ(x->Owner, fs->fFileChains);
        int32_t index = fs->IndexOfFileChain(x);
        ASSERT_GE(index, 0);
        EXPECT_EQ(Slot(fs->fFileChains, index), x);
        EXPECT_EQ(fs->FindChainIndex(fs->fFileChains, x, 1), index); // filed once only
    }
    EXPECT_EQ(fs->fFileChains->Count, 4);
    PxClusterChain found = nullptr;
    EXPECT_GE(fs->FindFileChain(7, found, 0), 1);
    EXPECT_EQ(FirstCluster(found), 7u);
}

TEST_F(FileSystemTest, ChainListChecks) {
    fs->Link({4});
    fs->Link({6});
    PxClusterChain chain = nullptr;
    fs->FindFileChain(4, chain, 1);
    fs->FindFileChain(6, chain, 1);
    fs->CheckChainList(fs->fFileChains);

    chain->Owner = nullptr;
    EXPECT_ASSERTION(fs->CheckChainList(fs->fFileChains), "WTF?");
    chain->Owner = fs->fFileChains;

    fs->fFileChains->Put(1, nullptr); // a hole in the sorted part
    EXPECT_ASSERTION(fs->CheckChainList(fs->fFileChains), "WTF? fFileChains[1] = NIL!");
    DisposeClusterChain(chain);
    PxClusterChain probe = nullptr;
    EXPECT_ASSERTION(fs->FindFileChain(9, probe, 0), "WTF? fFileChains[1] = NIL!");
}

TEST_F(FileSystemTest, RelinkingParents) {
    fs->fRootAddress = ClusterAddress(2);
    for (uint32_t c : {2u, 10u, 20u, 30u, 40u})
        fs->Link({c});
    PxClusterChain root = nullptr, docs = nullptr, file = nullptr, orphan = nullptr, top = nullptr;
    fs->FindDirectoryChain(2, root, 1);
    fs->FindDirectoryChain(10, docs, 1);
    fs->FindFileChain(20, file, 1);
    fs->FindFileChain(30, orphan, 1);
    fs->FindFileChain(40, top, 1);
    docs->Name = "DOCS";
    file->Name = "A.TXT";

    docs->ParentChain = root;   // the parent cluster is filled in from the link
    file->ParentClusterNo = 10; // the link is found from the parent cluster
    top->ParentClusterNo = 0;   // a child of a root without chain: nothing to link
    fs->_relinkChains();
    EXPECT_EQ(docs->ParentClusterNo, 2);
    EXPECT_EQ(file->ParentChain, docs);
    EXPECT_EQ(top->ParentChain, nullptr);
    EXPECT_EQ(orphan->ParentChain, nullptr);
    EXPECT_EQ(orphan->ParentClusterNo, -1);
    fs->_relinkChains(); // verification of the links made
    EXPECT_EQ(ChainPath(file), "?\\~#2\\DOCS\\A.TXT");

    // A link that disagrees with the parent cluster.
    file->ParentClusterNo = 2;
    try {
        fs->_relinkChains();
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(test::AssertionText(e).rfind("WTF? wClusterChainParent=?\\~#2: [2] ", 0), 0u)
            << test::AssertionText(e);
    }
    file->ParentClusterNo = 10;

    // A parent cluster that is not catalogued as a directory.
    orphan->ParentClusterNo = 33;
    EXPECT_ASSERTION(fs->_relinkChains(), "WTF?");
}

TEST_F(FileSystemTest, SpecialAreaChains) {
    for (uint32_t c = 2; c < 60; ++c)
        fs->Table[c] = c + 1; // all in use ...
    fs->Table[59] = test::TTestFileSystem::EndOfChain;
    fs->Table[60] = fs->Table[62] = 0; // ... but 60, 62 and 63
    fs->Table[61] = test::TTestFileSystem::BadCluster;
    fs->Table[63] = 0;
    fs->Table[7] = test::TTestFileSystem::BadCluster;

    PxClusterChain freeArea = fs->GetFreeAreaChain();
    EXPECT_EQ(
        std::vector<uint32_t>(freeArea->Clusters.begin(), freeArea->Clusters.begin() + freeArea->ItemCount),
        (std::vector<uint32_t>{60, 62, 63}));
    EXPECT_EQ(freeArea->Name, std::string("\0FREE\0AREA\0", 11));
    EXPECT_EQ(freeArea->Owner, fs->fOtherChains);
    EXPECT_EQ(Slot(fs->fOtherChains, 0), freeArea);
    EXPECT_EQ(fs->GetFreeAreaChain(), freeArea);

    PxClusterChain bad = fs->GetBadClusterAreaChain();
    EXPECT_EQ(bad->ItemCount, 2);
    EXPECT_EQ(bad->Name, std::string("\0BAD\0CLUSTER\0AREA\0", 18));
    EXPECT_EQ(Slot(fs->fOtherChains, 1), bad);
    EXPECT_EQ(fs->GetBadClusterAreaChain(), bad);
}

TEST_F(FileSystemTest, AppendNextClustersThroughAFilter) {
    // Free clusters 11..20; the filter takes them up to 14 and then ends the scan.
    for (uint32_t c = 2; c < 64; ++c)
        fs->Table[c] = (c >= 11 && c <= 20) ? 0 : test::TTestFileSystem::EndOfChain;
    PxClusterChain chain = test::MakeChain({10});
    int calls = 0;
    fs->AppendNextClusters(
        chain, csFree,
        [&](uint32_t aCluster, uint8_t aState, int32_t aReserved, int64_t& aPosition) {
            ++calls;
            EXPECT_EQ(aState, csFree);
            EXPECT_EQ(aReserved, 0);
            if (aCluster <= 14) return true;
            aPosition = -1;
            return false;
        },
        -1);
    EXPECT_EQ(std::vector<uint32_t>(chain->Clusters.begin(), chain->Clusters.begin() + chain->ItemCount),
              (std::vector<uint32_t>{10, 11, 12, 13, 14}));
    EXPECT_EQ(calls, 5);
    DisposeClusterChain(chain);
}

TEST_F(FileSystemTest, DirectoryPredicates) {
    using P = test::TTestFileSystem::Probe;
    fs->fRootAddress = ClusterAddress(2);
    auto key = [](const TxDiskAddress& a) { return std::make_pair(a.Kind, a.Number); };
    fs->Probes[key(ClusterAddress(2))] = P{5, ClusterAddress(2), ClusterAddress(2)};
    fs->Probes[key(ClusterAddress(10))] = P{5, ClusterAddress(10), ClusterAddress(2)};
    fs->Probes[key(ClusterAddress(11))] = P{3, ClusterAddress(11), ClusterAddress(11)};
    fs->Probes[key(ClusterAddress(12))] = P{5, ClusterAddress(12), ClusterAddress(-1)};
    fs->Probes[key(ClusterAddress(13))] = P{5, ClusterAddress(99), ClusterAddress(2)};
    fs->Probes[key(ClusterAddress(14))] = P{2, ClusterAddress(14), ClusterAddress(2)};

    int32_t code = 0;
    EXPECT_EQ(fs->ProbeRoot(code, 0), 5);
    EXPECT_TRUE(fs->IsRootDirectory(0, 0));
    EXPECT_FALSE(fs->IsSubdirectoryCluster(2, 0));

    struct Case {
        uint32_t Cluster;
        uint8_t Status;
        int32_t Code;
        bool Subdirectory;
        bool DirectoryAt;
    };
    const Case cases[] = {
        {10, 5, 0, true, true},        // a sound subdirectory
        {11, 2, 0x30001, false, true}, // "." and ".." name the same cluster
        {12, 2, 0x30003, false, true}, // ".." is null
        {13, 2, 0x30002, false, true}, // "." names another cluster
        {14, 2, 0, true, true},        // status 2 passes through as it is
        {15, 0, 0, false, false},      // no directory there
    };
    for (const Case& c : cases) {
        code = 0;
        EXPECT_EQ(fs->CheckDirectoryCluster(c.Cluster, code, 1), c.Status) << c.Cluster;
        EXPECT_EQ(code, c.Code) << c.Cluster;
        EXPECT_EQ(fs->IsSubdirectoryCluster(c.Cluster, 1), c.Subdirectory) << c.Cluster;
        EXPECT_EQ(fs->IsDirectoryAt(ClusterAddress(static_cast<int32_t>(c.Cluster)), 1), c.DirectoryAt)
            << c.Cluster;
    }
    EXPECT_TRUE(fs->IsDirectoryAtAny(ClusterAddress(10)));
    EXPECT_EQ(fs->LastProbeFlag, 2);

    // A root whose "." does not name the root is not taken as one.
    fs->Probes[key(ClusterAddress(2))] = P{5, ClusterAddress(3), ClusterAddress(2)};
    EXPECT_EQ(fs->ProbeRoot(code, 0), 2);
    EXPECT_FALSE(fs->IsRootDirectory(0, 0));
}

TEST_F(FileSystemTest, DestructionDisposesFiledChainsAndReportsStrangers) {
    fs->Link({5});
    PxClusterChain chain = nullptr;
    fs->FindFileChain(5, chain, 1);
    fs->fClusterBitmap = new TxClusterBitmap(64);
    fs->GetFreeAreaChain();
    fs->GetBadClusterAreaChain(); // none: an empty chain in slot 1

    // A chain that belongs to someone else is reported and left to its owner.
    PxClusterChain stranger = test::MakeChain({9});
    TPointerList elsewhere;
    elsewhere.OwnsItems = false;
    stranger->Owner = &elsewhere;
    fs->fOtherChains->Add(stranger);

    std::vector<std::string> reports;
    TExceptionHandler previous =
        SetExceptionHandler([&](const std::exception& e) { reports.push_back(e.what()); });
    delete fDisk->fFileSystem;
    SetExceptionHandler(previous);
    EXPECT_EQ(fDisk->fFileSystem, nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("WTF? #2, ?\\~#9: [9] \r\n  Owner: TPointerList (Disk\\DiskIO, line ", 0), 0u)
        << reports[0];
    DisposeClusterChain(stranger);
}

} // namespace
} // namespace qrt
