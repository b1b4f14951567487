#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qrt::fuzz {

// The layout of a small, sound FAT volume of a given type that a target fills with fuzz data: a
// boot sector that passes the type's validation, then the FAT copies, the fixed root directory
// (FAT12/16) and the data clusters. The cluster counts are the smallest the types allow (FAT32
// needs 65525 clusters: about 33 MB of sparse image).
struct TFuzzVolume {
    int FatBits = 16;
    uint32_t BytesPerSector = 512;
    uint32_t SectorsPerCluster = 1;
    uint32_t ReservedSectors = 1;
    uint32_t FATCount = 2;
    uint32_t RootEntries = 512; // 0 on FAT32
    uint32_t SectorsPerFAT = 0;
    uint32_t Clusters = 0; // data clusters (2 .. Clusters + 1)
    uint32_t TotalSectors = 0;
    uint32_t RootCluster = 2; // FAT32
    uint8_t Media = 0xF8;

    // A volume of the type with aSectorsPerCluster (1..128, a power of two) and aFATCount copies.
    static TFuzzVolume Make(int aFatBits, uint32_t aSectorsPerCluster, uint32_t aFATCount = 2);

    uint32_t RootDirSectors() const { return (RootEntries * 32 + BytesPerSector - 1) / BytesPerSector; }
    uint64_t FATOffset(uint32_t aCopy) const {
        return uint64_t(ReservedSectors + aCopy * SectorsPerFAT) * BytesPerSector;
    }
    uint64_t FATBytes() const { return uint64_t(SectorsPerFAT) * BytesPerSector; }
    // The fixed root directory of FAT12/16 (on FAT32 the data area starts there).
    uint64_t RootOffset() const { return FATOffset(FATCount); }
    uint64_t DataOffset() const { return RootOffset() + uint64_t(RootDirSectors()) * BytesPerSector; }
    uint64_t ClusterBytes() const { return uint64_t(SectorsPerCluster) * BytesPerSector; }
    uint64_t ClusterOffset(uint32_t aCluster) const { return DataOffset() + (aCluster - 2) * ClusterBytes(); }
    uint64_t ImageBytes() const { return uint64_t(TotalSectors) * BytesPerSector; }

    // The boot sector (FAT32: with the FSInfo signature fields left zero).
    std::array<uint8_t, 512> BootSector() const;
    // An empty allocation table: the media entry, the end-of-chain entry 1, and on FAT32 the root
    // directory's cluster as a chain of its own.
    std::vector<uint8_t> EmptyFAT() const;
    // Entry values of the type.
    uint32_t EndOfChain() const;
    void PutEntry(std::vector<uint8_t>& aTable, uint32_t aCluster, uint32_t aValue) const;
};

} // namespace qrt::fuzz
