// The run state of the recovery engine: the bracket of a run, progress reporting and the marking of
// found chains.

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Hooks.h"
#include "core/Ticks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystem.h"
#include "engine/IRecoveryView.h"
#include "engine/dmMain.h"
#include "support/ListUtils.h"
#include "support/PathUtils.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

QRT_UNIT("dmMain")

namespace qrt {

namespace {

// The queue of chains to save. Its class name stays "TPointerList", as the full log shows the
// owners of chains; the type only lets the release routine tell the queue from the file system's
// chain lists.
class TxRecoveredChainList : public TPointerList {
public:
    // The chains are released here, while the list is still of this class: from the base class's
    // destructor the release routine would no longer recognise the queue as their owner, and every
    // chain the queue owns would leak.
    ~TxRecoveredChainList() override { Clear(); }
};

// A chain leaving the queue is disposed only when the queue owns it; chains filed in one of the file
// system's lists stay with their list.
void ReleaseRecoveredChain(void* aItem) {
    auto chain = static_cast<PxClusterChain>(aItem);
    if (!chain || !dynamic_cast<TxRecoveredChainList*>(chain->Owner)) return;
    try {
        DisposeClusterChain(chain);
    } catch (const Exception& e) {
        HandleException(e);
    }
}

} // namespace

TdmodMain::TdmodMain() = default;

TdmodMain::~TdmodMain() {
    FreeRecoveredChains();
    delete ClusterBitmap;
}

void TdmodMain::FreeRecoveredChains() {
    delete fRecoveredChains;
    fRecoveredChains = nullptr;
}

bool TdmodMain::BeginRecovery() {
    ++fRunDepth;
    bool outermost = fRunDepth == 1;
    if (outermost) {
        try {
            StartRun();
        } catch (...) {
            // A run that could not start leaves nothing behind, so IsRecovering is false again.
            FreeRecoveredChains();
            fEntryTimes.clear();
            --fRunDepth;
            throw;
        }
    }
    QRT_ASSERT(fRunDepth >= 0, "WTF?");
    return outermost;
}

void TdmodMain::StartRun() {
    fStartTime = TimeGetTime();
    UpdateProgress("Starting...", " ", 1);
    fSavedFileCount = 0;
    fUnknownFileCount = 0;
    fDamagedFileCount = 0;
    fSavedCounts = TxSavedFileCounts{};
    fEntryTimes.clear();

    QRT_ASSERT(fDisk != nullptr, "WTF?");
    fFileSystem = fDisk->fFileSystem;
    QRT_ASSERT(fFileSystem != nullptr, "WTF?");
    fDirectoryClass = fFileSystem->GetDirectoryClass();

    if (ClusterBitmap && ClusterBitmap->fCount == fFileSystem->ClusterCount) {
        ClusterBitmap->Clear();
    } else {
        delete ClusterBitmap;
        ClusterBitmap = nullptr;
        ClusterBitmap = new TxClusterBitmap(fFileSystem->ClusterCount);
    }

    QRT_ASSERT(fRecoveredChains == nullptr, "WTF?");
    fRecoveredChains = new TxRecoveredChainList;
    fRecoveredChains->OwnsItems = true;
    fRecoveredChains->OnRelease = ReleaseRecoveredChain;

    SetOutputFolder(fOutputFolder);
    if (fOutputFolder.empty() || !DirectoryExists(fOutputFolder)) throw Exception("Cannot create directory!");
}

bool TdmodMain::EndRecovery() {
    --fRunDepth;
    bool outermost = fRunDepth == 0;
    if (outermost) {
        fEntryTimes.clear();
        fStopRequested = false;
        QRT_ASSERT(fRecoveredChains != nullptr && fRecoveredChains->OwnsItems, "WTF?");
        FreeRecoveredChains();
    }
    QRT_ASSERT(fRunDepth >= 0, "WTF?");
    return outermost;
}

void TdmodMain::SetOutputFolder(const std::string& aFolder) {
    fOutputFolder = IncludeTrailingBackslash(aFolder);
    if (fOutputFolder.empty()) return;
    std::string folder = ExcludeTrailingBackslash(fOutputFolder);
    if (!folder.empty()) ForceDirectories(folder);
}

bool TdmodMain::IsUIUpdateDue() const {
    return static_cast<uint32_t>(TimeGetTime() - fLastUIUpdate) > 80;
}

void TdmodMain::UpdateProgress(const std::string& aDirectory, const std::string& aFile, int32_t aPercent) {
    if (fView) {
        fView->SetDirectoryText(aDirectory);
        fView->SetFileText(aFile);
        fView->SetElapsedText("Time elapsed: " + FormatElapsed(ElapsedTicks(fStartTime, TimeGetTime())));
        if (aPercent >= 0) fView->SetPercent(aPercent);
        fView->Refresh();
    }
    Application().ProcessMessages();
    fLastUIUpdate = TimeGetTime();
}

void TdmodMain::MarkChainClusters(const TxClusterChain* aChain) {
    QRT_ASSERT(fFileSystem != nullptr, "WTF?");
    CheckNonEmptyChain(fFileSystem, aChain);
    if (ClusterBitmap) ClusterBitmap->MarkChain(aChain, aChain->Name.empty() ? cbUnnamedChain : cbNamedChain);
}

bool TdmodMain::IsCancelled() const {
    return Application().Terminated() || fStopRequested;
}

int32_t BitmapPercent(const TxClusterBitmap* aBitmap) {
    if (!aBitmap) return -1;
    uint64_t used = static_cast<uint32_t>(aBitmap->fUsedCount);
    return static_cast<int32_t>(used * 100 / aBitmap->fCount);
}

uint32_t ElapsedTicks(uint32_t aStart, uint32_t aNow) {
    if (aNow >= aStart) return aNow - aStart;
    return 4294967295u - aStart + aNow;
}

std::string FormatElapsed(uint32_t aMilliseconds) {
    if (aMilliseconds == 0) return std::string();
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%u:%02u:%02u.%02u", aMilliseconds / 3600000,
                  aMilliseconds / 60000 % 60, aMilliseconds / 1000 % 60, aMilliseconds % 1000 / 10);
    return buffer;
}

std::string DateFolderName() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[64];
    size_t n = std::strftime(buffer, sizeof buffer, "%x", &local);
    std::string name(buffer, n);
    return ReplaceFileNameChars(name, '-');
}

std::string DefaultOutputFolder() {
    const char* home = std::getenv("HOME");
    std::string base = home && *home ? home : ".";
    return IncludeTrailingBackslash(base) + "QRTWizard/Recovered/" + DateFolderName() + "/";
}

} // namespace qrt
