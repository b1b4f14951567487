#pragma once

#include "core/TObject.h"

#include <array>
#include <cstdint>
#include <span>

namespace qrt {

class TxDiskAccessor;
class TObjectList;

// The master boot record of a whole-device accessor (its owner) and the partition accessors derived
// from its usable entries. Each partition accessor is a TxDiskAccessor limited to the partition's
// sectors; it carries a copy of the device's parameters and opens the device on its own handle.
//
// The record is the first 512 bytes of sector 0. Sector 0 is always read whole, so a device with
// 4096-byte sectors has its record read like any other.
class TxPartitionTable : public TObject {
public:
    QRT_CLASSNAME(TxPartitionTable)

    static constexpr uint32_t RecordSize = 512;
    static constexpr uint32_t EntryOffset = 446;
    static constexpr uint32_t EntrySize = 16;
    static constexpr uint32_t EntryCount = 4;

    explicit TxPartitionTable(TxDiskAccessor* aDisk);
    // Clears the disk's reference to this table and frees every partition accessor.
    ~TxPartitionTable() override;
    TxPartitionTable(const TxPartitionTable&) = delete;
    TxPartitionTable& operator=(const TxPartitionTable&) = delete;

    // Whether sector 0 of the disk holds a valid master boot record.
    static bool CanLoad(TxDiskAccessor* aDisk);
    // Position of a partition accessor in fPartitions; negative (kNotInList) when absent.
    virtual int32_t IndexOf(const TxDiskAccessor* aPartition) const;
    // Whether the record read by Load is valid.
    virtual bool IsValid() const;
    // Reads the record and derives one partition accessor per usable entry, each of which then tries
    // to mount a file system. A short read or an invalid record leaves the table without partitions.
    virtual void Load();

    // The signature 0xAA55 at offset 510 and, for every entry, an end key (head, cylinder low byte,
    // sector byte) not below the start key. The partition type plays no part.
    static bool IsValidMbr(std::span<const uint8_t, RecordSize> aSector);
    // End head not below start head, and a sector count above 0.
    static bool IsUsablePartitionEntry(std::span<const uint8_t, EntrySize> aEntry);

    // The partition accessor of slot aIndex (0..Count-1 of fPartitions).
    TxDiskAccessor* GetPartition(int32_t aIndex) const;
    int32_t GetPartitionCount() const;

    TxDiskAccessor* fDisk;
    TObjectList* fPartitions; // owns the partition accessors
    std::array<uint8_t, RecordSize> fSector{};
};

} // namespace qrt
