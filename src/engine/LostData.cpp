// Lost files and lost directories: deleted entries and directories that nothing references any
// more become chains, linked into a tree and queued for saving.

#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/FileSystem.h"
#include "engine/dmMain.h"
#include "support/ListUtils.h"

#include <memory>

QRT_UNIT("dmMain")

namespace qrt {

namespace {

// Disposes a chain that nobody took over when the scope is left.
struct TxUnownedChainGuard {
    PxClusterChain& Chain;
    ~TxUnownedChainGuard() {
        if (Chain && !Chain->Owner) {
            try {
                DisposeClusterChain(Chain);
            } catch (const Exception& e) {
                HandleException(e);
            }
        }
    }
};

// Keeps a lost directory in the set of those being recovered while its recovery runs.
struct TxInProgress {
    std::unordered_set<uint32_t>& Set;
    uint32_t Cluster;
    ~TxInProgress() { Set.erase(Cluster); }
};

} // namespace

void LinkToParent(PxClusterChain& aChain, PxClusterChain aParent) {
    if (!aParent) return;
    CheckChain(nullptr, aChain);
    CheckChain(nullptr, aParent);
    QRT_ASSERT(aChain != nullptr, "WTF?");
    int32_t parentFirst = static_cast<int32_t>(FirstCluster(aParent));
    if (aChain->ParentChain) {
        if (parentFirst != aChain->ParentClusterNo)
            QRT_FAIL("WTF? Parent:\"" + ChainPath(aChain->ParentChain) +
                     "\", ClusterChain.ParentClusterNo: " + std::to_string(aChain->ParentClusterNo) +
                     ", aParent.Clusters[0]: " + std::to_string(parentFirst));
        QRT_ASSERT(aChain->ParentChain == aParent, "WTF?");
        return;
    }
    if (aChain->ParentClusterNo != -1 && aChain->ParentClusterNo != parentFirst)
        QRT_FAIL("WTF? ClusterChain.ParentClusterNo=" + std::to_string(aChain->ParentClusterNo) +
                 ", _clusterFirst(aParent)=" + std::to_string(parentFirst));
    aChain->ParentClusterNo = parentFirst;
    aChain->ParentChain = aParent;
}

void TdmodMain::AddRecoveredChain(PxClusterChain& aChain) {
    CheckChain(fFileSystem, aChain);
    QRT_ASSERT(aChain != nullptr && fRecoveredChains != nullptr, "WTF?");
    // The file system's special chains carry names that begin with NUL.
    if (!aChain->Name.empty() && aChain->Name[0] == '\0') aChain->Name.clear();
    fRecoveredChains->Add(aChain);
    if (!aChain->Owner) aChain->Owner = fRecoveredChains;
    MarkChainClusters(aChain);
}

bool TdmodMain::IsClusterFree(uint32_t aCluster, uint8_t, int32_t, int64_t&) {
    QRT_ASSERT(ClusterBitmap != nullptr, "WTF?");
    return ClusterBitmap->GetState(aCluster) == cbUnreached;
}

bool TdmodMain::IsFreeDirectoryCluster(uint32_t aCluster, uint8_t, int32_t, int64_t& aPosition) {
    QRT_ASSERT(ClusterBitmap != nullptr, "WTF?");
    if (ClusterBitmap->GetState(aCluster) == cbUnreached &&
        fFileSystem->IsDirectoryAtAny(ClusterAddress(static_cast<int32_t>(aCluster))))
        return true;
    aPosition = -1;
    return false;
}

void TdmodMain::RecoverLostFile(const TxSearchRec& aRec, PxClusterChain aParent, bool aInFixedRoot) {
    uint32_t cluster = SearchFirstCluster(aRec);
    if (IsUIUpdateDue())
        UpdateProgress("Checking for lost files in cluster " + std::to_string(cluster), "...",
                       BitmapPercent(ClusterBitmap));
    QRT_ASSERT(fFileSystem != nullptr && ClusterBitmap != nullptr, "WTF?");
    if (!fFileSystem->IsValidCluster(cluster) || ClusterBitmap->GetState(cluster) != cbUnreached ||
        aRec.Name.empty())
        return;

    int64_t size = aRec.Size < 0 ? 1048576 : aRec.Size;
    int32_t count = ClusterCountForSize(fFileSystem, size);
    PxClusterChain chain = nullptr;
    TxUnownedChainGuard guard{chain};
    uint8_t state = 0;
    fFileSystem->GetClusterState(cluster, state);
    switch (state) {
    case csEndOfChain:
    case csInUse:
        // The allocation table still links the cluster: its chain, catalogued or built now.
        fFileSystem->FindFileChain(cluster, chain, 1);
        break;
    case csBad:
        return;
    case csFree:
        if (fFileSystem->FindFileChain(cluster, chain, 0) < 0) {
            chain = fFileSystem->CollectClusters(
                cluster, csFree,
                [this](uint32_t c, uint8_t s, int32_t r, int64_t& p) { return IsClusterFree(c, s, r, p); },
                count);
        }
        break;
    default:
        QRT_FAIL("WTF?");
    }
    // Nothing left to hold the file (every free cluster is claimed): nothing to queue.
    if (!chain || chain->ItemCount == 0) return;

    LinkToParent(chain, aParent);
    if (aInFixedRoot && chain->ParentClusterNo == -1) chain->ParentClusterNo = 0;
    chain->Name = aRec.Name;
    chain->Size = aRec.Size;
    if (SearchIsDeleted(aRec)) chain->Flags |= 1;
    NoteEntryTime(chain, aRec);
    AddRecoveredChain(chain);
}

void TdmodMain::RecoverLostDirectory(uint32_t aCluster, const std::string& aName, TxRecoveryOptions aOptions,
                                     PxClusterChain aParent, bool aInFixedRoot) {
    if (IsUIUpdateDue())
        UpdateProgress("Checking for lost directories in cluster " + std::to_string(aCluster), "...",
                       BitmapPercent(ClusterBitmap));
    QRT_ASSERT(fFileSystem != nullptr && ClusterBitmap != nullptr, "WTF?");
    if (!fFileSystem->IsValidCluster(aCluster)) return;

    switch (ClusterBitmap->GetState(aCluster)) {
    case cbBadArea:
    case cbNamedChain:
        return;
    case cbUnnamedChain:
        // A directory first reached without a name gets it when an entry naming it turns up.
        if (!aName.empty()) {
            PxClusterChain known = nullptr;
            fFileSystem->FindDirectoryChain(aCluster, known, 0);
            QRT_ASSERT(known != nullptr, "WTF?");
            known->Name = aName;
        }
        return;
    default:
        break;
    }
    // A ".." cycle between lost directories comes back here.
    if (fLostDirectoriesInProgress.count(aCluster)) return;

    int32_t code = 0;
    int32_t soundEntries = 0;
    TxDiskAddress self;
    TxDiskAddress parent;
    uint8_t result = fFileSystem->ProbeDirectory(ClusterAddress(static_cast<int32_t>(aCluster)), code, 0,
                                                 soundEntries, self, parent);
    if (result < 2 || IsNullAddress(self) || IsNullAddress(parent) || SameAddress(self, parent) ||
        !SameAddress(self, ClusterAddress(static_cast<int32_t>(aCluster))))
        return;

    if (static_cast<int32_t>(fLostDirectoriesInProgress.size()) >= kMaxDirectoryDepth)
        throw Exception("Lost directories are nested deeper than " + std::to_string(kMaxDirectoryDepth) +
                        " levels at cluster " + std::to_string(aCluster));
    fLostDirectoriesInProgress.insert(aCluster);
    TxInProgress inProgress{fLostDirectoriesInProgress, aCluster};

    // The parent first, so this directory ends up below it. For a ".." that names the root (cluster
    // 0) this returns at once.
    if (parent.Kind == akCluster && parent.Number > 0)
        RecoverLostDirectory(static_cast<uint32_t>(parent.Number), std::string(), aOptions, nullptr);
    // The parent's walk may have recovered this directory meanwhile, under the name its entry gives.
    if (ClusterBitmap->GetState(aCluster) != cbUnreached) return;

    PxClusterChain chain = nullptr;
    TxUnownedChainGuard guard{chain};
    bool extend = false;
    uint8_t state = 0;
    fFileSystem->GetClusterState(aCluster, state);
    switch (state) {
    case csEndOfChain:
    case csInUse:
        fFileSystem->FindDirectoryChain(aCluster, chain, 1);
        break;
    case csBad:
        return;
    case csFree:
        AddCluster(chain, aCluster);
        fFileSystem->AddDirectoryChain(chain);
        extend = true;
        break;
    default:
        QRT_FAIL("WTF?");
    }
    if (!chain) return;
    CheckNonEmptyChain(nullptr, chain);
    if (chain->Length < chain->ItemCount)
        QRT_FAIL("WTF? len: " + std::to_string(chain->Length) +
                 ", itemCount: " + std::to_string(chain->ItemCount));

    LinkToParent(chain, aParent);
    chain->Name = aName;
    if (aInFixedRoot && chain->ParentClusterNo == -1 && !aName.empty()) chain->ParentClusterNo = 0;
    QRT_ASSERT(fFileSystem->IndexOfDirectoryChain(chain) >= 0, "WTF?");
    RecoverLostDirectoryEntries(chain, aOptions, extend);
}

void TdmodMain::RecoverLostDirectoryEntries(PxClusterChain& aChain, TxRecoveryOptions aOptions,
                                            bool aExtend) {
    QRT_ASSERT(aChain != nullptr, "WTF?");
    if (aChain->Length < aChain->ItemCount)
        QRT_FAIL("WTF? len: " + std::to_string(aChain->Length) +
                 ", itemCount: " + std::to_string(aChain->ItemCount));
    QRT_ASSERT(fFileSystem->IndexOfDirectoryChain(aChain) >= 0, "WTF?");
    MarkChainClusters(aChain);

    std::unique_ptr<TxDirectoryAccessor> directory(fDirectoryClass->CreateDirectory(fDisk));
    try {
        // The free directory clusters that follow a freed directory belong to it: they are added
        // before the directory is read, so their entries are walked too.
        if (aExtend)
            fFileSystem->AppendNextClusters(
                aChain, csFree,
                [this](uint32_t c, uint8_t s, int32_t r, int64_t& p) {
                    return IsFreeDirectoryCluster(c, s, r, p);
                },
                -1);
        directory->OpenChain(aChain);
        TxSearchRec rec;
        if (directory->FindFirst("*.*", faAnyFile, aOptions | roLive, rec) != kFindOk) return;
        try {
            if (IsUIUpdateDue() && !rec.Name.empty() && rec.Name[0] != '.')
                UpdateProgress(directory->GetPath(), rec.Name, BitmapPercent(ClusterBitmap));
            do {
                QRT_ASSERT(!rec.Name.empty(), "WTF?");
                bool follow = (aOptions & roLive) || ((aOptions & roDeleted) && SearchIsDeleted(rec));
                if (rec.Attr & faDirectory) {
                    if (follow && rec.Name != "." && rec.Name != "..")
                        RecoverLostDirectory(SearchFirstCluster(rec), rec.Name, aOptions, aChain);
                } else if (follow) {
                    RecoverLostFile(rec, aChain);
                }
                if (IsCancelled()) break;
            } while (directory->FindNext(rec) == kFindOk);
        } catch (...) {
            directory->FindClose(rec);
            throw;
        }
        directory->FindClose(rec);
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

} // namespace qrt
