// Phases 1 and 2 of a run: the walk of the live directory tree.

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskStream.h"
#include "disk/FileSystem.h"
#include "engine/dmMain.h"

#include <memory>

QRT_UNIT("dmMain")

namespace qrt {

namespace {

// A root directory held in a fixed sector area (FAT12/16) has no chain.
bool IsFixedRoot(TxDirectoryAccessor* aDirectory) {
    return aDirectory->GetChain() == nullptr && aDirectory->IsRoot();
}

// Gives a chain made for an empty file (which has no clusters and so no catalogued parent) the
// directory it was found in.
void LinkEmptyFileChain(PxClusterChain aChain, TxDirectoryAccessor* aDirectory) {
    if (!aChain || aChain->ItemCount != 0 || aChain->ParentClusterNo != -1) return;
    if (PxClusterChain parent = aDirectory->GetChain()) {
        aChain->ParentChain = parent;
        aChain->ParentClusterNo = static_cast<int32_t>(FirstCluster(parent));
    } else if (aDirectory->IsRoot()) {
        aChain->ParentClusterNo = 0;
    }
}

} // namespace

void TdmodMain::RecoverDirectory(TxDirectoryAccessor* aDirectory, TxRecoveryOptions aOptions) {
    if (IsCancelled()) return;
    // A directory reached a second time (a damaged entry pointing at an ancestor or elsewhere in the
    // tree) is not walked again.
    if (!fWalkedDirectories.insert(aDirectory->GetFirstCluster()).second) return;
    BeginRecovery();
    try {
        try {
            if (fRunDepth > kMaxDirectoryDepth)
                throw Exception("The directory tree is deeper than " + std::to_string(kMaxDirectoryDepth) +
                                " levels: " + aDirectory->GetPath());
            if (PxClusterChain own = aDirectory->GetChain()) {
                MarkChainClusters(own);
                if (own->ParentClusterNo != -1)
                    RecoverLostDirectory(static_cast<uint32_t>(own->ParentClusterNo), std::string(), aOptions,
                                         nullptr);
            }
            TxSearchRec rec;
            // Live entries always come back, so deleted entries inside live subdirectories are reached.
            if (aDirectory->FindFirst("*.*", faAnyFile, aOptions | roLive, rec) == kFindOk) {
                try {
                    if (IsUIUpdateDue() && !rec.Name.empty() && rec.Name[0] != '.')
                        UpdateProgress(aDirectory->GetPath(), rec.Name, BitmapPercent(ClusterBitmap));
                    do {
                        QRT_ASSERT(!rec.Name.empty(), "WTF?");
                        bool isDirectory = (rec.Attr & faDirectory) != 0;
                        bool isDots = rec.Name == "." || rec.Name == "..";
                        if (!SearchIsDeleted(rec)) {
                            if (isDirectory) {
                                if (rec.Size != 0)
                                    QRT_FAIL("WTF? " + aDirectory->GetPath() + "\\" + rec.Name);
                                if (!isDots) {
                                    std::unique_ptr<TxDirectoryAccessor> sub = aDirectory->CreateSibling();
                                    sub->OpenEntry(rec);
                                    if (PxClusterChain chain = sub->GetChain()) chain->Name = rec.Name;
                                    RecoverDirectory(sub.get(), aOptions);
                                }
                            } else if (aOptions & roLive) {
                                RecoverEntry(aDirectory, rec);
                            }
                        } else if (aOptions & roDeleted) {
                            if (!isDirectory)
                                RecoverEntry(aDirectory, rec);
                            else if (!isDots)
                                RecoverLostDirectory(SearchFirstCluster(rec), rec.Name, aOptions,
                                                     aDirectory->GetChain(), IsFixedRoot(aDirectory));
                        }
                        if (IsCancelled()) break;
                    } while (aDirectory->FindNext(rec) == kFindOk);
                } catch (...) {
                    aDirectory->FindClose(rec);
                    throw;
                }
                aDirectory->FindClose(rec);
            }
        } catch (const std::exception& e) {
            if (auto* fatal = dynamic_cast<const EioFatalError*>(&e))
                MessageBox("Sorry, too much damage found: " + fatal->Message, Application().Title,
                           MB_OK | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST);
            HandleException(e);
        }
    } catch (...) {
        EndRecovery();
        throw;
    }
    EndRecovery();
}

void TdmodMain::RecoverEntry(TxDirectoryAccessor* aDirectory, const TxSearchRec& aRec) {
    if (aRec.Attr & faVolumeID) return;
    if (SearchIsDeleted(aRec)) {
        RecoverLostFile(aRec, aDirectory->GetChain(), IsFixedRoot(aDirectory));
        return;
    }
    std::unique_ptr<TxDiskStream> stream = TxDiskStream::CreateAtAddress(
        aDirectory->fDisk, aRec.Size, ClusterAddress(static_cast<int32_t>(SearchFirstCluster(aRec))));
    PxClusterChain chain = stream->fChain;
    QRT_ASSERT(chain != nullptr, "WTF?");
    chain->Name = aRec.Name;
    LinkEmptyFileChain(chain, aDirectory);
    NoteEntryTime(chain, aRec);
    try {
        SaveFile(*stream);
    } catch (...) {
        fEntryTimes.erase(chain);
        throw;
    }
    fEntryTimes.erase(chain);
}

} // namespace qrt
