#include "TestUtil.h"

#include "fat/BootRecord.h"
#include "fat/FileSystemFAT.h"
#include "fat/LittleEndian.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qrt {
namespace {

// The fields of a hand-made boot record. The three layouts below are consistent volumes of their
// type; the cases change one thing at a time.
struct BootSpec {
    uint8_t Jump = 0xEB;
    uint16_t BytsPerSec = 512;
    uint8_t SecPerClus = 1;
    uint16_t RsvdSecCnt = 1;
    uint8_t NumFATs = 2;
    uint16_t RootEntCnt = 224;
    uint16_t TotSec16 = 0;
    uint8_t Media = 0xF8;
    uint16_t FATSz16 = 0;
    uint32_t TotSec32 = 0;
    uint32_t FATSz32 = 0;
    uint16_t ExtFlags = 0;
    uint32_t RootClus = 0;
    uint16_t Signature = 0xAA55;
};

std::vector<uint8_t> Build(const BootSpec& s) {
    std::vector<uint8_t> b(512, 0);
    auto put = [&](size_t at, uint32_t value, int width) {
        for (int i = 0; i < width; ++i)
            b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(0, s.Jump, 1);
    put(11, s.BytsPerSec, 2);
    put(13, s.SecPerClus, 1);
    put(14, s.RsvdSecCnt, 2);
    put(16, s.NumFATs, 1);
    put(17, s.RootEntCnt, 2);
    put(19, s.TotSec16, 2);
    put(21, s.Media, 1);
    put(22, s.FATSz16, 2);
    put(32, s.TotSec32, 4);
    put(36, s.FATSz32, 4);
    put(40, s.ExtFlags, 2);
    put(44, s.RootClus, 4);
    put(510, s.Signature, 2);
    return b;
}

// FAT12 with 4084 clusters: 1 reserved + 2 × 16 FAT + 14 root sectors = 47, then the data area.
BootSpec Fat12Layout() {
    BootSpec s;
    s.FATSz16 = 16;
    s.TotSec16 = 47 + 4084;
    return s;
}

// FAT16 as mkfs.fat makes it on 20 MB: 4 reserved, 2 × 40 FAT, 32 root sectors, 9971 clusters of 4.
BootSpec Fat16Layout() {
    BootSpec s;
    s.SecPerClus = 4;
    s.RsvdSecCnt = 4;
    s.RootEntCnt = 512;
    s.FATSz16 = 40;
    s.TotSec16 = 40000;
    return s;
}

// FAT32 as mkfs.fat makes it on 40 MB: 32 reserved, 2 × 616 FAT, 78736 clusters of 1 sector.
BootSpec Fat32Layout() {
    BootSpec s;
    s.RsvdSecCnt = 32;
    s.RootEntCnt = 0;
    s.FATSz32 = 616;
    s.TotSec32 = 80000;
    s.RootClus = 2;
    return s;
}

using Validation = uint8_t (*)(std::span<const uint8_t>, int32_t&);

struct Expect {
    uint8_t Result;
    int32_t Problem;
};

struct ValidationCase {
    const char* Name;
    std::function<BootSpec()> Spec;
    Expect Fat12, Fat16, Fat32;
};

constexpr Expect kFat1216Pass{crPassedFAT1216, 0};
constexpr Expect kFat32Pass{crSound, 0};
constexpr Expect Fails(int32_t aProblem) {
    return {crFailed, aProblem};
}

template <typename F> std::function<BootSpec()> From(BootSpec (*aLayout)(), F aChange) {
    return [=] {
        BootSpec s = aLayout();
        aChange(s);
        return s;
    };
}

const ValidationCase kCases[] = {
    // The three layouts are exclusive: each passes only its own validation.
    {"fat12 layout", From(Fat12Layout, [](BootSpec&) {}), kFat1216Pass, Fails(fpClusterCountRange),
     Fails(fpBadFATSize)},
    {"fat16 layout", From(Fat16Layout, [](BootSpec&) {}), Fails(fpClusterCountRange), kFat1216Pass,
     Fails(fpBadFATSize)},
    {"fat32 layout", From(Fat32Layout, [](BootSpec&) {}), Fails(fpBadFATSize), Fails(fpBadFATSize),
     kFat32Pass},
    // 4085 clusters are one too many for FAT12 and the fewest FAT16 takes.
    {"4085 clusters", From(Fat12Layout, [](BootSpec& s) { s.TotSec16 = 47 + 4085; }),
     Fails(fpClusterCountRange), kFat1216Pass, Fails(fpBadFATSize)},
    {"4085 clusters, jump E9", From(Fat12Layout, [](BootSpec& s) { s.TotSec16 = 47 + 4085, s.Jump = 0xE9; }),
     Fails(fpBadJump), kFat1216Pass, Fails(fpBadFATSize)},
    {"jump 90", From(Fat32Layout, [](BootSpec& s) { s.Jump = 0x90; }), Fails(fpBadJump), Fails(fpBadJump),
     Fails(fpBadJump)},
    {"jump E9 on FAT32", From(Fat32Layout, [](BootSpec& s) { s.Jump = 0xE9; }), Fails(fpBadJump),
     Fails(fpBadFATSize), kFat32Pass},
    // The signature is checked first, whatever else is wrong.
    {"no signature", From(Fat12Layout, [](BootSpec& s) { s.Signature = 0x55AA, s.Jump = 0; }),
     Fails(fpNoSignature), Fails(fpNoSignature), Fails(fpNoSignature)},
    {"sector size 1000", From(Fat16Layout, [](BootSpec& s) { s.BytsPerSec = 1000; }),
     Fails(fpBadBytesPerSector), Fails(fpBadBytesPerSector), Fails(fpBadBytesPerSector)},
    // A cluster size of 0 or 3 is refused before any division by it.
    {"cluster size 0", From(Fat16Layout, [](BootSpec& s) { s.SecPerClus = 0; }),
     Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster)},
    {"cluster size 3", From(Fat32Layout, [](BootSpec& s) { s.SecPerClus = 3; }),
     Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster)},
    {"cluster size 255", From(Fat12Layout, [](BootSpec& s) { s.SecPerClus = 255; }),
     Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster), Fails(fpBadSectorsPerCluster)},
    {"no reserved sectors", From(Fat12Layout, [](BootSpec& s) { s.RsvdSecCnt = 0; }),
     Fails(fpNoReservedSectors), Fails(fpNoReservedSectors), Fails(fpNoReservedSectors)},
    {"no FATs", From(Fat32Layout, [](BootSpec& s) { s.NumFATs = 0; }), Fails(fpNoFATs), Fails(fpNoFATs),
     Fails(fpNoFATs)},
    {"FAT12 without FATSz16", From(Fat12Layout, [](BootSpec& s) { s.FATSz16 = 0; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpBadFATSize)},
    // FAT12 never uses TotSec32.
    {"FAT12 in TotSec32", From(Fat12Layout, [](BootSpec& s) { s.TotSec32 = s.TotSec16, s.TotSec16 = 0; }),
     Fails(fpBadTotalSectors), Fails(fpBadTotalSectors), Fails(fpBadFATSize)},
    {"root entries not whole sectors", From(Fat12Layout, [](BootSpec& s) { s.RootEntCnt = 17; }),
     Fails(fpBadRootEntryCount), Fails(fpBadRootEntryCount), Fails(fpBadFATSize)},
    {"FAT16 without root entries", From(Fat16Layout, [](BootSpec& s) { s.RootEntCnt = 0; }),
     Fails(fpBadRootEntryCount), Fails(fpBadRootEntryCount), Fails(fpBadFATSize)},
    // TotSec32 on FAT16 must describe 32 MiB or more.
    {"FAT16 31.99 MiB in TotSec32",
     From(Fat16Layout, [](BootSpec& s) { s.TotSec16 = 0, s.TotSec32 = 65535, s.FATSz16 = 64; }),
     Fails(fpBadTotalSectors), Fails(fpBadTotalSectors), Fails(fpBadFATSize)},
    {"FAT16 32 MiB in TotSec32",
     From(Fat16Layout, [](BootSpec& s) { s.TotSec16 = 0, s.TotSec32 = 65536, s.FATSz16 = 64; }),
     Fails(fpBadTotalSectors), kFat1216Pass, Fails(fpBadFATSize)},
    {"FAT16 32 MiB of 4096-byte sectors",
     From(Fat16Layout,
          [](BootSpec& s) {
              s.BytsPerSec = 4096, s.TotSec16 = 0, s.TotSec32 = 8192, s.SecPerClus = 1, s.FATSz16 = 4,
              s.RootEntCnt = 128;
          }),
     Fails(fpBadTotalSectors), kFat1216Pass, Fails(fpBadFATSize)},
    // 65524 clusters are the most FAT16 takes.
    {"FAT16 65524 clusters",
     From(Fat16Layout,
          [](BootSpec& s) {
              s.SecPerClus = 1, s.RsvdSecCnt = 1, s.FATSz16 = 256, s.TotSec16 = 0, s.TotSec32 = 545 + 65524;
          }),
     Fails(fpBadTotalSectors), kFat1216Pass, Fails(fpBadFATSize)},
    {"FAT16 65525 clusters",
     From(Fat16Layout,
          [](BootSpec& s) {
              s.SecPerClus = 1, s.RsvdSecCnt = 1, s.FATSz16 = 256, s.TotSec16 = 0, s.TotSec32 = 545 + 65525;
          }),
     Fails(fpBadTotalSectors), Fails(fpClusterCountRange), Fails(fpBadFATSize)},
    // FATSz16 on FAT32 fails before FATSz32 is looked at.
    {"FAT32 with FATSz16", From(Fat32Layout, [](BootSpec& s) { s.FATSz16 = 1; }), Fails(fpBadTotalSectors),
     Fails(fpBadRootEntryCount), Fails(fpBadFATSize)},
    {"FAT32 without FATSz32", From(Fat32Layout, [](BootSpec& s) { s.FATSz32 = 0; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpBadFATSize)},
    {"FAT32 with TotSec16", From(Fat32Layout, [](BootSpec& s) { s.TotSec16 = 1000; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpBadTotalSectors)},
    {"FAT32 without TotSec32", From(Fat32Layout, [](BootSpec& s) { s.TotSec32 = 0; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpBadTotalSectors)},
    {"FAT32 with root entries", From(Fat32Layout, [](BootSpec& s) { s.RootEntCnt = 512; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), Fails(fpBadRootEntryCount)},
    {"FAT32 65524 clusters", From(Fat32Layout, [](BootSpec& s) { s.TotSec32 = 32 + 1232 + 65524; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), Fails(fpClusterCountRange)},
    {"FAT32 65525 clusters", From(Fat32Layout, [](BootSpec& s) { s.TotSec32 = 32 + 1232 + 65525; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), kFat32Pass},
    {"FAT32 root cluster 0", From(Fat32Layout, [](BootSpec& s) { s.RootClus = 0; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpNoRootCluster)},
    // Cluster numbers from 0x0FFFFFF7 up would read as bad or end-of-chain marks.
    {"FAT32 beyond 0x0FFFFFF5 clusters",
     From(Fat32Layout, [](BootSpec& s) { s.NumFATs = 1, s.FATSz32 = 0x04000000, s.TotSec32 = 0xFFFFFFFF; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), Fails(fpClusterCountRange)},
    // Reserved, FAT and root areas beyond the total sectors: the difference must not wrap round.
    {"FAT12 areas beyond the volume", From(Fat12Layout, [](BootSpec& s) { s.TotSec16 = 46; }),
     Fails(fpBadTotalSectors), Fails(fpBadTotalSectors), Fails(fpBadFATSize)},
    {"FAT16 areas beyond the volume", From(Fat16Layout, [](BootSpec& s) { s.TotSec16 = 115; }),
     Fails(fpBadTotalSectors), Fails(fpBadTotalSectors), Fails(fpBadFATSize)},
    {"FAT32 areas beyond the volume", From(Fat32Layout, [](BootSpec& s) { s.TotSec32 = 1000; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), Fails(fpBadTotalSectors)},
    {"FAT32 FAT size wrapping round", From(Fat32Layout, [](BootSpec& s) { s.FATSz32 = 0x80000000; }),
     Fails(fpBadFATSize), Fails(fpBadFATSize), Fails(fpBadTotalSectors)},
    // A table too small for the clusters would be read beyond its end.
    {"FAT12 table too small", From(Fat12Layout, [](BootSpec& s) { s.FATSz16 = 2, s.TotSec16 = 19 + 1000; }),
     Fails(fpBadFATSize), Fails(fpClusterCountRange), Fails(fpBadFATSize)},
    {"FAT16 table too small", From(Fat16Layout, [](BootSpec& s) { s.FATSz16 = 38; }),
     Fails(fpClusterCountRange), Fails(fpBadFATSize), Fails(fpBadFATSize)},
    {"FAT32 table too small", From(Fat32Layout, [](BootSpec& s) { s.FATSz32 = 600; }), Fails(fpBadFATSize),
     Fails(fpBadFATSize), Fails(fpBadFATSize)},
};

TEST(BootRecordValidation, EachTypeChecksItsFieldsInOrder) {
    const Validation validations[] = {&ValidateFAT12BootRecord, &ValidateFAT16BootRecord,
                                      &ValidateFAT32BootRecord};
    for (const ValidationCase& c : kCases) {
        std::vector<uint8_t> boot = Build(c.Spec());
        const Expect expected[] = {c.Fat12, c.Fat16, c.Fat32};
        for (int type = 0; type < 3; ++type) {
            SCOPED_TRACE(std::string(c.Name) + ", FAT" + (type == 0 ? "12" : type == 1 ? "16" : "32"));
            int32_t problem = -1;
            uint8_t result = validations[type](boot, problem);
            EXPECT_EQ(result, expected[type].Result);
            EXPECT_EQ(problem, expected[type].Problem);
        }
    }
}

TEST(BootRecordValidation, BufferTooShortForTheSignatureFails) {
    std::vector<uint8_t> boot = Build(Fat16Layout());
    boot.resize(510);
    int32_t problem = 0;
    EXPECT_EQ(ValidateFAT12BootRecord(boot, problem), crFailed);
    EXPECT_EQ(problem, fpNoSignature);
    EXPECT_EQ(ValidateFAT16BootRecord(boot, problem), crFailed);
    EXPECT_EQ(ValidateFAT32BootRecord(boot, problem), crFailed);
    EXPECT_EQ(problem, fpNoSignature);
}

TEST(BootRecordValidation, FieldsAreReadLittleEndianAtTheirOffsets) {
    BootSpec s = Fat32Layout();
    s.ExtFlags = 0x0081;
    s.RootClus = 0x01020304;
    s.Media = 0xF0;
    TxFATBootFields f = ReadBootFields(Build(s));
    EXPECT_EQ(f.RsvdSecCnt, 32);
    EXPECT_EQ(f.FATSz32, 616u);
    EXPECT_EQ(f.TotSec32, 80000u);
    EXPECT_EQ(f.ExtFlags, 0x0081);
    EXPECT_EQ(f.RootClus, 0x01020304u);
    EXPECT_EQ(f.Media, 0xF0);
    EXPECT_EQ(f.Signature, 0xAA55);
}

TEST(LittleEndianReader, ReadsInsideTheBufferOnly) {
    const uint8_t bytes[] = {0x34, 0x12, 0x78, 0x56, 0xFF};
    TxLEReader r(bytes);
    EXPECT_EQ(r.U16(0), 0x1234);
    EXPECT_EQ(r.U32(0), 0x56781234u);
    EXPECT_EQ(r.U32(1), 0xFF567812u);
    EXPECT_EQ(r.U8(4), 0xFF);
    EXPECT_ASSERTION(r.U16(4), "WTF?");
    EXPECT_ASSERTION(r.U32(2), "WTF?");
    EXPECT_ASSERTION(r.U8(5), "WTF?");
    EXPECT_ASSERTION(r.U32(SIZE_MAX - 1), "WTF?");
}

TEST(DefaultSectorsPerCluster, FollowsTheSizeTables) {
    TFileSystemFAT12 fat12(nullptr);
    TFileSystemFAT16 fat16(nullptr);
    TFileSystemFAT32 fat32(nullptr);
    struct Row {
        TFileSystemFATx* Fs;
        uint32_t Sectors;
        uint32_t Expected;
    };
    const Row rows[] = {
        {&fat16, 0, 0},           {&fat16, 32679, 0},    {&fat16, 32680, 2},       {&fat16, 262143, 2},
        {&fat16, 262144, 4},      {&fat16, 4194304, 64}, {&fat16, 0xFFFFFFFF, 64}, {&fat12, 8400, 0},
        {&fat12, 524288, 8},      {&fat32, 66599, 0},    {&fat32, 532479, 0},      {&fat32, 532480, 1},
        {&fat32, 16777215, 1},    {&fat32, 16777216, 8}, {&fat32, 33554432, 16},   {&fat32, 67108864, 32},
        {&fat32, 0xFFFFFFFF, 32},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Fs->ClassName()) + " " + std::to_string(row.Sectors));
        EXPECT_EQ(row.Fs->GetDefaultSectorsPerCluster(row.Sectors), row.Expected);
    }
}

} // namespace
} // namespace qrt
