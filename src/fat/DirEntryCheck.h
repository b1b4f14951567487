#pragma once

#include <cstdint>
#include <span>

namespace qrt {

// The validity check of one 32-byte directory entry, for a volume of aFatBits with cluster bound
// aClusterCount (data clusters 2 .. aClusterCount - 1). crSound, or crFailed with the problem code
// of the first rule broken:
//   end marker: sound (problem untouched); first byte 0x01..0x20: fpEntryFirstByte; with aStrict a
//   first byte "." allows only ". " and ".. " (fpEntryFirstByte); attribute bits 6-7: fpEntryAttributes;
//   long-name entry: attribute exactly 0x0F (fpLongNameAttributes) and type 0 (fpLongNameType);
//   FAT12/16 with FstClusHI set: fpEntryClusterHigh; first cluster 0 for a volume label, else a data
//   cluster: fpEntryFirstCluster; the short name (dot entries have theirs): fpEntryShortName.
uint8_t CheckFATDirEntry(std::span<const uint8_t, 32> aEntry, int32_t& aProblem, bool aStrict, int aFatBits,
                         uint32_t aClusterCount);

// What the directory probe finds in the bytes of a sector, a cluster or the fixed root area.
struct TxDirProbe {
    uint8_t Result = 1;           // 5 sound, 3 a "." and ".." start with an unsound entry, 2 or 1 none
    int32_t Problem = 0;          // the code of the entry that failed
    int32_t SoundEntries = 0;     // entries that passed the check
    bool DotStart = false;        // entry 0 is a "." entry: Self and Parent come from the dot entries
    uint32_t Self = 0xFFFFFFFF;   // cluster of "." (0xFFFFFFFF: none)
    uint32_t Parent = 0xFFFFFFFF; // cluster of ".." (0xFFFFFFFF: none)
};

// The probe over the bytes: a "." entry followed by ".." gives 3 and the two clusters; then entry 0
// (and with aDeep every entry up to the end marker) must pass the strict entry check, which makes
// the result 5. Bytes that hold ordinary entries give 5 without Self and Parent; an area whose
// first entry is not sound gives 1.
TxDirProbe ProbeDirectoryBytes(std::span<const uint8_t> aData, bool aDeep, int aFatBits,
                               uint32_t aClusterCount);

} // namespace qrt
