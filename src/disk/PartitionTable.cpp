#include "disk/PartitionTable.h"

#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskRepo.h"
#include "disk/FileSystem.h"
#include "disk/FileSystemRegistry.h"
#include "support/ListUtils.h"

#include <memory>
#include <vector>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Fields of a partition entry.
enum : uint32_t {
    peStartHead = 1,
    peStartSector = 2,
    peStartCylinder = 3,
    peEndHead = 5,
    peEndSector = 6,
    peEndCylinder = 7,
    peFirstSector = 8,
    peSectorCount = 12,
};

std::span<const uint8_t, TxPartitionTable::EntrySize>
EntryOf(std::span<const uint8_t, TxPartitionTable::RecordSize> aSector, uint32_t aSlot) {
    return aSector.subspan(TxPartitionTable::EntryOffset + aSlot * TxPartitionTable::EntrySize)
        .first<TxPartitionTable::EntrySize>();
}

// Reads the record: sector 0 is read whole (so the device's sector size never gets in the way) and
// its first 512 bytes are kept. False when the disk has no known sector size or the read falls short.
bool ReadRecord(TxDiskAccessor* aDisk, std::array<uint8_t, TxPartitionTable::RecordSize>& aRecord) {
    uint32_t bytesPerSector = aDisk->fParams.BytesPerSector;
    if (bytesPerSector == 0) return false;
    uint32_t sectors = (TxPartitionTable::RecordSize + bytesPerSector - 1) / bytesPerSector;
    std::vector<uint8_t> buffer(size_t{sectors} * bytesPerSector);
    uint32_t got = aDisk->Read(SectorAddress(0), buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (got != buffer.size()) return false;
    std::copy_n(buffer.begin(), aRecord.size(), aRecord.begin());
    return true;
}

} // namespace

TxPartitionTable::TxPartitionTable(TxDiskAccessor* aDisk) : fDisk(aDisk), fPartitions(new TObjectList) {
    fPartitions->OwnsItems = true;
    fPartitions->Owner = this;
}

TxPartitionTable::~TxPartitionTable() {
    if (fDisk && fDisk->fPartitionTable == this) fDisk->fPartitionTable = nullptr;
    // The repository must not keep pointing at partitions that are about to go.
    if (TxDiskRepo* repo = ExistingDiskRepo()) repo->ForgetPartitionsOf(this);
    delete fPartitions;
}

bool TxPartitionTable::CanLoad(TxDiskAccessor* aDisk) {
    std::array<uint8_t, RecordSize> record{};
    return ReadRecord(aDisk, record) && IsValidMbr(record);
}

int32_t TxPartitionTable::IndexOf(const TxDiskAccessor* aPartition) const {
    return fPartitions->IndexOf(aPartition);
}

bool TxPartitionTable::IsValid() const {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    return IsValidMbr(fSector);
}

void TxPartitionTable::Load() {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    if (!ReadRecord(fDisk, fSector)) return;
    if (!IsValidMbr(fSector)) return;
    for (uint32_t slot = 0; slot < EntryCount; ++slot) {
        auto entry = EntryOf(fSector, slot);
        if (!IsUsablePartitionEntry(entry)) continue;
        uint32_t first = Le32(&entry[peFirstSector]);
        uint32_t count = Le32(&entry[peSectorCount]);
        // Sector numbers are 32-bit: an extent that would run past the last one cannot be addressed
        // without wrapping round to the start of the device.
        if (uint64_t{first} + count - 1 > UINT32_MAX) continue;

        auto partition = std::make_unique<TxDiskAccessor>();
        partition->fParent = fDisk;
        partition->fParams = fDisk->fParams;
        partition->fParams.PartitionNo = static_cast<uint8_t>(slot);
        partition->fParams.FirstSector = first;
        partition->fParams.LastSector = first + count - 1;
        TxDiskAccessor* p = partition.get();
        fPartitions->Add(partition.release());
        if (TxDiskRepo* repo = ExistingDiskRepo()) repo->AddPartition(p);
        p->MountFileSystem();
    }
}

bool TxPartitionTable::IsValidMbr(std::span<const uint8_t, RecordSize> aSector) {
    if (aSector[510] != 0x55 || aSector[511] != 0xAA) return false;
    for (uint32_t slot = 0; slot < EntryCount; ++slot) {
        auto e = EntryOf(aSector, slot);
        uint32_t startKey =
            (uint32_t{e[peStartHead]} << 16) | (uint32_t{e[peStartCylinder]} << 8) | e[peStartSector];
        uint32_t endKey = (uint32_t{e[peEndHead]} << 16) | (uint32_t{e[peEndCylinder]} << 8) | e[peEndSector];
        if (endKey < startKey) return false;
    }
    return true;
}

bool TxPartitionTable::IsUsablePartitionEntry(std::span<const uint8_t, EntrySize> aEntry) {
    return aEntry[peEndHead] >= aEntry[peStartHead] && Le32(&aEntry[peSectorCount]) > 0;
}

TxDiskAccessor* TxPartitionTable::GetPartition(int32_t aIndex) const {
    return static_cast<TxDiskAccessor*>(fPartitions->Get(aIndex));
}

int32_t TxPartitionTable::GetPartitionCount() const {
    return fPartitions->Count;
}

// --- The two operations of the accessor that concern partitions and file systems -----------------

void TxDiskAccessor::LoadPartitionTable() {
    QRT_ASSERT(fPartitionTable == nullptr, "WTF?");
    if (fFileSystem != nullptr) return;
    if (!TxPartitionTable::CanLoad(this)) return;
    fPartitionTable = new TxPartitionTable(this);
    fPartitionTable->Load();
}

void TxDiskAccessor::MountFileSystem() {
    if (fFileSystem != nullptr) return;
    QRT_ASSERT(fPartitionTable == nullptr, "WTF?");
    const TxFileSystemClass* fsClass = FindFileSystemClass(this);
    if (fsClass == nullptr) return;
    fFileSystem = fsClass->Create(this);
    fFileSystem->Mount();
}

} // namespace qrt
