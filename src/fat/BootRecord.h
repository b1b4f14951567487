#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qrt {

// Results of the FAT validations and probes: 5 sound, 4 a FAT12 or FAT16 boot record that passed
// every check, 3 partly sound, 2 or less failed.
enum : uint8_t { crFailed = 2, crPartlySound = 3, crPassedFAT1216 = 4, crSound = 5 };

// Problem codes written by the FAT validations and probes (0 = nothing wrong).
enum : int32_t {
    // boot record
    fpNoSignature = 0x10001,          // 0xAA55 missing at offset 510
    fpBadJump = 0x10002,              // jump opcode at offset 0 not accepted
    fpClusterCountRange = 0x10003,    // count of clusters outside the range of the type
    fpBadSectorsPerCluster = 0x10004, // not a power of two from 1 to 128
    fpNoReservedSectors = 0x10005,
    fpBadBytesPerSector = 0x10006, // not 512, 1024, 2048 or 4096
    fpBadTotalSectors = 0x10007,   // total sector fields unusable for the type
    fpNoFATs = 0x21001,
    fpBadFATSize = 0x21002,        // FAT size fields unusable for the type
    fpNoRootCluster = 0x22001,     // FAT32 root cluster 0
    fpBadRootEntryCount = 0x22002, // root entry count unusable for the type
    // allocation table copies
    fpMediaEntry = 0x21003,     // entry 0 is not the media entry
    fpLinkOutOfRange = 0x21004, // an entry links outside the data clusters
    fpCopyUnreadable = 0x21005, // part of the copy could not be read from the device
    fpLinkedTwice = 0x21006,    // two entries link to the same cluster
    // directory entries
    fpEntryFirstCluster = 0x21013,
    fpEntryFirstByte = 0x21014,
    fpEntryAttributes = 0x21015,
    fpEntryShortName = 0x21017,
    fpLongNameAttributes = 0x21018,
    fpLongNameType = 0x21019,
    fpEntryClusterHigh = 0x24001,
};

// The FAT boot record occupies the first 512 bytes of the volume's boot sector.
inline constexpr size_t kBootSectorSize = 512;

// The boot record fields the system reads (names of the published FAT specification).
struct TxFATBootFields {
    uint8_t Jump = 0;        // offset 0
    uint16_t BytsPerSec = 0; // 11
    uint8_t SecPerClus = 0;  // 13
    uint16_t RsvdSecCnt = 0; // 14
    uint8_t NumFATs = 0;     // 16
    uint16_t RootEntCnt = 0; // 17
    uint16_t TotSec16 = 0;   // 19
    uint8_t Media = 0;       // 21
    uint16_t FATSz16 = 0;    // 22
    uint32_t TotSec32 = 0;   // 32
    uint32_t FATSz32 = 0;    // 36, FAT32
    uint16_t ExtFlags = 0;   // 40, FAT32
    uint32_t RootClus = 0;   // 44, FAT32
    uint16_t Signature = 0;  // 510
};

// Decodes the fields from a buffer of at least kBootSectorSize bytes.
TxFATBootFields ReadBootFields(std::span<const uint8_t> aBoot);

// Sectors of the fixed root directory of FAT12 and FAT16 (0 when BytsPerSec is 0).
uint32_t RootDirSectorsOf(const TxFATBootFields& aFields);
// How many entries of aFATBits bits a table of aFATBytes bytes holds.
uint64_t FATEntryCapacity(int aFATBits, uint64_t aFATBytes);

// The boot record validations of the three types. Each checks the fields in a fixed order and stops
// at the first failure, writing its problem code and returning crFailed; a record that passes writes
// 0 and returns crPassedFAT1216 (FAT12, FAT16) or crSound (FAT32). A buffer shorter than a boot
// sector cannot hold the signature and fails with fpNoSignature.
uint8_t ValidateFAT12BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem);
uint8_t ValidateFAT16BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem);
uint8_t ValidateFAT32BootRecord(std::span<const uint8_t> aBoot, int32_t& aProblem);

} // namespace qrt
