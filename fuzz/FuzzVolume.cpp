#include "FuzzVolume.h"

#include <cstring>

namespace qrt::fuzz {

namespace {

void Put(uint8_t* p, uint32_t aValue, int aBytes) {
    for (int i = 0; i < aBytes; ++i)
        p[i] = static_cast<uint8_t>(aValue >> (8 * i));
}

uint64_t EntryBytes(int aFatBits, uint64_t aEntries) {
    return (aEntries * uint64_t(aFatBits) + 7) / 8;
}

} // namespace

TFuzzVolume TFuzzVolume::Make(int aFatBits, uint32_t aSectorsPerCluster, uint32_t aFATCount) {
    TFuzzVolume v;
    v.FatBits = aFatBits;
    v.SectorsPerCluster = aSectorsPerCluster;
    v.FATCount = aFATCount;
    switch (aFatBits) {
    case 12:
        v.ReservedSectors = 1;
        v.RootEntries = 224;
        v.Clusters = 1500;
        v.Media = 0xF0;
        break;
    case 16:
        v.ReservedSectors = 1;
        v.RootEntries = 512;
        v.Clusters = 4200;
        break;
    default:
        v.FatBits = 32;
        v.ReservedSectors = 32;
        v.RootEntries = 0;
        v.Clusters = 65600;
        break;
    }
    uint64_t tableBytes = EntryBytes(v.FatBits, uint64_t(v.Clusters) + 2);
    v.SectorsPerFAT = static_cast<uint32_t>((tableBytes + v.BytesPerSector - 1) / v.BytesPerSector);
    v.TotalSectors = v.ReservedSectors + v.FATCount * v.SectorsPerFAT + v.RootDirSectors() +
                     v.Clusters * v.SectorsPerCluster;
    return v;
}

std::array<uint8_t, 512> TFuzzVolume::BootSector() const {
    std::array<uint8_t, 512> b{};
    b[0] = 0xEB;
    b[1] = FatBits == 32 ? 0x58 : 0x3C;
    b[2] = 0x90;
    std::memcpy(&b[3], "MSWIN4.1", 8);
    Put(&b[11], BytesPerSector, 2);
    b[13] = static_cast<uint8_t>(SectorsPerCluster);
    Put(&b[14], ReservedSectors, 2);
    b[16] = static_cast<uint8_t>(FATCount);
    Put(&b[17], RootEntries, 2);
    if (FatBits != 32 && TotalSectors < 65536)
        Put(&b[19], TotalSectors, 2);
    else
        Put(&b[32], TotalSectors, 4);
    b[21] = Media;
    Put(&b[24], 63, 2);
    Put(&b[26], 255, 2);
    if (FatBits == 32) {
        Put(&b[36], SectorsPerFAT, 4);
        Put(&b[44], RootCluster, 4);
        Put(&b[48], 1, 2); // FSInfo sector
        Put(&b[50], 6, 2); // backup boot sector
        b[66] = 0x29;
        std::memcpy(&b[71], "FUZZ       FAT32   ", 19);
    } else {
        Put(&b[22], SectorsPerFAT, 2);
        b[38] = 0x29;
        std::memcpy(&b[43], FatBits == 12 ? "FUZZ       FAT12   " : "FUZZ       FAT16   ", 19);
    }
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}

uint32_t TFuzzVolume::EndOfChain() const {
    return FatBits == 12 ? 0xFFF : FatBits == 16 ? 0xFFFF : 0x0FFFFFFF;
}

void TFuzzVolume::PutEntry(std::vector<uint8_t>& aTable, uint32_t aCluster, uint32_t aValue) const {
    switch (FatBits) {
    case 12: {
        size_t at = aCluster + aCluster / 2;
        if (at + 1 >= aTable.size()) return;
        uint32_t pair = aTable[at] | (aTable[at + 1] << 8);
        pair =
            (aCluster & 1) ? (pair & 0x000F) | ((aValue & 0xFFF) << 4) : (pair & 0xF000) | (aValue & 0xFFF);
        Put(&aTable[at], pair, 2);
        break;
    }
    case 16:
        if (size_t{aCluster} * 2 + 2 <= aTable.size()) Put(&aTable[size_t{aCluster} * 2], aValue, 2);
        break;
    default:
        if (size_t{aCluster} * 4 + 4 <= aTable.size()) Put(&aTable[size_t{aCluster} * 4], aValue, 4);
        break;
    }
}

std::vector<uint8_t> TFuzzVolume::EmptyFAT() const {
    std::vector<uint8_t> table(FATBytes(), 0);
    uint32_t mediaEntry = FatBits == 12   ? 0xF00u + Media
                          : FatBits == 16 ? 0xFF00u + Media
                                          : 0x0FFFFF00u + Media;
    PutEntry(table, 0, mediaEntry);
    PutEntry(table, 1, EndOfChain());
    if (FatBits == 32) PutEntry(table, RootCluster, EndOfChain());
    return table;
}

} // namespace qrt::fuzz
