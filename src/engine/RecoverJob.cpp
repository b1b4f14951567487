// One recovery run: the mount sequence, the six phases, cancellation and the error boundaries.

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskTypes.h"
#include "disk/FileSystem.h"
#include "engine/dmMain.h"
#include "fat/FileSystemFAT.h"
#include "support/ListUtils.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

QRT_UNIT("dmMain")

namespace qrt {

void TdmodMain::RecoverFileSystem(TxFileSystem* aFileSystem) {
    QRT_ASSERT(dynamic_cast<TFileSystemFATx*>(aFileSystem) != nullptr, "WTF?");
    // Outside the run's boundary: a run that cannot start (no output folder) raises to the caller.
    BeginRecovery();
    try {
        try {
            // The short log lists this run's files only; the full log keeps growing across runs.
            std::remove((fOutputFolder + "SavedFilesLog.txt").c_str());
            QRT_ASSERT(ClusterBitmap != nullptr, "ClusterBitmap is required for lost files & dirs!");
            aFileSystem->Scan();
            // The mount sequence may have found the geometry elsewhere than the mount did (a backup
            // or rebuilt boot record): the bitmap follows the cluster count the scan settled on.
            if (ClusterBitmap->fCount != aFileSystem->ClusterCount) {
                delete ClusterBitmap;
                ClusterBitmap = nullptr;
                ClusterBitmap = new TxClusterBitmap(aFileSystem->ClusterCount);
            }
            ClusterBitmap->MarkChain(aFileSystem->GetBadClusterAreaChain(), cbBadArea);

            RecoverLiveTree();
            RecoverDeletedTree();
            ScanUnreachedClusters();
            AssembleOrphanChains();
            CollectKnownFileChains();
            QueueOrphanChains();
            SaveRecoveredChains();
        } catch (...) {
            EndRecovery();
            throw;
        }
        EndRecovery();
    } catch (const std::exception& e) {
        if (auto* fatal = dynamic_cast<const EioFatalError*>(&e))
            MessageBox("Sorry, too much damage found: " + fatal->Message, Application().Title,
                       MB_OK | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST);
        HandleException(e);
    }
}

namespace {

// Phases 1 and 2: the tree walk from a copy of the root directory with the given options.
void WalkTree(TdmodMain& aEngine, TxRecoveryOptions aOptions) {
    std::unique_ptr<TxDirectoryAccessor> root(aEngine.fDirectoryClass->CreateDirectory(aEngine.fDisk));
    root->Assign(aEngine.fFileSystem->GetRootDirectory());
    aEngine.RecoverDirectory(root.get(), aOptions);
}

} // namespace

void TdmodMain::RecoverLiveTree() {
    if (IsCancelled()) return;
    fWalkedDirectories.clear();
    try {
        WalkTree(*this, roLive);
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

void TdmodMain::RecoverDeletedTree() {
    if (IsCancelled()) return;
    fWalkedDirectories.clear();
    try {
        WalkTree(*this, roDeleted);
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

void TdmodMain::ScanClusters(const std::function<void(uint32_t aCluster)>& aVisit) {
    uint32_t first = fFileSystem->GetFirstClusterNo();
    uint32_t count = fFileSystem->ClusterCount;
    for (uint32_t c = first; c < count; ++c) {
        if (ClusterBitmap->GetState(c) != cbUnreached) continue;
        try {
            aVisit(c);
        } catch (const std::exception& e) {
            HandleException(e);
            continue;
        }
        if (IsCancelled()) return;
    }
}

namespace {

// Whether a cluster begins with a "." entry, the one thing every directory start has: the volume is
// read ahead in large pieces, so the scan of a mostly free volume reads it once, sequentially,
// instead of probing cluster after cluster. A cluster that could not be read counts as a candidate
// (the probe then decides).
class TxDirectoryStarts {
public:
    TxDirectoryStarts(TxDiskAccessor* aDisk, TxFileSystem* aFileSystem)
        : fDisk(aDisk), fBytesPerCluster(aFileSystem->GetBytesPerCluster()),
          fCount(aFileSystem->ClusterCount) {
        fClustersPerRead = std::max<uint32_t>(1, kReadBytes / std::max<uint32_t>(1, fBytesPerCluster));
    }

    bool MayStartDirectory(uint32_t aCluster) {
        if (aCluster < fFirst || aCluster >= fFirst + fLoaded) Load(aCluster);
        if (aCluster >= fFirst + fValid) return true;
        const uint8_t* entry = fBuffer.data() + size_t(aCluster - fFirst) * fBytesPerCluster;
        return entry[0] == '.' && entry[1] == ' ';
    }

private:
    static constexpr uint32_t kReadBytes = 1 << 20;

    void Load(uint32_t aCluster) {
        fFirst = aCluster;
        fLoaded = std::min(fClustersPerRead, fCount - aCluster);
        fBuffer.resize(size_t(fLoaded) * fBytesPerCluster);
        uint32_t got = 0;
        try {
            got = fDisk->Read(ClusterAddress(static_cast<int32_t>(aCluster)), fBuffer.data(),
                              static_cast<uint32_t>(fBuffer.size()));
        } catch (const Exception&) {
            got = 0;
        }
        fValid = got / fBytesPerCluster;
    }

    TxDiskAccessor* fDisk;
    uint32_t fBytesPerCluster;
    uint32_t fCount;
    uint32_t fClustersPerRead = 1;
    uint32_t fFirst = 0;
    uint32_t fLoaded = 0;
    uint32_t fValid = 0;
    std::vector<uint8_t> fBuffer;
};

} // namespace

void TdmodMain::ScanUnreachedClusters() {
    if (IsCancelled()) return;
    QRT_ASSERT(ClusterBitmap != nullptr, "ClusterBitmap is required for lost files&dirs!");
    fFileSystem->_relinkChains();
    TxDirectoryStarts starts(fDisk, fFileSystem);
    ScanClusters([this, &starts](uint32_t c) {
        PxClusterChain chain = nullptr;
        if (fFileSystem->FindFileChain(c, chain, 0) >= 0 && chain) {
            AddRecoveredChain(chain);
        } else if (starts.MayStartDirectory(c)) {
            RecoverLostDirectory(c, std::string(), roLive | roDeleted, nullptr);
        } else if (IsUIUpdateDue()) {
            // What RecoverLostDirectory shows before its probe turns the cluster down.
            UpdateProgress("Checking for lost directories in cluster " + std::to_string(c), "...",
                           BitmapPercent(ClusterBitmap));
        }
    });
}

void TdmodMain::CollectKnownFileChains() {
    if (IsCancelled()) return;
    QRT_ASSERT(ClusterBitmap != nullptr, "ClusterBitmap is required for lost files&dirs!");
    fFileSystem->_relinkChains();
    ScanClusters([this](uint32_t c) {
        PxClusterChain chain = nullptr;
        if (fFileSystem->FindFileChain(c, chain, 0) >= 0 && chain) AddRecoveredChain(chain);
    });
}

void TdmodMain::SaveRecoveredChains() {
    if (IsCancelled()) return;
    fFileSystem->_relinkChains();
    for (int32_t i = 0; i < fRecoveredChains->Count; ++i) {
        auto chain = static_cast<PxClusterChain>(fRecoveredChains->Get(i));
        try {
            SaveChain(chain);
        } catch (const std::exception& e) {
            HandleException(e);
            continue;
        }
        if (IsCancelled()) return;
    }
}

} // namespace qrt
