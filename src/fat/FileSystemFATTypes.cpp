#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "fat/FATEntries.h"
#include "fat/FileSystemFAT.h"

#include <span>
#include <string>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

namespace {

// Default cluster sizes by volume size: the result moves to a row's value as long as the volume has
// at least that row's sectors. 0 = too small for the type.
struct TxClusterSizeRow {
    uint32_t Sectors;
    uint32_t SectorsPerCluster;
};

constexpr TxClusterSizeRow kFAT16ClusterSizes[] = {{8400, 0},     {32680, 2},    {262144, 4},  {524288, 8},
                                                   {1048576, 16}, {2097152, 32}, {4194304, 64}};
constexpr TxClusterSizeRow kFAT32ClusterSizes[] = {
    {66600, 0}, {532480, 1}, {16777216, 8}, {33554432, 16}, {67108864, 32}};

uint32_t LookUpClusterSize(std::span<const TxClusterSizeRow> aTable, uint32_t aTotalSectors) {
    uint32_t result = aTable[0].SectorsPerCluster;
    for (size_t i = 1; i < aTable.size() && aTotalSectors >= aTable[i].Sectors; ++i)
        result = aTable[i].SectorsPerCluster;
    return result;
}

// FAT12 and FAT16: the fixed root directory follows the FATs, the data area follows the root.
// Returns the first sector of the data area.
uint64_t LayOutFixedRoot(TFileSystemFATx& aFs, const TxFATBootFields& f) {
    uint32_t rootSectors = RootDirSectorsOf(f);
    QRT_ASSERT(rootSectors != 0, "WTF?");
    aFs.fRootDirSectors = static_cast<int32_t>(rootSectors);
    QRT_ASSERT(f.FATSz16 != 0, "WTF?");
    aFs.fSectorsPerFAT = f.FATSz16;
    uint32_t rootSector = f.RsvdSecCnt + uint32_t{f.NumFATs} * f.FATSz16;
    aFs.fRootAddress = SectorAddress(static_cast<int32_t>(rootSector));
    uint64_t firstData = uint64_t{rootSector} + rootSectors;
    aFs.fClusterZeroSector = static_cast<uint32_t>(firstData) - 2 * aFs.fSectorsPerCluster;
    return firstData;
}

// The data area from aFirstData to the end of the volume. Returns its count of clusters; the data
// clusters are numbered from 2, so the cluster bound is that count plus 2.
uint32_t SetDataArea(TFileSystemFATx& aFs, uint64_t aFirstData, uint32_t aTotalSectors) {
    aFs.fTotalSectors = aTotalSectors;
    // The reserved, FAT and root areas must fit into the volume.
    QRT_ASSERT(aFirstData <= aTotalSectors, "WTF?");
    aFs.fDataSectors = aTotalSectors - static_cast<uint32_t>(aFirstData);
    return aFs.fDataSectors / aFs.fSectorsPerCluster;
}

TxFileSystem* CreateFAT12(TxDiskAccessor* aDisk) {
    return new TFileSystemFAT12(aDisk);
}
TxFileSystem* CreateFAT16(TxDiskAccessor* aDisk) {
    return new TFileSystemFAT16(aDisk);
}
TxFileSystem* CreateFAT32(TxDiskAccessor* aDisk) {
    return new TFileSystemFAT32(aDisk);
}

} // namespace

const TxFileSystemClass FileSystemFAT12Class{"TFileSystemFAT12", &TFileSystemFAT12::CanMount, &CreateFAT12};
const TxFileSystemClass FileSystemFAT16Class{"TFileSystemFAT16", &TFileSystemFAT16::CanMount, &CreateFAT16};
const TxFileSystemClass FileSystemFAT32Class{"TFileSystemFAT32", &TFileSystemFAT32::CanMount, &CreateFAT32};

// --- FAT12 ----------------------------------------------------------------------------------------

uint32_t TFileSystemFAT12::BootRecordSize() {
    return BootRecordSizeFor(fDisk->fParams.BytesPerSector, 512);
}

bool TFileSystemFAT12::CanMount(TxDiskAccessor* aDisk) {
    if (aDisk == nullptr || aDisk->fParams.BytesPerSector == 0) return false;
    return CanMountWith(aDisk, BootRecordSizeFor(aDisk->fParams.BytesPerSector, 512),
                        &ValidateFAT12BootRecord);
}

uint8_t TFileSystemFAT12::CheckBootRecord(int32_t& aProblem) {
    return CheckBootRecordWith(&ValidateFAT12BootRecord, aProblem);
}

uint32_t TFileSystemFAT12::GetDefaultSectorsPerCluster(uint32_t aTotalSectors) {
    return LookUpClusterSize(kFAT16ClusterSizes, aTotalSectors);
}

uint32_t TFileSystemFAT12::GetMediaEntry() {
    return 0xF00 + BootFields().Media;
}

void TFileSystemFAT12::ComputeGeometry() {
    const TxFATBootFields f = BootFields();
    uint32_t oldReserved = fReservedSectors, oldPerFAT = fSectorsPerFAT;
    SetCommonGeometry(f);
    uint64_t firstData = LayOutFixedRoot(*this, f);
    QRT_ASSERT(f.TotSec16 != 0, "WTF?");
    uint32_t count = SetDataArea(*this, firstData, f.TotSec16);
    QRT_ASSERT(count < 4085, "WTF?");
    ClusterCount = count + 2;
    FinishGeometry(oldReserved, oldPerFAT);
}

uint32_t TFileSystemFAT12::ReadFATEntry(const uint8_t* aData, uint32_t aCluster) {
    CheckEntryRead(aData, aCluster, true, TxFAT12Entries::EntryEnd(aCluster));
    return TxFAT12Entries::Decode(aData, aCluster);
}

uint32_t TFileSystemFAT12::ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) {
    uint32_t value = ReadFATEntry(aData, aClusterNo);
    aState = ClassifyFATEntry<TxFAT12Entries>(value);
    return value;
}

// --- FAT16 ----------------------------------------------------------------------------------------

uint32_t TFileSystemFAT16::BootRecordSize() {
    return BootRecordSizeFor(fDisk->fParams.BytesPerSector, 512);
}

bool TFileSystemFAT16::CanMount(TxDiskAccessor* aDisk) {
    if (aDisk == nullptr || aDisk->fParams.BytesPerSector == 0) return false;
    return CanMountWith(aDisk, BootRecordSizeFor(aDisk->fParams.BytesPerSector, 512),
                        &ValidateFAT16BootRecord);
}

uint8_t TFileSystemFAT16::CheckBootRecord(int32_t& aProblem) {
    return CheckBootRecordWith(&ValidateFAT16BootRecord, aProblem);
}

uint32_t TFileSystemFAT16::GetDefaultSectorsPerCluster(uint32_t aTotalSectors) {
    return LookUpClusterSize(kFAT16ClusterSizes, aTotalSectors);
}

uint32_t TFileSystemFAT16::GetMediaEntry() {
    return 0xFF00 + BootFields().Media;
}

void TFileSystemFAT16::ComputeGeometry() {
    const TxFATBootFields f = BootFields();
    QRT_ASSERT(f.BytsPerSec != 0, "WTF?");
    uint32_t oldReserved = fReservedSectors, oldPerFAT = fSectorsPerFAT;
    SetCommonGeometry(f);
    uint64_t firstData = LayOutFixedRoot(*this, f);
    uint32_t total = f.TotSec16;
    if (total == 0) {
        QRT_ASSERT(f.TotSec32 != 0 && uint64_t{f.BytsPerSec} * f.TotSec32 / 1024 >= 32768, "WTF?");
        total = f.TotSec32;
    }
    uint32_t count = SetDataArea(*this, firstData, total);
    QRT_ASSERT(count >= 4085 && count <= 65524, "WTF?");
    ClusterCount = count + 2;
    FinishGeometry(oldReserved, oldPerFAT);
}

uint32_t TFileSystemFAT16::ReadFATEntry(const uint8_t* aData, uint32_t aCluster) {
    CheckEntryRead(aData, aCluster, true, TxFAT16Entries::EntryEnd(aCluster));
    return TxFAT16Entries::Decode(aData, aCluster);
}

uint32_t TFileSystemFAT16::ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) {
    uint32_t value = ReadFATEntry(aData, aClusterNo);
    aState = ClassifyFATEntry<TxFAT16Entries>(value);
    return value;
}

// --- FAT32 ----------------------------------------------------------------------------------------

uint32_t TFileSystemFAT32::BootRecordSize() {
    return BootRecordSizeFor(fDisk->fParams.BytesPerSector, 1024);
}

bool TFileSystemFAT32::CanMount(TxDiskAccessor* aDisk) {
    if (aDisk == nullptr || aDisk->fParams.BytesPerSector == 0) return false;
    return CanMountWith(aDisk, BootRecordSizeFor(aDisk->fParams.BytesPerSector, 1024),
                        &ValidateFAT32BootRecord);
}

uint8_t TFileSystemFAT32::CheckBootRecord(int32_t& aProblem) {
    return CheckBootRecordWith(&ValidateFAT32BootRecord, aProblem);
}

uint32_t TFileSystemFAT32::GetDefaultSectorsPerCluster(uint32_t aTotalSectors) {
    return LookUpClusterSize(kFAT32ClusterSizes, aTotalSectors);
}

uint32_t TFileSystemFAT32::GetMediaEntry() {
    return 0x0FFFFF00 + BootFields().Media;
}

void TFileSystemFAT32::ComputeGeometry() {
    const TxFATBootFields f = BootFields();
    QRT_ASSERT(f.RootEntCnt == 0, "WTF?");
    uint32_t oldReserved = fReservedSectors, oldPerFAT = fSectorsPerFAT;
    SetCommonGeometry(f);
    fSectorsPerFAT = f.FATSz16 != 0 ? f.FATSz16 : f.FATSz32;
    QRT_ASSERT(fSectorsPerFAT != 0, "WTF?");
    uint64_t firstData = uint64_t{f.NumFATs} * fSectorsPerFAT + f.RsvdSecCnt;
    fClusterZeroSector = static_cast<uint32_t>(firstData) - 2 * fSectorsPerCluster;
    fRootAddress = ClusterAddress(static_cast<int32_t>(f.RootClus));
    fRootDirSectors = -1;
    uint32_t count = SetDataArea(*this, firstData, f.TotSec16 != 0 ? f.TotSec16 : f.TotSec32);
    // Cluster numbers from 0x0FFFFFF7 up would be read as bad or end-of-chain marks.
    QRT_ASSERT(count >= 65525 && count <= 0x0FFFFFF5, "WTF?");
    ClusterCount = count + 2;
    FinishGeometry(oldReserved, oldPerFAT);
}

int32_t TFileSystemFAT32::GetActiveFATIndex() {
    uint16_t flags = BootFields().ExtFlags;
    if ((flags & 0x80) == 0) return 0;
    int32_t index = flags & 0x0F;
    return index < fFATCount ? index : 0;
}

uint32_t TFileSystemFAT32::ReadFATEntry(const uint8_t* aData, uint32_t aCluster) {
    CheckEntryRead(aData, aCluster, false, TxFAT32Entries::EntryEnd(aCluster));
    return TxFAT32Entries::Decode(aData, aCluster);
}

uint32_t TFileSystemFAT32::ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) {
    QRT_ASSERT(aClusterNo < ClusterCount, "WTF? aClusterNo=" + std::to_string(aClusterNo) +
                                              ", ClusterCount=" + std::to_string(ClusterCount));
    CheckEntryRead(aData, aClusterNo, true, TxFAT32Entries::EntryEnd(aClusterNo));
    uint32_t value = TxFAT32Entries::Decode(aData, aClusterNo);
    aState = ClassifyFATEntry<TxFAT32Entries>(value);
    return value;
}

} // namespace qrt
