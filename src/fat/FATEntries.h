#pragma once

#include "disk/FileSystem.h"

#include <cstdint>

namespace qrt {

// Decoding of allocation-table entries for the three widths. The decoders work straight on the bytes
// of a loaded table; the caller makes sure the entry lies inside them (EntryEnd).
//
// Classification, the same for every width with its own thresholds: 0 is free; from the end-of-chain
// threshold up the entry ends a chain; from the bad threshold up to there it marks a bad cluster; any
// other value (1 included) is in use and names the next cluster of the chain.

struct TxFAT12Entries {
    static constexpr int Bits = 12;
    static constexpr uint32_t Bad = 0xFF1;
    static constexpr uint32_t EndOfChain = 0xFF8;
    // Two entries share three bytes: the even one takes the low 12 bits, the odd one the high 12.
    static uint32_t Decode(const uint8_t* aData, uint32_t aCluster) {
        const uint8_t* p = aData + aCluster + aCluster / 2;
        uint32_t pair = uint32_t{p[0]} | (uint32_t{p[1]} << 8);
        return (aCluster & 1) ? pair >> 4 : pair & 0xFFF;
    }
    // Bytes of the table up to and including the entry.
    static uint64_t EntryEnd(uint32_t aCluster) { return uint64_t{aCluster} + aCluster / 2 + 2; }
};

struct TxFAT16Entries {
    static constexpr int Bits = 16;
    static constexpr uint32_t Bad = 0xFFF1;
    static constexpr uint32_t EndOfChain = 0xFFF8;
    static uint32_t Decode(const uint8_t* aData, uint32_t aCluster) {
        const uint8_t* p = aData + uint64_t{aCluster} * 2;
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
    }
    static uint64_t EntryEnd(uint32_t aCluster) { return uint64_t{aCluster} * 2 + 2; }
};

// FAT32 entries are taken whole: the upper four bits are not masked off, so an entry with any of
// them set is at or above the end-of-chain threshold.
struct TxFAT32Entries {
    static constexpr int Bits = 32;
    static constexpr uint32_t Bad = 0x0FFFFFF1;
    static constexpr uint32_t EndOfChain = 0x0FFFFFF8;
    static uint32_t Decode(const uint8_t* aData, uint32_t aCluster) {
        const uint8_t* p = aData + uint64_t{aCluster} * 4;
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }
    static uint64_t EntryEnd(uint32_t aCluster) { return uint64_t{aCluster} * 4 + 4; }
};

template <typename TEntries> uint8_t ClassifyFATEntry(uint32_t aValue) {
    uint8_t state = aValue == 0 ? csFree : csInUse;
    if (aValue >= TEntries::EndOfChain)
        state = csEndOfChain;
    else if (aValue >= TEntries::Bad)
        state = csBad;
    return state;
}

} // namespace qrt
