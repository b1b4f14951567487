#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "fat/FATEntries.h"
#include "fat/FATxStream.h"
#include "fat/FileSystemFAT.h"

#include <cstring>
#include <vector>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

namespace {

// One pass over a loaded copy: entry 0 against the media entry, then every data cluster's entry.
// A link must name a data cluster that no other entry names. Returns the number of problems and
// writes the first one's code.
template <typename TEntries>
uint32_t CountTableProblems(const uint8_t* aData, uint64_t aBytes, uint32_t aClusterCount,
                            uint32_t aMediaEntry, int32_t& aFirst) {
    QRT_ASSERT(aClusterCount >= 2 && TEntries::EntryEnd(aClusterCount - 1) <= aBytes, "WTF?");
    uint32_t problems = 0;
    aFirst = 0;
    auto note = [&](int32_t aCode) {
        if (problems++ == 0) aFirst = aCode;
    };
    if (TEntries::Decode(aData, 0) != aMediaEntry) note(fpMediaEntry);
    std::vector<bool> linked(aClusterCount, false);
    for (uint32_t c = 2; c < aClusterCount; ++c) {
        uint32_t next = TEntries::Decode(aData, c);
        // Free, bad and end-of-chain entries link nowhere.
        if (next == 0 || next >= TEntries::Bad) continue;
        if (next < 2 || next >= aClusterCount) {
            note(fpLinkOutOfRange);
        } else if (linked[next]) {
            note(fpLinkedTwice);
        } else {
            linked[next] = true;
        }
    }
    return problems;
}

} // namespace

int32_t TFileSystemFATx::GetActiveFATIndex() {
    return 0;
}

int32_t TFileSystemFATx::GetCurrentFATIndex() {
    return fCurrentFATIndex;
}

TxFATxStream* TFileSystemFATx::GetFATCopy(int32_t aIndex) {
    QRT_ASSERT(aIndex >= 0 && aIndex < fFATCount, "WTF?");
    if (fFATCopies.size() < static_cast<size_t>(fFATCount)) fFATCopies.resize(static_cast<size_t>(fFATCount));
    auto& slot = fFATCopies[static_cast<size_t>(aIndex)];
    if (!slot) slot = std::make_unique<TxFATxStream>(this, aIndex);
    return slot.get();
}

TxFATxStream* TFileSystemFATx::LoadFATCopy(int32_t aIndex) {
    TxFATxStream* copy = GetFATCopy(aIndex);
    copy->LoadData();
    return copy;
}

void TFileSystemFATx::SelectFATCopy(int32_t aIndex) {
    if (aIndex == fCurrentFATIndex && fCurrentFAT != nullptr) return;
    fCurrentFAT = LoadFATCopy(aIndex);
    fCurrentFATIndex = aIndex;
}

TxFATxStream* TFileSystemFATx::GetCurrentFAT() {
    if (fCurrentFAT == nullptr) {
        int32_t index = GetCurrentFATIndex();
        SelectFATCopy(index >= 0 ? index : GetActiveFATIndex());
    }
    // A copy made current without its contents is loaded now (a failed load is tried again).
    fCurrentFAT->LoadData();
    return fCurrentFAT;
}

void TFileSystemFATx::ReleaseFATCopies() {
    fCurrentFATIndex = -1;
    fCurrentFAT = nullptr;
    for (size_t i = fFATCopies.size(); i > 0; --i)
        fFATCopies[i - 1].reset();
    fFATCopies.clear();
}

uint8_t TFileSystemFATx::CheckFATCopy(int32_t aIndex, int32_t& aProblem, uint32_t& aProblemCount) {
    TxFATxStream* copy =
        aIndex == fCurrentFATIndex && fCurrentFAT != nullptr ? fCurrentFAT : LoadFATCopy(aIndex);
    copy->LoadData();
    const uint32_t media = GetMediaEntry();
    const uint64_t bytes = GetFATCopyBytes();
    TxFATDataLock lock(copy);
    switch (GetFATBits()) {
    case 12:
        aProblemCount = CountTableProblems<TxFAT12Entries>(lock.Data(), bytes, ClusterCount, media, aProblem);
        break;
    case 16:
        aProblemCount = CountTableProblems<TxFAT16Entries>(lock.Data(), bytes, ClusterCount, media, aProblem);
        break;
    default:
        aProblemCount = CountTableProblems<TxFAT32Entries>(lock.Data(), bytes, ClusterCount, media, aProblem);
        break;
    }
    // Sectors the device could not read hold zeros, which read as free clusters: every such sector
    // counts, so that a copy read whole is preferred.
    if (int64_t unreadable = copy->UnreadableBytes()) {
        if (aProblemCount == 0) aProblem = fpCopyUnreadable;
        int64_t bps = fDisk->fParams.BytesPerSector ? fDisk->fParams.BytesPerSector : 512;
        aProblemCount += static_cast<uint32_t>((unreadable + bps - 1) / bps);
    }
    return aProblemCount == 0 ? crSound : crFailed;
}

bool TFileSystemFATx::ChooseFATCopy() {
    const int32_t active = GetActiveFATIndex();
    std::vector<int32_t> order{active};
    for (int32_t i = 0; i < fFATCount; ++i)
        if (i != active) order.push_back(i);

    int32_t best = -1;
    uint32_t bestProblems = 0;
    // A copy that loses is let go at once (a volume may claim up to 255 copies): at most two are held
    // in memory while the copies are judged.
    auto release = [this](int32_t aIndex) {
        if (aIndex >= 0 && aIndex != fCurrentFATIndex) fFATCopies[static_cast<size_t>(aIndex)].reset();
    };
    for (int32_t index : order) {
        int32_t problem = 0;
        uint32_t problems = 0;
        uint8_t result;
        try {
            result = CheckFATCopy(index, problem, problems);
        } catch (const EOSError&) {
            continue; // this copy cannot be read; another may
        } catch (const EStreamError&) {
            continue;
        }
        // A copy of which the device could not read a single sector is no candidate.
        if (TxFATxStream* copy = GetFATCopy(index); copy->UnreadableBytes() >= copy->fSize) {
            release(index);
            continue;
        }
        if (result == crSound) {
            release(best);
            SelectFATCopy(index);
            return true;
        }
        if (best < 0 || problems < bestProblems) {
            release(best);
            best = index;
            bestProblems = problems;
        } else {
            release(index);
        }
    }
    if (best < 0) return false;
    SelectFATCopy(best);
    return true;
}

bool TFileSystemFATx::SameFATCopies(int32_t aA, int32_t aB) {
    TxFATxStream* a = LoadFATCopy(aA);
    TxFATxStream* b = LoadFATCopy(aB);
    if (a->fSize != b->fSize) return false;
    TxFATDataLock lockA(a);
    TxFATDataLock lockB(b);
    return std::memcmp(lockA.Data(), lockB.Data(), static_cast<size_t>(a->fSize)) == 0;
}

uint32_t TFileSystemFATx::GetNextCluster(uint32_t aCluster) {
    TxFATDataLock lock(GetCurrentFAT());
    return ReadFATEntry(lock.Data(), aCluster);
}

void TFileSystemFATx::GetClusterState(uint32_t aCluster, uint8_t& aState) {
    TxFATDataLock lock(GetCurrentFAT());
    ReadFATEntryState(lock.Data(), aCluster, aState);
}

} // namespace qrt
