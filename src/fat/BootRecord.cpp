#include "fat/BootRecord.h"

#include "core/Assert.h"
#include "fat/LittleEndian.h"

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

namespace {

// Counts of clusters that separate the three types.
constexpr uint64_t kMinFAT16Clusters = 4085;
constexpr uint64_t kMinFAT32Clusters = 65525;
// Above this, FAT32 cluster numbers would run into the bad and end-of-chain values.
constexpr uint64_t kMaxFAT32Clusters = 0x0FFFFFF5;
// A FAT16 volume described by TotSec32 holds at least 32 MiB.
constexpr uint64_t kMinFAT16BigSizeKiB = 32768;

// Writes the problem code and gives the check's result.
uint8_t Fail(int32_t& aProblem, int32_t aCode) {
    aProblem = aCode;
    return crFailed;
}

bool IsSectorSize(uint32_t aBytes) {
    return aBytes == 512 || aBytes == 1024 || aBytes == 2048 || aBytes == 4096;
}

bool IsClusterSize(uint32_t aSectors) {
    return aSectors != 0 && aSectors <= 128 && (aSectors & (aSectors - 1)) == 0;
}

// Steps shared by every type: signature, jump opcode, sector size, cluster size, reserved sectors and
// number of FATs, in this order. 0 when all of them pass.
int32_t CheckCommonFields(const TxFATBootFields& f, bool aAcceptNearJump) {
    if (f.Signature != 0xAA55) return fpNoSignature;
    if (!(f.Jump == 0xEB || (aAcceptNearJump && f.Jump == 0xE9))) return fpBadJump;
    if (!IsSectorSize(f.BytsPerSec)) return fpBadBytesPerSector;
    if (!IsClusterSize(f.SecPerClus)) return fpBadSectorsPerCluster;
    if (f.RsvdSecCnt == 0) return fpNoReservedSectors;
    if (f.NumFATs == 0) return fpNoFATs;
    return 0;
}

// FAT12 and FAT16 keep a fixed root directory of whole sectors; a volume without one is unusable.
bool IsRootEntryCountUsable(const TxFATBootFields& f) {
    return f.RootEntCnt != 0 && (uint32_t{f.RootEntCnt} * 32) % f.BytsPerSec == 0;
}

// The data area's count of clusters, or a problem: fpBadTotalSectors when the reserved, FAT and
// root areas do not fit into the total sectors (the difference must not wrap round).
int32_t CountClusters(const TxFATBootFields& f, uint64_t aTotalSectors, uint64_t aFATSize,
                      uint64_t aRootDirSectors, uint64_t& aCount) {
    uint64_t overhead = uint64_t{f.RsvdSecCnt} + uint64_t{f.NumFATs} * aFATSize + aRootDirSectors;
    if (overhead > aTotalSectors) return fpBadTotalSectors;
    aCount = (aTotalSectors - overhead) / f.SecPerClus;
    return 0;
}

// The table must have an entry for every data cluster and the two reserved ones.
bool FATHoldsClusters(const TxFATBootFields& f, int aFATBits, uint64_t aFATSize, uint64_t aCount) {
    return FATEntryCapacity(aFATBits, aFATSize * f.BytsPerSec) >= aCount + 2;
}

} // namespace

TxFATBootFields ReadBootFields(std::span<const uint8_t> aBoot) {
    QRT_ASSERT(aBoot.size() >= kBootSectorSize, "WTF?");
    TxLEReader r(aBoot);
    TxFATBootFields f;
    f.Jump = r.U8(0);
    f.BytsPerSec = r.U16(11);
    f.SecPerClus = r.U8(13);
    f.RsvdSecCnt = r.U16(14);
    f.NumFATs = r.U8(16);
    f.RootEntCnt = r.U16(17);
    f.TotSec16 = r.U16(19);
    f.Media = r.U8(21);
    f.FATSz16 = r.U16(22);
    f.TotSec32 = r.U32(32);
    f.FATSz32 = r.U32(36);
    f.ExtFlags = r.U16(40);
    f.RootClus = r.U32(44);
    f.Signature = r.U16(510);
    return f;
}

uint32_t RootDirSectorsOf(const TxFATBootFields& aFields) {
    if (aFields.BytsPerSec == 0) return 0;
    return (uint32_t{aFields.RootEntCnt} * 32 + aFields.BytsPerSec - 1) / aFields.BytsPerSec;
}

uint64_t FATEntryCapacity(int aFATBits, uint64_t aFATBytes) {
    switch (aFATBits) {
    case 12:
        return aFATBytes * 2 / 3;
    case 16:
        return aFATBytes / 2;
    case 32:
        return aFATBytes / 4;
    default:
        QRT_FAIL("WTF?");
    }
}

uint8_t ValidateFAT12BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem) {
    if (aBoot.size() < kBootSectorSize) return Fail(aProblem, fpNoSignature);
    const TxFATBootFields f = ReadBootFields(aBoot);
    if (int32_t problem = CheckCommonFields(f, false)) return Fail(aProblem, problem);
    if (f.FATSz16 == 0) return Fail(aProblem, fpBadFATSize);
    // TotSec32 is not used by FAT12.
    if (f.TotSec16 == 0) return Fail(aProblem, fpBadTotalSectors);
    if (!IsRootEntryCountUsable(f)) return Fail(aProblem, fpBadRootEntryCount);
    uint64_t count = 0;
    if (int32_t problem = CountClusters(f, f.TotSec16, f.FATSz16, RootDirSectorsOf(f), count))
        return Fail(aProblem, problem);
    if (count >= kMinFAT16Clusters) return Fail(aProblem, fpClusterCountRange);
    if (!FATHoldsClusters(f, 12, f.FATSz16, count)) return Fail(aProblem, fpBadFATSize);
    aProblem = 0;
    return crPassedFAT1216;
}

uint8_t ValidateFAT16BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem) {
    if (aBoot.size() < kBootSectorSize) return Fail(aProblem, fpNoSignature);
    const TxFATBootFields f = ReadBootFields(aBoot);
    if (int32_t problem = CheckCommonFields(f, true)) return Fail(aProblem, problem);
    if (f.FATSz16 == 0) return Fail(aProblem, fpBadFATSize);
    uint64_t total = f.TotSec16;
    if (total == 0) {
        // A FAT16 volume needs TotSec32 only when it is too big for TotSec16: 32 MiB and more.
        if (f.TotSec32 == 0 || uint64_t{f.BytsPerSec} * f.TotSec32 / 1024 < kMinFAT16BigSizeKiB)
            return Fail(aProblem, fpBadTotalSectors);
        total = f.TotSec32;
    }
    if (!IsRootEntryCountUsable(f)) return Fail(aProblem, fpBadRootEntryCount);
    uint64_t count = 0;
    if (int32_t problem = CountClusters(f, total, f.FATSz16, RootDirSectorsOf(f), count))
        return Fail(aProblem, problem);
    if (count < kMinFAT16Clusters || count >= kMinFAT32Clusters) return Fail(aProblem, fpClusterCountRange);
    if (!FATHoldsClusters(f, 16, f.FATSz16, count)) return Fail(aProblem, fpBadFATSize);
    aProblem = 0;
    return crPassedFAT1216;
}

uint8_t ValidateFAT32BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem) {
    if (aBoot.size() < kBootSectorSize) return Fail(aProblem, fpNoSignature);
    const TxFATBootFields f = ReadBootFields(aBoot);
    if (int32_t problem = CheckCommonFields(f, true)) return Fail(aProblem, problem);
    // FATSz16 is looked at first: a FAT12 or FAT16 record never passes as FAT32.
    if (f.FATSz16 != 0 || f.FATSz32 == 0) return Fail(aProblem, fpBadFATSize);
    if (f.TotSec16 != 0 || f.TotSec32 == 0) return Fail(aProblem, fpBadTotalSectors);
    if (f.RootEntCnt != 0) return Fail(aProblem, fpBadRootEntryCount);
    uint64_t count = 0;
    if (int32_t problem = CountClusters(f, f.TotSec32, f.FATSz32, 0, count)) return Fail(aProblem, problem);
    if (count < kMinFAT32Clusters || count > kMaxFAT32Clusters) return Fail(aProblem, fpClusterCountRange);
    if (f.RootClus == 0) return Fail(aProblem, fpNoRootCluster);
    if (!FATHoldsClusters(f, 32, f.FATSz32, count)) return Fail(aProblem, fpBadFATSize);
    aProblem = 0;
    return crSound;
}

} // namespace qrt
