#pragma once

#include "core/TObject.h"
#include "disk/ClusterChain.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace qrt {

class IRecoveryView;
class TPointerList;
class TxClusterBitmap;
class TxDirectoryAccessor;
class TxDiskAccessor;
class TxDiskStream;
class TxFileSystem;
struct TxAccessorClass;
struct TxSearchRec;

// What a directory walk handles: live entries, deleted entries, or both (a one-byte set).
using TxRecoveryOptions = uint8_t;
enum : uint8_t { roLive = 1, roDeleted = 2 };

// States of a cluster in the engine's ClusterBitmap.
enum : uint8_t {
    cbUnreached = 0,    // nothing found so far claims the cluster
    cbBadArea = 1,      // the file system's bad-cluster area
    cbUnnamedChain = 2, // a chain without a name
    cbNamedChain = 3,   // a chain with a name
};

// Deepest nesting of directories a run follows; deeper levels of a damaged tree are reported and
// skipped.
inline constexpr int32_t kMaxDirectoryDepth = 256;

// Files saved in one run, by where they went: the live tree's own folders, "~DeletedFiles\" or
// "~LostFiles\".
struct TxSavedFileCounts {
    int32_t Live = 0;
    int32_t Deleted = 0;
    int32_t Lost = 0;
};

// The recovery engine: the non-visual part of the data module. It exists once for the life of the
// program; a front end hands it a disk (SetDisk) and an output folder (SetOutputFolder) and calls
// RecoverFileSystem, which walks the volume in six phases and copies every file it reaches into the
// output folder, listing each one in "SavedFilesLog.txt" and "SavedFilesLog-Full.txt".
//
// The run is synchronous. It reports progress through an IRecoveryView at most every 80 ms and pumps
// the application's messages there. It stops early when the application is asked to terminate or
// when RequestStop is called (the wizard's Back); files already written stay.
//
// The members are grouped by source file: run state and progress (RunState.cpp), the run and its
// phases (RecoverJob.cpp, OrphanChains.cpp), the directory tree (RecoverTree.cpp), lost files and
// directories (LostData.cpp), saving and the logs (SaveFiles.cpp).
class TdmodMain : public TObject {
public:
    QRT_CLASSNAME(TdmodMain)

    TdmodMain();
    ~TdmodMain() override;
    TdmodMain(const TdmodMain&) = delete;
    TdmodMain& operator=(const TdmodMain&) = delete;

    // --- run state and progress ---
    // Enter and leave a run; both answer true for the outermost level. The outermost BeginRecovery
    // resets the counters, prepares the bitmap and the queue and creates the output folder; when it
    // raises (among others "Cannot create directory!") the run is undone and IsRecovering is false.
    bool BeginRecovery();
    bool EndRecovery();
    bool IsRecovering() const { return fRunDepth > 0; }
    // The disk to recover (not owned).
    void SetDisk(TxDiskAccessor* aDisk) { fDisk = aDisk; }
    // Stores the folder with a trailing delimiter and creates it with its parents (not checked here).
    void SetOutputFolder(const std::string& aFolder);
    // The view progress goes to; nullptr for none. Not owned.
    void SetView(IRecoveryView* aView) { fView = aView; }
    IRecoveryView* GetView() const { return fView; }
    // More than 80 ms since the last progress update.
    bool IsUIUpdateDue() const;
    // Shows the texts, the elapsed time and (when aPercent >= 0) the percentage, then pumps messages.
    void UpdateProgress(const std::string& aDirectory, const std::string& aFile, int32_t aPercent);
    // Marks the chain's clusters cbNamedChain or cbUnnamedChain by whether it has a name.
    void MarkChainClusters(const TxClusterChain* aChain);

    // The engine's own stop request: the run ends as on a termination request, but the program goes
    // on. It stays set until the run ends (or ResetStop).
    void RequestStop() { fStopRequested = true; }
    void ResetStop() { fStopRequested = false; }
    bool StopRequested() const { return fStopRequested; }
    // A termination or stop request is pending.
    bool IsCancelled() const;

    // --- the run ---
    // One complete run over aFileSystem, which must be fDisk's FAT file system.
    void RecoverFileSystem(TxFileSystem* aFileSystem);
    // The six phases, in their order (RecoverFileSystem calls them; each returns at once after a
    // termination or stop request).
    void RecoverLiveTree();
    void RecoverDeletedTree();
    void ScanUnreachedClusters();
    void AssembleOrphanChains();
    void CollectKnownFileChains();
    void SaveRecoveredChains();
    // Between phases 5 and 6: queues every chain assembled by phase 4 whose clusters are still
    // unreached, to be saved as "~LostFiles\UnknownFileN" named by its content.
    void QueueOrphanChains();

    // --- the directory tree ---
    // Walks aDirectory and its live subdirectories: live files are saved (roLive), deleted files and
    // directories are handed to the lost-data operations (roDeleted).
    void RecoverDirectory(TxDirectoryAccessor* aDirectory, TxRecoveryOptions aOptions);
    // Saves a live file entry at once, or hands a deleted one to RecoverLostFile.
    void RecoverEntry(TxDirectoryAccessor* aDirectory, const TxSearchRec& aRec);

    // --- lost files and directories ---
    // Builds and queues the chain of a deleted file entry or of a file in a lost directory.
    // aInFixedRoot: the entry lies in a root directory without a chain (FAT12/16).
    void RecoverLostFile(const TxSearchRec& aRec, PxClusterChain aParent, bool aInFixedRoot = false);
    // Recovers the directory that starts at aCluster, when nothing has accounted for it yet.
    void RecoverLostDirectory(uint32_t aCluster, const std::string& aName, TxRecoveryOptions aOptions,
                              PxClusterChain aParent, bool aInFixedRoot = false);
    // Walks the entries of a lost directory; aExtend grows the chain by the free directory clusters
    // that follow it.
    void RecoverLostDirectoryEntries(PxClusterChain& aChain, TxRecoveryOptions aOptions, bool aExtend);
    // Queues a chain for phase 6 and marks its clusters.
    void AddRecoveredChain(PxClusterChain& aChain);
    // Cluster filters: an unreached cluster; an unreached cluster that holds directory entries (any
    // other cluster ends the scan).
    bool IsClusterFree(uint32_t aCluster, uint8_t aState, int32_t aReserved, int64_t& aPosition);
    bool IsFreeDirectoryCluster(uint32_t aCluster, uint8_t aState, int32_t aReserved, int64_t& aPosition);

    // --- saving ---
    // Copies the stream's file into the output folder and lists it in both logs.
    void SaveFile(TxDiskStream& aStream);
    // SaveFile over a stream on a queued chain.
    void SaveChain(PxClusterChain aChain);

    // --- state ---
    std::string fOutputFolder;           // ends with the path delimiter once set
    TxDiskAccessor* fDisk = nullptr;     // not owned
    TxFileSystem* fFileSystem = nullptr; // fDisk's file system, taken at the start of a run
    const TxAccessorClass* fDirectoryClass = nullptr;
    TPointerList* fRecoveredChains = nullptr; // the queue; exists only during a run
    TxClusterBitmap* ClusterBitmap = nullptr; // created on the first run, kept
    int32_t fSavedFileCount = 0;
    int32_t fUnknownFileCount = 0;
    // Files saved with zeros where the device could not be read (listed as damaged in the full log).
    int32_t fDamagedFileCount = 0;
    int32_t fRunDepth = 0;
    uint32_t fStartTime = 0;
    uint32_t fLastUIUpdate = 0;
    TxSavedFileCounts fSavedCounts; // fSavedFileCount split by destination

private:
    // The last-write time (FILETIME) of the directory entry a chain was found under; saved files
    // get it as their modification time. Cleared when a run begins and ends.
    void NoteEntryTime(const TxClusterChain* aChain, const TxSearchRec& aRec);
    uint64_t EntryTimeOf(const TxClusterChain* aChain) const;
    // Frees the queue (releasing the chains it owns).
    void FreeRecoveredChains();
    // Prepares the outermost level of a run (BeginRecovery steps 2 to 7).
    void StartRun();
    // The loop of phases 3 to 5: aVisit for every unreached cluster in increasing order, each inside
    // its own exception boundary; after a cluster whose work completed, the scan stops on a
    // termination or stop request.
    void ScanClusters(const std::function<void(uint32_t aCluster)>& aVisit);

    IRecoveryView* fView = nullptr;
    std::atomic<bool> fStopRequested{false};
    std::unordered_map<const TxClusterChain*, uint64_t> fEntryTimes;
    // Directories the current tree phase has walked (by first cluster; 0 for a root without chain):
    // a directory reached again through a damaged entry is not walked twice, so a cycle ends.
    std::unordered_set<uint32_t> fWalkedDirectories;
    // Lost directories being recovered (steps after the probe): a ".." cycle between lost
    // directories ends, and the count is the nesting depth.
    std::unordered_set<uint32_t> fLostDirectoriesInProgress;
};

// -1 without a bitmap; otherwise its used count in percent of its entries (truncated).
int32_t BitmapPercent(const TxClusterBitmap* aBitmap);
// Milliseconds from aStart to aNow on the 32-bit tick, across one wrap.
uint32_t ElapsedTicks(uint32_t aStart, uint32_t aNow);
// "H:MM:SS.hh"; empty for 0.
std::string FormatElapsed(uint32_t aMilliseconds);
// Appends aText and CR LF to a file, creating it when it cannot be opened. Failures raise.
void AppendLineToFile(const std::string& aFileName, const std::string& aText);
// Records aParent as the chain's parent (nothing for a nil parent); a different recorded parent is
// an internal-consistency failure.
void LinkToParent(PxClusterChain& aChain, PxClusterChain aParent);

// Today's date in the user's short date format, with the characters a file name cannot hold
// replaced by "-".
std::string DateFolderName();
// $HOME/QRTWizard/Recovered/<DateFolderName>/ (the folder is not created).
std::string DefaultOutputFolder();

} // namespace qrt
