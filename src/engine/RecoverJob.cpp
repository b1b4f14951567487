// One recovery run: the mount sequence, the six phases, cancellation and the error boundaries.

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskTypes.h"
#include "disk/FileSystem.h"
#include "engine/dmMain.h"
#include "fat/FileSystemFAT.h"
#include "support/ListUtils.h"

#include <cstdio>
#include <memory>

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

void TdmodMain::ScanUnreachedClusters() {
    if (IsCancelled()) return;
    QRT_ASSERT(ClusterBitmap != nullptr, "ClusterBitmap is required for lost files&dirs!");
    fFileSystem->_relinkChains();
    ScanClusters([this](uint32_t c) {
        PxClusterChain chain = nullptr;
        if (fFileSystem->FindFileChain(c, chain, 0) >= 0 && chain)
            AddRecoveredChain(chain);
        else
            RecoverLostDirectory(c, std::string(), roLive | roDeleted, nullptr);
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
