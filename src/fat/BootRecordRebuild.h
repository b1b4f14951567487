#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qrt {

class TxDiskAccessor;

// Rebuilds the boot record of a FAT volume whose boot sectors are gone, from what is left on it:
//   1. The volume is read sequentially in pieces of at least 1 MiB from sector 1 on. Sectors that
//      start a subdirectory ("." and ".." entries that pass the deep entry check) are collected with
//      the cluster of their "." entry, until 8 of them agree on the geometry or the volume ends.
//      Sectors that begin with a media entry (F0 or F8..FF, then FF FF) are noted on the way.
//   2. Each pair (sector s, cluster c) gives, for every cluster size k of 1..128, the sector of
//      cluster 0: s - k * c. The (k, cluster-zero sector) most pairs agree on wins; at least two
//      must agree.
//   3. The FAT type follows from the count of clusters between the data area and the end. The
//      copies are the noted media-entry sectors before the data area that are spaced a FAT apart
//      (at least the size the clusters need): on FAT32 the last one ends at the data area; on
//      FAT12/16 the fixed root directory fills the gap between the last one and the data area. A
//      copy whose start was destroyed is left out (the copies that remain are the volume's copies).
//   4. FAT32's root cluster: cluster 2 when it holds directory entries, else the first cluster that
//      lists a subdirectory whose ".." names the root (cluster 0).
// The span is read once (plus the few sectors of steps 3 and 4, and on FAT32 at worst one more pass
// when cluster 2 is not the root).
class TxBootRecordRebuild {
public:
    explicit TxBootRecordRebuild(TxDiskAccessor* aDisk) : fDisk(aDisk) {}

    // True when a boot record could be built.
    bool Run();

    // The boot sector built (512 bytes, signature at 510).
    const std::array<uint8_t, 512>& BootSector() const { return fBoot; }

    // What was found.
    int FatBits = 0;
    uint32_t SectorsPerCluster = 0;
    int64_t ClusterZeroSector = 0;
    uint32_t DataSector = 0; // first sector of cluster 2
    uint32_t ReservedSectors = 0;
    uint32_t FATCount = 0;
    uint32_t SectorsPerFAT = 0;
    uint32_t RootDirSectors = 0; // FAT12/16
    uint32_t RootCluster = 0;    // FAT32
    uint32_t TotalSectors = 0;
    uint8_t Media = 0;
    int32_t AgreeingDirectories = 0;

    // Directory starts to collect before the scan stops; bytes per read at least.
    static constexpr int32_t kEnoughDirectories = 8;
    static constexpr uint32_t kMinReadBytes = 1 << 20;

private:
    struct Pair {
        uint32_t Sector;
        uint32_t Self;
        uint32_t Parent;
    };
    struct MediaSector {
        uint32_t Sector;
        uint8_t Bytes[4];
    };

    uint32_t VolumeSectors() const;
    uint32_t ChunkSectors() const;
    bool ScanVolume();
    // The (k, cluster-zero sector) most pairs agree on; returns the count of agreeing pairs.
    int32_t BestGeometry(uint32_t& aK, int64_t& aZero) const;
    bool FindFATCopies();
    uint32_t RefineFATSize(uint32_t aLastCopy, uint32_t aMinimum);
    bool FindRootCluster();
    bool IsRootCluster(const std::vector<uint8_t>& aData, bool aNeedsChild) const;
    void BuildBootSector();
    std::vector<uint8_t> ReadSectors(uint32_t aSector, uint32_t aCount);

    TxDiskAccessor* fDisk;
    uint32_t fBytesPerSector = 0;
    std::vector<Pair> fPairs;
    std::vector<MediaSector> fMediaSectors;
    std::array<uint8_t, 512> fBoot{};
};

} // namespace qrt
