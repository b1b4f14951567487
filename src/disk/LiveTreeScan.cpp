// The live-tree scan of TxFileSystem: the chain catalogue rebuilt from the directory tree.

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskStream.h"
#include "disk/FileSystem.h"
#include "support/ListUtils.h"

#include <memory>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

// Walks one directory and, depth first, every live subdirectory below it.
class TxLiveTreeWalk {
public:
    explicit TxLiveTreeWalk(TxFileSystem* aFileSystem) : fs(aFileSystem) {}

    void Walk(TxDirectoryAccessor* aDir) {
        TxSearchRec rec;
        if (aDir->FindFirst("*.*", faAnyFile, sfLive, rec) != kFindOk) return;
        std::unique_ptr<TxDirectoryAccessor> child;
        try {
            child = aDir->CreateSibling();
            Application().ProcessMessages();
            do {
                FileEntry(aDir, child.get(), rec);
            } while (aDir->FindNext(rec) == kFindOk);
        } catch (...) {
            aDir->FindClose(rec);
            throw;
        }
        aDir->FindClose(rec);
    }

private:
    void FileEntry(TxDirectoryAccessor* aDir, TxDirectoryAccessor* aChild, const TxSearchRec& aRec) {
        QRT_ASSERT(!aRec.Name.empty() && static_cast<uint8_t>(aRec.Name[0]) > 32, "WTF?");
        bool isDirectory = false;
        if (aRec.Attr & faDirectory) {
            if (aRec.Name == "." || aRec.Name == "..") return;
            isDirectory = true;
        }
        uint32_t first = SearchFirstCluster(aRec);
        if (first == 0) {
            QRT_ASSERT(aRec.Size == 0, "WTF?");
            return;
        }
        if (isDirectory) {
            // A directory that is already catalogued (the root, or a directory met before through a
            // damaged entry) is not walked twice: a cycle in the tree would never end.
            PxClusterChain known = nullptr;
            if (fs->FindDirectoryChain(first, known, 0) >= 0) return;
        }
        PxClusterChain chain = fs->GetClusterChain(first, aRec.Size);
        QRT_ASSERT(chain != nullptr, "WTF?");
        try {
            fs->FindChainIndex(isDirectory ? fs->fDirectoryChains : fs->fFileChains, chain, 1);
        } catch (...) {
            if (!chain->Owner) DisposeClusterChain(chain);
            throw;
        }
        if (!chain->Owner) {
            std::string dump = ChainToString(chain);
            DisposeClusterChain(chain);
            QRT_FAIL("WTF? " + dump);
        }
        if (PxClusterChain parent = aDir->GetChain()) {
            chain->ParentClusterNo = static_cast<int32_t>(FirstCluster(parent));
            chain->ParentChain = parent;
        } else if (aDir->IsRoot()) {
            // A root directory in a fixed sector area has no chain: its children get the FAT
            // convention for the root, parent cluster 0.
            chain->ParentClusterNo = 0;
        }
        chain->Name = aRec.Name;
        if (isDirectory) {
            aChild->OpenStream(TxDiskStream::CreateOnChain(fs->fDisk, -1, chain));
            fs->fClusterBitmap->MarkChain(chain, 1);
            try {
                Walk(aChild);
            } catch (const EReadError& e) {
                // A directory the device cannot read is skipped; its siblings are still walked.
                HandleException(e);
            }
        } else {
            fs->fClusterBitmap->MarkChain(chain, 2);
        }
    }

    TxFileSystem* fs;
};

} // namespace

void TxFileSystem::Scan() {
    // The cached root directory reads the root chain, which the lists are about to release.
    delete fRootDirectory;
    fRootDirectory = nullptr;
    fFileChains->Clear();
    fDirectoryChains->Clear();
    fDirectoryChains->EnsureCapacity(GetReservedCount(fDirectoryChains));
    fOtherChains->Clear();
    fOtherChains->EnsureCapacity(GetReservedCount(fOtherChains));
    if (fClusterBitmap && fClusterBitmap->fCount == ClusterCount) {
        fClusterBitmap->Clear();
    } else {
        delete fClusterBitmap;
        fClusterBitmap = nullptr;
        fClusterBitmap = new TxClusterBitmap(ClusterCount);
    }
    try {
        TxDirectoryAccessor* root = GetRootDirectory();
        QRT_ASSERT(root != nullptr, "WTF?");
        TxLiveTreeWalk(this).Walk(root);
    } catch (const Exception& e) {
        HandleException(e);
    }
}

} // namespace qrt
