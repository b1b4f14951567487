#include "FatTestSupport.h"
#include "TestUtil.h"

#include "core/Hooks.h"
#include "core/Streams.h"
#include "disk/DiskStream.h"
#include "fat/DirectoryFAT.h"
#include "support/ListUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;

// The tree the tools write: directories (no contents) and files, volume paths with '/'.
struct Node {
    std::string Path;
    bool Directory;
    size_t Size;
};

const Node kTree[] = {
    {"ROOT.TXT", false, 1000},
    {"readme.txt", false, 0},
    {"Photo Album", true, 0},
    {"Photo Album/\xc3\x9cn\xc3\xaf"
     "c\xc3\xb6"
     "d\xc3\xa9 name.jpg",
     false, 5000},
    {"Photo Album/sub", true, 0},
    {"Photo Album/sub/deep file.bin", false, 70000},
    {"\xce\xa9mega.txt", false, 3},
    {"UPPER.DAT", false, 2048},
    {"Photo Album/sub/x", false, 1},
};

std::string Contents(const Node& aNode) {
    return test::PatternBytes(aNode.Size, static_cast<uint32_t>(aNode.Path.size()));
}

std::string VolumePath(const std::string& aPath) {
    std::string path = "\\" + aPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<uint32_t> Clusters(const TxClusterChain* aChain) {
    return std::vector<uint32_t>(aChain->Clusters.begin(), aChain->Clusters.begin() + aChain->ItemCount);
}

// Every catalogued chain by its path (after relinking), with its clusters and parent cluster.
std::map<std::string, std::string> Catalogue(TxFileSystem* aFs) {
    aFs->_relinkChains();
    std::map<std::string, std::string> out;
    for (TPointerList* list : {aFs->fDirectoryChains, aFs->fFileChains}) {
        for (int32_t i = 0; i < list->Count; ++i) {
            auto chain = static_cast<PxClusterChain>(list->Get(i));
            if (!chain) continue;
            std::string clusters;
            for (uint32_t c : Clusters(chain))
                clusters += std::to_string(c) + ",";
            out[(list == aFs->fDirectoryChains ? "D " : "F ") + ChainPath(chain)] =
                clusters + " parent " + std::to_string(chain->ParentClusterNo);
        }
    }
    return out;
}

PxClusterChain ChainAt(TxFileSystem* aFs, TPointerList* aList, const std::string& aPath) {
    for (int32_t i = 0; i < aList->Count; ++i) {
        auto chain = static_cast<PxClusterChain>(aList->Get(i));
        if (chain && ChainPath(chain) == aPath) return chain;
    }
    (void)aFs;
    return nullptr;
}

struct VolumeCase {
    int FatBits;
    uint32_t SizeKiB;
    const char* Extra;
};

const VolumeCase kVolumes[] = {
    {12, 1440, ""}, {16, 16384, ""}, {32, 40000, "-s 1"}, {32, 80000, "-s 2 -f 3"}, {16, 65536, "-S 4096"},
};

class FatScanTest : public ::testing::Test {
protected:
    void Make(const VolumeCase& aCase) {
        image = std::make_unique<FatImage>(tmp.File("v.img"),
                                           test::VolumeOptions(aCase.FatBits, aCase.SizeKiB, 2, aCase.Extra));
        image->WriteFile("gone file.txt", test::PatternBytes(2000, 7));
        for (const Node& n : kTree) {
            if (n.Directory)
                image->Mkdir(n.Path);
            else
                image->WriteFile(n.Path, Contents(n));
        }
        image->Delete("gone file.txt");
    }

    TFileSystemFATx* Mount(int aFatBits) {
        disk.reset();
        disk = test::OpenImage(image->Path());
        TFileSystemFATx* fs = test::AttachFileSystem(disk.get(), aFatBits);
        EXPECT_TRUE(fs->Mount());
        return fs;
    }

    test::TempDir tmp;
    std::unique_ptr<FatImage> image;
    std::unique_ptr<TxDiskAccessor> disk;
};

TEST_F(FatScanTest, CatalogueMatchesTheTreeTheToolsWrote) {
    for (const VolumeCase& v : kVolumes) {
        SCOPED_TRACE("FAT" + std::to_string(v.FatBits) + " " + std::to_string(v.SizeKiB) + " KiB " + v.Extra);
        Make(v);
        TFileSystemFATx* fs = Mount(v.FatBits);
        fs->Scan();
        fs->_relinkChains();
        size_t files = 0, dirs = 0;
        for (const Node& n : kTree) {
            SCOPED_TRACE(n.Path);
            TPointerList* list = n.Directory ? fs->fDirectoryChains : fs->fFileChains;
            PxClusterChain chain = ChainAt(fs, list, VolumePath(n.Path));
            if (n.Size == 0 && !n.Directory) {
                EXPECT_EQ(chain, nullptr); // an empty file has no clusters
                continue;
            }
            ASSERT_NE(chain, nullptr);
            (n.Directory ? dirs : files)++;
            EXPECT_EQ(Clusters(chain), image->Clusters(n.Path));
            std::string parent =
                n.Path.substr(0, n.Path.rfind('/') == std::string::npos ? 0 : n.Path.rfind('/'));
            if (parent.empty()) {
                // A child of the root: FAT32 links it to the root chain, FAT12/16 give parent 0.
                if (v.FatBits == 32) {
                    EXPECT_EQ(chain->ParentChain, fs->fDirectoryChains->Get(0));
                } else {
                    EXPECT_EQ(chain->ParentClusterNo, 0);
                    EXPECT_EQ(chain->ParentChain, nullptr);
                }
            } else {
                EXPECT_EQ(chain->ParentChain, ChainAt(fs, fs->fDirectoryChains, VolumePath(parent)));
            }
            if (!n.Directory) {
                // The bytes behind the chain are the file's.
                auto stream = TxDiskStream::CreateOnChain(disk.get(), static_cast<int64_t>(n.Size), chain);
                TMemoryStream copy;
                stream->CopyToStream(copy);
                EXPECT_EQ(
                    std::string(static_cast<const char*>(copy.Memory()), static_cast<size_t>(copy.GetSize())),
                    Contents(n));
            }
        }
        // Nothing else is filed: no deleted file, no "." or "..", and FAT32's root in slot 0 only.
        int32_t rootSlot = v.FatBits == 32 ? 1 : 0;
        EXPECT_EQ(Catalogue(fs).size(), files + dirs + rootSlot);
        if (v.FatBits == 32) {
            auto root = static_cast<PxClusterChain>(fs->fDirectoryChains->Get(0));
            ASSERT_NE(root, nullptr);
            EXPECT_EQ(FirstCluster(root), static_cast<uint32_t>(fs->fRootAddress.Number));
            EXPECT_EQ(ChainPath(root), "");
        }

        // The deleted file comes back from the root with its long name when deleted entries are asked for.
        TxSearchRec rec;
        TxDirectoryAccessor* root = fs->GetRootDirectory();
        ASSERT_EQ(root->FindEntry("gone file.txt", faAnyFile, sfLive | sfDeleted, rec), kFindOk);
        EXPECT_TRUE(SearchIsDeleted(rec));
        EXPECT_EQ(rec.Size, 2000);
        root->FindClose(rec);
        EXPECT_EQ(root->FindEntry("gone file.txt", faAnyFile, sfLive, rec), kNoMoreFiles);
    }
}

TEST_F(FatScanTest, ACyclicTableAndALinkOfOneEndTheChain) {
    Make(kVolumes[1]);
    std::vector<uint32_t> deep = image->Clusters("Photo Album/sub/deep file.bin");
    const std::string photo = kTree[3].Path;
    std::vector<uint32_t> upper = image->Clusters(photo);
    ASSERT_GE(deep.size(), 3u);
    ASSERT_GE(upper.size(), 2u);
    std::string table;
    {
        TFileSystemFATx* fs = Mount(16);
        uint64_t fatBytes = uint64_t{fs->fSectorsPerFAT} * 512;
        for (uint32_t copy = 0; copy < 2; ++copy) {
            uint64_t at = (uint64_t{fs->fReservedSectors} + copy * fs->fSectorsPerFAT) * 512;
            table = image->ReadBytes(at, fatBytes);
            test::PutFATEntry(table, 16, deep[2], deep[0]); // back to the start
            test::PutFATEntry(table, 16, upper[0], 1);      // the invalid link 1
            image->WriteBytes(at, table);
        }
    }
    TFileSystemFATx* fs = Mount(16);
    fs->Scan();
    fs->_relinkChains();
    PxClusterChain cyclic = ChainAt(fs, fs->fFileChains, "\\Photo Album\\sub\\deep file.bin");
    PxClusterChain one = ChainAt(fs, fs->fFileChains, VolumePath(photo));
    ASSERT_NE(cyclic, nullptr);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(Clusters(cyclic), (std::vector<uint32_t>{deep[0], deep[1], deep[2]}));
    EXPECT_EQ(Clusters(one), (std::vector<uint32_t>{upper[0]}));
}

} // namespace
} // namespace qrt
