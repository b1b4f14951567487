#include "fat/DirEntryCheck.h"

#include "fat/BootRecord.h"
#include "fat/diskFsFAT.h"

#include <algorithm>

namespace qrt {

namespace {

bool IsDotEntry(std::span<const uint8_t, 32> e) {
    return e[0] == '.' && e[1] == ' ';
}
bool IsDotDotEntry(std::span<const uint8_t, 32> e) {
    return e[0] == '.' && e[1] == '.' && e[2] == ' ';
}

TFATDirEntry Copy(std::span<const uint8_t, 32> e) {
    TFATDirEntry entry;
    std::copy(e.begin(), e.end(), entry.begin());
    return entry;
}

uint8_t Fail(int32_t& aProblem, int32_t aCode) {
    aProblem = aCode;
    return crFailed;
}

} // namespace

uint8_t CheckFATDirEntry(std::span<const uint8_t, 32> aEntry, int32_t& aProblem, bool aStrict, int aFatBits,
                         uint32_t aClusterCount) {
    TFATDirEntry e = Copy(aEntry);
    uint8_t first = e[0];
    if (first == 0x00) return crSound;
    if (first <= 0x20) return Fail(aProblem, fpEntryFirstByte);
    bool dots = IsDotEntry(aEntry) || IsDotDotEntry(aEntry);
    if (aStrict && first == '.' && !dots) return Fail(aProblem, fpEntryFirstByte);
    uint8_t attr = EntryAttr(e);
    if (attr & 0xC0) return Fail(aProblem, fpEntryAttributes);
    if (IsLongNameEntry(e)) {
        if (attr != kLongNameAttr) return Fail(aProblem, fpLongNameAttributes);
        if (e[12] != 0) return Fail(aProblem, fpLongNameType);
        aProblem = 0;
        return crSound;
    }
    if (aFatBits != 32 && EntryWord(e, 20) != 0) return Fail(aProblem, fpEntryClusterHigh);
    uint32_t cluster = EntryFirstCluster(e);
    bool clusterFits = attr == 0x08 ? cluster == 0 : cluster >= 2 && cluster < aClusterCount;
    if (!clusterFits) return Fail(aProblem, fpEntryFirstCluster);
    // "." and ".." are the names of the dot entries (the short-name rules have no place for them); a
    // volume label may hold blanks between its words.
    bool nameFits = dots ? std::all_of(e.begin() + 3, e.begin() + 11, [](uint8_t c) { return c == ' '; })
                    : attr == 0x08 ? std::all_of(e.begin(), e.begin() + 11,
                                                 [](uint8_t c) { return c == ' ' || IsShortNameChar(c); })
                                   : IsValidShortEntryName(e);
    if (!nameFits) return Fail(aProblem, fpEntryShortName);
    aProblem = 0;
    return crSound;
}

TxDirProbe ProbeDirectoryBytes(std::span<const uint8_t> aData, bool aDeep, int aFatBits,
                               uint32_t aClusterCount) {
    TxDirProbe probe;
    size_t count = aData.size() / 32;
    if (count == 0) return probe;
    auto entry = [&](size_t i) { return aData.subspan(i * 32).first<32>(); };
    if (IsDotEntry(entry(0))) {
        probe.DotStart = true;
        if (count > 1 && IsDotDotEntry(entry(1))) {
            probe.Result = crPartlySound;
            probe.Parent = EntryFirstCluster(Copy(entry(1)));
        } else {
            probe.Result = crFailed;
        }
        probe.Self = EntryFirstCluster(Copy(entry(0)));
        if (probe.Self == 0xFFFFFFFF || probe.Parent == 0xFFFFFFFF) return probe;
    }
    if (entry(0)[0] != 0x00) {
        if (CheckFATDirEntry(entry(0), probe.Problem, true, aFatBits, aClusterCount) < crPartlySound)
            return probe;
        ++probe.SoundEntries;
        for (size_t i = 1; aDeep && i < count && entry(i)[0] != 0x00; ++i) {
            if (CheckFATDirEntry(entry(i), probe.Problem, true, aFatBits, aClusterCount) < crPartlySound)
                return probe;
            ++probe.SoundEntries;
        }
    }
    probe.Result = crSound;
    return probe;
}

} // namespace qrt
