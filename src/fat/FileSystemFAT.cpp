#include "fat/FileSystemFAT.h"

#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "fat/FATxStream.h"

#include <algorithm>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

TFileSystemFATx::TFileSystemFATx(TxDiskAccessor* aDisk)
    : TxFileSystem(aDisk), fBootRecordAddress(SectorAddress(0)) {}

TFileSystemFATx::~TFileSystemFATx() {
    ReleaseFATCopies();
    ReleaseBootRecord();
}

bool TFileSystemFATx::Mount() {
    ComputeGeometry();
    return true;
}

uint32_t TFileSystemFATx::ClusterToSector(uint32_t aCluster) {
    return aCluster * fSectorsPerCluster + fClusterZeroSector;
}

// --- boot record ----------------------------------------------------------------------------------

uint32_t TFileSystemFATx::BootRecordSizeFor(uint32_t aBytesPerSector, uint32_t aMinimum) {
    QRT_ASSERT(aBytesPerSector != 0, "WTF?");
    return (aMinimum + aBytesPerSector - 1) / aBytesPerSector * aBytesPerSector;
}

bool TFileSystemFATx::CanMountWith(TxDiskAccessor* aDisk, uint32_t aBootRecordSize,
                                   TxBootValidation aValidate) {
    if (aDisk == nullptr || aDisk->fParams.BytesPerSector == 0) return false;
    std::vector<uint8_t> buffer(aBootRecordSize);
    uint32_t got = 0;
    try {
        got = aDisk->Read(SectorAddress(0), buffer.data(), aBootRecordSize);
    } catch (const EOSError&) {
        // A device that cannot be positioned carries no volume we could read.
        return false;
    }
    // A partly read boot record is not validated.
    if (got != aBootRecordSize) return false;
    int32_t problem = 0;
    return aValidate(buffer, problem) > crFailed;
}

const uint8_t* TFileSystemFATx::GetBootRecord() {
    if (!fBootRecord) {
        uint32_t size = BootRecordSize();
        auto buffer = std::make_unique<uint8_t[]>(size);
        uint32_t got = fDisk->Read(fBootRecordAddress, buffer.get(), size);
        fBootRecord = std::move(buffer);
        fBootRecordSize = size;
        fBootRecordComplete = got == size;
    }
    return fBootRecord.get();
}

uint32_t TFileSystemFATx::GetBootRecordSize() {
    GetBootRecord();
    return fBootRecordSize;
}

bool TFileSystemFATx::IsBootRecordComplete() {
    GetBootRecord();
    return fBootRecordComplete;
}

void TFileSystemFATx::ReleaseBootRecord() {
    fBootRecord.reset();
    fBootRecordSize = 0;
    fBootRecordComplete = false;
}

uint8_t TFileSystemFATx::CheckBootRecordWith(TxBootValidation aValidate, int32_t& aProblem) {
    const uint8_t* boot = GetBootRecord();
    if (!fBootRecordComplete) {
        // The signature could not be read: no validation on a partly filled buffer.
        aProblem = fpNoSignature;
        return crFailed;
    }
    return aValidate(std::span<const uint8_t>(boot, fBootRecordSize), aProblem);
}

TxFATBootFields TFileSystemFATx::BootFields() {
    const uint8_t* boot = GetBootRecord();
    QRT_ASSERT(fBootRecordComplete, "WTF?");
    return ReadBootFields(std::span<const uint8_t>(boot, fBootRecordSize));
}

bool TFileSystemFATx::FindBootRecord() {
    // FAT32 keeps its backup boot sector at sector 6; sector 5 is probed before it.
    for (int32_t sector : {0, 5, 6}) {
        if (fBootRecordAddress.Kind != akSector || fBootRecordAddress.Number != sector) {
            ReleaseBootRecord();
            fBootRecordAddress = SectorAddress(sector);
        }
        int32_t problem = 0;
        if (CheckBootRecord(problem) >= crPassedFAT1216) return true;
    }
    return false;
}

// --- geometry -------------------------------------------------------------------------------------

void TFileSystemFATx::SetCommonGeometry(const TxFATBootFields& aFields) {
    fFATCount = aFields.NumFATs;
    fReservedSectors = aFields.RsvdSecCnt;
    fSectorsPerCluster = aFields.SecPerClus;
    // Every cluster computation divides by it.
    QRT_ASSERT(fSectorsPerCluster != 0, "WTF?");
}

void TFileSystemFATx::FinishGeometry(uint32_t aOldReservedSectors, uint32_t aOldSectorsPerFAT) {
    const uint32_t oldCopySectors = fFATCopySectors;
    const uint32_t bps = fDisk->fParams.BytesPerSector;
    // Clusters that would begin beyond the end of the device are not on it. A boot record that
    // claims more (a damaged size field, a crafted card, an image cut short) is held to the device,
    // so that no table, bitmap or scan grows with a size the medium does not have: a record that
    // passed every check could otherwise ask for gigabytes of tables and hours of scanning on a
    // card of a few megabytes.
    uint64_t deviceSectors = bps ? fDisk->GetSizeInBytes() / bps : 0;
    if (deviceSectors > 0) {
        uint32_t firstData = fClusterZeroSector + 2 * fSectorsPerCluster; // wraps back as it was made
        uint64_t onDevice = deviceSectors > firstData
                                ? (deviceSectors - firstData + fSectorsPerCluster - 1) / fSectorsPerCluster
                                : 0;
        if (onDevice + 2 < ClusterCount) ClusterCount = static_cast<uint32_t>(onDevice + 2);
    }
    // Only the sectors that hold entries below the cluster bound are read: the rest of a copy, however
    // large the record says it is, is never looked at.
    fFATCopySectors = fSectorsPerFAT;
    if (bps) {
        uint64_t needed = (uint64_t{ClusterCount} * static_cast<uint32_t>(GetFATBits()) + 7) / 8 + 1;
        fFATCopySectors = static_cast<uint32_t>(std::min<uint64_t>(fSectorsPerFAT, (needed + bps - 1) / bps));
    }
    // Streams built over another table layout would read the wrong sectors.
    if (aOldReservedSectors != fReservedSectors || aOldSectorsPerFAT != fSectorsPerFAT ||
        oldCopySectors != fFATCopySectors)
        ReleaseFATCopies();
    if (fFATCopies.size() < static_cast<size_t>(fFATCount)) fFATCopies.resize(static_cast<size_t>(fFATCount));
}

uint64_t TFileSystemFATx::GetFATCopyBytes() {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    return uint64_t{fFATCopySectors} * fDisk->fParams.BytesPerSector;
}

void TFileSystemFATx::CheckEntryRead(const uint8_t* aData, uint32_t aCluster, bool aFromFirst,
                                     uint64_t aEntryEnd) {
    QRT_ASSERT(aData != nullptr, "WTF?");
    if (aFromFirst) QRT_ASSERT(aCluster >= GetFirstClusterNo(), "WTF?");
    QRT_ASSERT(aCluster < ClusterCount, "WTF?");
    QRT_ASSERT(aEntryEnd <= GetFATCopyBytes(), "WTF?");
}

} // namespace qrt
