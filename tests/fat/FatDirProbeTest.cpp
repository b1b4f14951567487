#include "FatTestSupport.h"
#include "TestUtil.h"

#include "disk/DiskStream.h"
#include "fat/DirectoryFAT.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace qrt {
namespace {

using test::FatImage;

std::array<uint8_t, 32> Entry(const std::string& aName11, uint8_t aAttr, uint32_t aCluster) {
    std::array<uint8_t, 32> e{};
    for (size_t i = 0; i < 11; ++i)
        e[i] = static_cast<uint8_t>(aName11.at(i));
    e[11] = aAttr;
    e[20] = static_cast<uint8_t>(aCluster >> 16);
    e[21] = static_cast<uint8_t>(aCluster >> 24);
    e[26] = static_cast<uint8_t>(aCluster);
    e[27] = static_cast<uint8_t>(aCluster >> 8);
    return e;
}

uint32_t Le16(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | (uint32_t{static_cast<uint8_t>(s[at + 1])} << 8);
}

// Docs (a child of the root) holds Sub; a.txt holds text, ones.bin bytes 0x01, empty.txt nothing.
class FatDirProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        image = std::make_unique<FatImage>(tmp.File("v.img"), test::VolumeOptions(16, 16384));
        image->Mkdir("Docs");
        image->Mkdir("Docs/Sub");
        image->WriteFile("Docs/Sub/f.txt", "f");
        image->WriteFile("a.txt", "hello");
        image->WriteFile("ones.bin", std::string(4096, '\x01'));
        image->WriteFile("empty.txt", "");
        Open();
    }

    void Open() {
        disk.reset();
        disk = test::OpenImage(image->Path());
        fs = test::AttachFileSystem(disk.get(), 16);
        ASSERT_TRUE(fs->Mount());
    }

    uint32_t EntryCluster(uint64_t aDirOffset, const std::string& aName11) {
        std::string dir = image->ReadBytes(aDirOffset, 2048);
        for (size_t at = 0; at + 32 <= dir.size(); at += 32)
            if (dir.compare(at, 11, aName11) == 0) return Le16(dir, at + 26);
        throw std::runtime_error("no entry " + aName11);
    }
    uint64_t RootOffset() const { return uint64_t(fs->fRootAddress.Number) * 512; }
    uint64_t ClusterOffset(uint32_t aCluster) const { return uint64_t{fs->ClusterToSector(aCluster)} * 512; }

    struct Probe {
        uint8_t Result;
        int32_t Code;
        int32_t Sound;
        TxDiskAddress Self, Parent;
    };
    Probe Run(const TxDiskAddress& aAddress, int32_t aDeep) {
        Probe p{};
        p.Result = fs->ProbeDirectory(aAddress, p.Code, aDeep, p.Sound, p.Self, p.Parent);
        return p;
    }

    test::TempDir tmp;
    std::unique_ptr<FatImage> image;
    std::unique_ptr<TxDiskAccessor> disk;
    TFileSystemFATx* fs = nullptr;
};

TEST_F(FatDirProbeTest, EntryChecks) {
    struct Case {
        const char* What;
        std::array<uint8_t, 32> Entry;
        bool Strict;
        uint8_t Result;
        int32_t Problem;
    };
    auto with = [](std::array<uint8_t, 32> e, size_t at, uint8_t v) {
        e[at] = v;
        return e;
    };
    uint32_t bound = fs->ClusterCount;
    const Case cases[] = {
        {"end marker", Entry(std::string(11, '\0'), 0, 0), true, 5, 77},
        {"file", Entry("A       TXT", 0x20, 5), true, 5, 0},
        {"dot", Entry(".          ", 0x10, 5), true, 5, 0},
        {"dot dot", Entry("..         ", 0x10, 5), true, 5, 0},
        {"dot dot of a child of the root", Entry("..         ", 0x10, 0), true, 2, 0x21013},
        {"other dot name, strict", Entry(".X         ", 0x10, 5), true, 2, 0x21014},
        {"control first byte",
         Entry("\x10"
               "A      TXT",
               0x20, 5),
         true, 2, 0x21014},
        {"blank first byte", Entry(" A      TXT", 0x20, 5), false, 2, 0x21014},
        {"attribute bits 6-7", Entry("A       TXT", 0x60, 5), true, 2, 0x21015},
        {"long name",
         Entry(std::string("\x41"
                           "a\0b\0c\0d\0e\0",
                           11),
               0x0F, 0),
         true, 5, 0},
        {"long name type",
         with(Entry(std::string("\x41"
                                "a\0b\0c\0d\0e\0",
                                11),
                    0x0F, 0),
              12, 1),
         true, 2, 0x21019},
        {"long name attribute",
         Entry(std::string("\x41"
                           "a\0b\0c\0d\0e\0",
                           11),
               0x2F, 0),
         true, 2, 0x21018},
        {"cluster high word on FAT16", Entry("A       TXT", 0x20, 0x10005), true, 2, 0x24001},
        {"volume label", Entry("MY DISK    ", 0x08, 0), true, 5, 0},
        {"volume label with a cluster", Entry("MYDISK     ", 0x08, 5), true, 2, 0x21013},
        {"empty file", Entry("EMPTY   TXT", 0x20, 0), true, 2, 0x21013},
        {"cluster beyond the volume", Entry("A       TXT", 0x20, bound), true, 2, 0x21013},
        {"last cluster", Entry("A       TXT", 0x20, bound - 1), true, 5, 0},
        {"lower-case name", Entry("a       TXT", 0x20, 5), true, 2, 0x21017},
        {"deleted",
         Entry("\xe5"
               "B      TXT",
               0x20, 5),
         true, 5, 0},
    };
    for (const Case& c : cases) {
        int32_t problem = 77;
        EXPECT_EQ(fs->CheckDirEntry(c.Entry, problem, c.Strict), c.Result) << c.What;
        EXPECT_EQ(problem, c.Problem) << c.What;
    }
}

TEST_F(FatDirProbeTest, ProbesOfDirectoriesAndOtherData) {
    uint32_t docs = EntryCluster(RootOffset(), "DOCS       ");
    uint32_t sub = EntryCluster(ClusterOffset(docs), "SUB        ");
    uint32_t ones = EntryCluster(RootOffset(), "ONES    BIN");

    // A child of the root: "." and ".." with parent cluster 0; deep, ".." fails the cluster rule.
    Probe p = Run(ClusterAddress(docs), 0);
    EXPECT_EQ(p.Result, 5);
    EXPECT_TRUE(SameAddress(p.Self, ClusterAddress(docs)));
    EXPECT_TRUE(SameAddress(p.Parent, ClusterAddress(0)));
    EXPECT_EQ(p.Sound, 1);
    p = Run(ClusterAddress(docs), 1);
    EXPECT_EQ(p.Result, 3);
    EXPECT_EQ(p.Code, 0x21013);
    EXPECT_EQ(p.Sound, 1);

    // A deeper directory is sound throughout: ".", ".." and f.txt.
    p = Run(ClusterAddress(sub), 2);
    EXPECT_EQ(p.Result, 5);
    EXPECT_EQ(p.Code, 0);
    EXPECT_EQ(p.Sound, 3);
    EXPECT_TRUE(SameAddress(p.Parent, ClusterAddress(docs)));
    EXPECT_TRUE(fs->IsSubdirectoryCluster(sub, 1));
    EXPECT_TRUE(fs->IsDirectoryAtAny(ClusterAddress(sub)));

    // The root area and an all-zero cluster hold ordinary entries: they name themselves.
    p = Run(fs->fRootAddress, 0);
    EXPECT_EQ(p.Result, 5);
    EXPECT_TRUE(SameAddress(p.Self, fs->fRootAddress) && SameAddress(p.Parent, fs->fRootAddress));
    p = Run(fs->fRootAddress, 1); // deep, the empty file's cluster 0 fails
    EXPECT_EQ(p.Result, 1);
    EXPECT_EQ(p.Code, 0x21013);
    EXPECT_EQ(p.Sound, 4); // Docs's long-name entry and short entry, a.txt, ones.bin
    EXPECT_TRUE(fs->IsRootDirectory(0, 0));
    uint32_t free = fs->ClusterCount - 1;
    p = Run(ClusterAddress(free), 1);
    EXPECT_EQ(p.Result, 5);
    EXPECT_TRUE(SameAddress(p.Self, ClusterAddress(free)) && SameAddress(p.Parent, ClusterAddress(free)));

    // File data is no directory; neither is a cluster outside the volume or a read cut by its end.
    p = Run(ClusterAddress(ones), 1);
    EXPECT_EQ(p.Result, 1);
    EXPECT_EQ(p.Code, 0x21014);
    EXPECT_TRUE(IsNullAddress(p.Self));
    EXPECT_EQ(Run(ClusterAddress(fs->ClusterCount), 0).Result, 1);
    EXPECT_EQ(Run(SectorAddress(static_cast<int32_t>(fs->fTotalSectors) - 1), 0).Result, 1);
    TxDiskAddress other{0, akOther, 5};
    EXPECT_ASSERTION(Run(other, 0), "WTF?");
}

TEST_F(FatDirProbeTest, AccessorClassesAndEntryClasses) {
    const struct {
        int32_t Kind;
        const char* Name;
    } kinds[] = {{1, "TDirectoryFATx"}, {2, "TxFileStream"}, {3, "TxDiskStream"}, {4, "TxDiskStream"},
                 {5, "TxDiskStream"},   {0, nullptr},        {6, nullptr}};
    for (const auto& k : kinds) {
        const TxAccessorClass* cls = fs->GetAccessorClass(k.Kind);
        if (!k.Name)
            EXPECT_EQ(cls, nullptr) << k.Kind;
        else
            EXPECT_STREQ(cls->Name, k.Name) << k.Kind;
    }
    EXPECT_EQ(fs->GetDirectoryClass(), &TDirectoryFATxClass);
    std::unique_ptr<TxDirectoryAccessor> made(TDirectoryFATxClass.CreateDirectory(disk.get()));
    EXPECT_STREQ(made->ClassName(), "TDirectoryFATx");

    EXPECT_EQ(fs->GetEntryClass("docs"), &TDirectoryFATxClass);
    EXPECT_EQ(fs->GetEntryClass("a.txt"), &TxFileStreamClass);
    EXPECT_EQ(fs->GetEntryClass("empty.txt"), &TxFileStreamClass);
    EXPECT_EQ(fs->GetEntryClass("missing"), nullptr);
}

TEST_F(FatDirProbeTest, RootDirectoriesAndTheDirectorySearch) {
    TxDirectoryAccessor* root = fs->GetRootDirectory();
    EXPECT_EQ(fs->GetRootDirectory(), root);
    EXPECT_TRUE(root->IsRoot());
    EXPECT_EQ(root->GetChain(), nullptr);
    EXPECT_EQ(root->GetStream()->GetSize(), int64_t{fs->fRootDirSectors} * 512);
    EXPECT_TRUE(fs->FindRootDirectory(-1)); // the root itself probes sound

    // With a damaged root the search goes on to the first cluster that is a sound directory.
    image->WriteBytes(RootOffset(), std::string(32, '\x01'));
    Open();
    EXPECT_TRUE(fs->FindRootDirectory(-1));
    uint32_t found = fs->fLastDirectoryCluster;
    ASSERT_GE(found, 2u);
    int32_t code = 0, sound = 0;
    TxDiskAddress self, parent;
    EXPECT_GE(fs->ProbeDirectory(ClusterAddress(static_cast<int32_t>(found)), code, 1, sound, self, parent),
              4);
    EXPECT_TRUE(fs->FindRootDirectory(found + 1));
    EXPECT_GT(fs->fLastDirectoryCluster, found);
}

TEST(FatRootDirectory, Fat32RootChain) {
    test::TempDir tmp;
    FatImage image(tmp.File("v.img"), test::VolumeOptions(32, 40000, 2, "-s 1"));
    image.Mkdir("Docs");
    auto disk = test::OpenImage(image.Path());
    TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), 32);
    ASSERT_TRUE(fs->Mount());
    TxDirectoryAccessor* root = fs->GetRootDirectory();
    ASSERT_NE(root->GetChain(), nullptr);
    EXPECT_EQ(root->GetChain(), fs->fDirectoryChains->Get(0));
    EXPECT_EQ(root->GetChain()->ParentClusterNo, 0);
    EXPECT_EQ(FirstCluster(root->GetChain()), 2u);
    EXPECT_EQ(root->GetPath(), "");
    EXPECT_TRUE(root->IsRoot());
    EXPECT_TRUE(fs->FindRootDirectory(-1));
    // The scan files the root chain again and the new root directory finds it there.
    fs->Scan();
    TxDirectoryAccessor* again = fs->GetRootDirectory();
    EXPECT_EQ(again->GetChain(), fs->fDirectoryChains->Get(0));
    std::unique_ptr<TxDirectoryAccessor> docs = again->OpenSubdirectory("DOCS");
    ASSERT_NE(docs, nullptr);
    TxSearchRec rec;
    ASSERT_EQ(docs->FindEntry("..", faDirectory, sfLive, rec), kFindOk);
    auto up = docs->OpenSubdirectoryEntry(rec); // ".." of 0 is the root
    docs->FindClose(rec);
    EXPECT_EQ(up->GetChain(), again->GetChain());
}

} // namespace
} // namespace qrt
