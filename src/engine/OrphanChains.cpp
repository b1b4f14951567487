// Phase 4 of a run and its sequel: allocation chains that no directory reaches any more (their
// directory was overwritten or wiped) are assembled from the allocation table, and those still
// unclaimed after phase 5 are queued to be saved as "~LostFiles\UnknownFileN".

#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/FileSystem.h"
#include "engine/dmMain.h"
#include "fat/FATxStream.h"
#include "fat/FileSystemFAT.h"
#include "support/ListUtils.h"

#include <vector>

QRT_UNIT("dmMain")

namespace qrt {

namespace {

PxClusterChain ListChain(const TPointerList* aList, int32_t aIndex) {
    return static_cast<PxClusterChain>(aList->Get(aIndex));
}

// Assembles the orphan chains of one phase 4 into the file system's fOtherChains, which stays
// sorted by first cluster after its reserved slots. Every cluster belongs to at most one assembled
// chain: a walk stops at a cluster taken before, and when that cluster starts an assembled chain the
// new clusters are put in front of it.
class TxOrphanChainBuilder {
public:
    TxOrphanChainBuilder(TdmodMain& aEngine, TFileSystemFATx* aFileSystem, const uint8_t* aFAT)
        : fEngine(aEngine), fs(aFileSystem), fFAT(aFAT), fList(aFileSystem->fOtherChains),
          fReserved(aFileSystem->GetReservedCount(aFileSystem->fOtherChains)),
          fTaken(aFileSystem->ClusterCount) {}

    void Visit(uint32_t aCluster) {
        if (fTaken[aCluster]) return;
        uint8_t state = 0;
        uint32_t next = fs->ReadFATEntryState(fFAT, aCluster, state);
        // A single allocated cluster is a chain too (a small file); its predecessor, when one turns
        // up later in the scan, is put in front of it.
        if (state != csInUse && state != csEndOfChain) return;
        // A cluster that starts a catalogued file is left to phase 5, so the file keeps its name.
        if (StartsFileChain(aCluster)) return;

        PxClusterChain chain = nullptr;
        try {
            AddCluster(chain, aCluster);
            fTaken[aCluster] = true;
            int32_t joined = -1;
            while (state == csInUse) {
                uint32_t n = next;
                if (!fs->IsValidCluster(n) || fEngine.ClusterBitmap->GetState(n) != cbUnreached) break;
                if (fTaken[n]) {
                    joined = IndexOfChainStartingAt(n);
                    break;
                }
                if (StartsFileChain(n)) break;
                AddCluster(chain, n);
                fTaken[n] = true;
                next = fs->ReadFATEntryState(fFAT, n, state);
            }
            if (joined < 0) {
                fs->FindChainIndex(fList, chain, 1);
            } else if (chain->ItemCount == 1) {
                PxClusterChain head = ListChain(fList, joined);
                InsertFirstCluster(head, aCluster);
                DisposeClusterChain(chain);
                Reposition(joined);
            } else {
                // The walk ran into the head of a chain assembled before: that chain becomes the tail.
                PxClusterChain tail = ListChain(fList, joined);
                AppendChain(chain, tail);
                if (joined != fList->Count - 1) fList->Move(joined, fList->Count - 1);
                fList->Delete(fList->Count - 1);
                fs->FindChainIndex(fList, chain, 1);
            }
        } catch (...) {
            if (chain && !chain->Owner) DisposeClusterChain(chain);
            throw;
        }
    }

private:
    bool StartsFileChain(uint32_t aCluster) {
        PxClusterChain found = nullptr;
        return fs->FindFileChain(aCluster, found, 0) >= 0 && found != nullptr;
    }

    int32_t IndexOfChainStartingAt(uint32_t aCluster) {
        PxClusterChain found = nullptr;
        int32_t index = fs->FindChainByCluster(fList, aCluster, 0, found);
        return index >= fReserved && found ? index : -1;
    }

    // Moves the chain at aIndex, whose first cluster changed, to its place in the sorted part.
    void Reposition(int32_t aIndex) {
        uint32_t key = FirstCluster(ListChain(fList, aIndex));
        int32_t target = aIndex;
        while (target > fReserved && FirstCluster(ListChain(fList, target - 1)) > key)
            --target;
        while (target < fList->Count - 1 && FirstCluster(ListChain(fList, target + 1)) < key)
            ++target;
        if (target != aIndex) fList->Move(aIndex, target);
    }

    TdmodMain& fEngine;
    TFileSystemFATx* fs;
    const uint8_t* fFAT;
    TPointerList* fList;
    int32_t fReserved;
    std::vector<bool> fTaken;
};

} // namespace

void TdmodMain::AssembleOrphanChains() {
    if (IsCancelled()) return;
    QRT_ASSERT(ClusterBitmap != nullptr, "ClusterBitmap is required for lost files&dirs!");
    fFileSystem->_relinkChains();
    auto* fat = dynamic_cast<TFileSystemFATx*>(fFileSystem);
    QRT_ASSERT(fat != nullptr, "WTF?");
    // The whole scan reads one locked in-memory copy of the allocation table.
    TxDiskStream* copy = fat->GetCurrentFAT();
    copy->LoadData();
    TxFATDataLock lock(copy);
    TxOrphanChainBuilder builder(*this, fat, lock.Data());
    ScanClusters([&builder](uint32_t c) { builder.Visit(c); });
}

void TdmodMain::QueueOrphanChains() {
    if (IsCancelled()) return;
    TPointerList* list = fFileSystem->fOtherChains;
    for (int32_t i = fFileSystem->GetReservedCount(list); i < list->Count; ++i) {
        auto chain = static_cast<PxClusterChain>(list->Get(i));
        if (!chain || chain->ItemCount == 0) continue;
        bool unreached = true;
        for (int32_t k = 0; k < chain->ItemCount && unreached; ++k)
            unreached = ClusterBitmap->GetState(chain->Clusters[static_cast<size_t>(k)]) == cbUnreached;
        if (!unreached) continue;
        try {
            AddRecoveredChain(chain);
        } catch (const std::exception& e) {
            HandleException(e);
        }
    }
}

} // namespace qrt
