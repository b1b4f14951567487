#include "fat/BootRecordRebuild.h"

#include "core/Application.h"
#include "disk/DiskAccessor.h"
#include "fat/BootRecord.h"
#include "fat/DirEntryCheck.h"
#include "fat/diskFsFAT.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <span>

namespace qrt {

namespace {

bool IsMediaByte(uint8_t b) {
    return b == 0xF0 || b >= 0xF8;
}

bool AllZero(std::span<const uint8_t> aBytes) {
    return std::all_of(aBytes.begin(), aBytes.end(), [](uint8_t b) { return b == 0; });
}

} // namespace

uint32_t TxBootRecordRebuild::VolumeSectors() const {
    const TxDriveParams& p = fDisk->fParams;
    return p.LastSector != 0 ? p.LastSector - p.FirstSector + 1 : p.TotalSectors;
}

uint32_t TxBootRecordRebuild::ChunkSectors() const {
    return std::max<uint32_t>(1, kMinReadBytes / fBytesPerSector);
}

std::vector<uint8_t> TxBootRecordRebuild::ReadSectors(uint32_t aSector, uint32_t aCount) {
    std::vector<uint8_t> data(size_t(aCount) * fBytesPerSector);
    size_t done = 0;
    for (uint32_t s = 0; s < aCount;) {
        uint32_t n = std::min(ChunkSectors(), aCount - s);
        uint32_t got = fDisk->Read(SectorAddress(static_cast<int32_t>(aSector + s)), data.data() + done,
                                   n * fBytesPerSector);
        done += got;
        if (got < n * fBytesPerSector) break;
        s += n;
    }
    data.resize(done);
    return data;
}

bool TxBootRecordRebuild::Run() {
    fBytesPerSector = fDisk ? fDisk->fParams.BytesPerSector : 0;
    if (fBytesPerSector < 512 || fBytesPerSector % 32 != 0 || VolumeSectors() < 2) return false;
    if (!ScanVolume()) return false;
    uint32_t k = 0;
    int64_t zero = 0;
    AgreeingDirectories = BestGeometry(k, zero);
    if (AgreeingDirectories < 2) return false;
    SectorsPerCluster = k;
    ClusterZeroSector = zero;
    DataSector = static_cast<uint32_t>(zero + 2 * int64_t{k});
    uint32_t volume = VolumeSectors();
    uint32_t clusters = (volume - DataSector) / k;
    FatBits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
    if (!FindFATCopies()) return false;
    // A volume image may run on beyond its file system: the clusters end where the FAT ends.
    uint64_t entries = uint64_t{SectorsPerFAT} * fBytesPerSector * 8 / FatBits;
    if (entries <= 2) return false;
    TotalSectors = static_cast<uint32_t>(std::min<uint64_t>(volume, DataSector + (entries - 2) * k));
    clusters = (TotalSectors - DataSector) / k;
    int bits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
    if (bits != FatBits || (FatBits == 12 && TotalSectors > 0xFFFF)) return false;
    if (FatBits == 32 && !FindRootCluster()) return false;
    BuildBootSector();
    return true;
}

bool TxBootRecordRebuild::ScanVolume() {
    uint32_t total = VolumeSectors();
    uint32_t chunk = ChunkSectors();
    std::vector<uint8_t> buffer(size_t(chunk) * fBytesPerSector);
    for (uint32_t s = 1; s < total;) {
        Application().ProcessMessages();
        uint32_t n = std::min(chunk, total - s);
        uint32_t got =
            fDisk->Read(SectorAddress(static_cast<int32_t>(s)), buffer.data(), n * fBytesPerSector) /
            fBytesPerSector;
        for (uint32_t j = 0; j < got; ++j) {
            std::span<const uint8_t> sector(buffer.data() + size_t(j) * fBytesPerSector, fBytesPerSector);
            if (IsMediaByte(sector[0]) && sector[1] == 0xFF && sector[2] == 0xFF &&
                fMediaSectors.size() < 4096)
                fMediaSectors.push_back({s + j, {sector[0], sector[1], sector[2], sector[3]}});
            if (sector[0] == '.' && sector[1] == ' ') {
                TxDirProbe probe = ProbeDirectoryBytes(sector, true, 32, total + 2);
                if (probe.Result > crFailed && probe.DotStart && probe.Self >= 2)
                    fPairs.push_back({s + j, probe.Self, probe.Parent});
            }
        }
        if (int32_t(fPairs.size()) >= kEnoughDirectories) {
            uint32_t k = 0;
            int64_t zero = 0;
            if (BestGeometry(k, zero) >= kEnoughDirectories) break;
        }
        if (got < n) break;
        s += n;
    }
    return !fPairs.empty();
}

int32_t TxBootRecordRebuild::BestGeometry(uint32_t& aK, int64_t& aZero) const {
    int64_t total = VolumeSectors();
    int32_t best = 0;
    for (uint32_t k = 1; k <= 128; k *= 2) {
        std::map<int64_t, int32_t> votes;
        for (const Pair& p : fPairs) {
            int64_t zero = int64_t{p.Sector} - int64_t{k} * p.Self;
            int64_t data = zero + 2 * int64_t{k};
            if (data >= 1 && data < total) ++votes[zero];
        }
        // A tie goes to the larger cluster size.
        for (const auto& [zero, count] : votes) {
            if (count >= best) {
                best = count;
                aK = k;
                aZero = zero;
            }
        }
    }
    return best;
}

bool TxBootRecordRebuild::FindFATCopies() {
    uint64_t clusters = (VolumeSectors() - DataSector) / SectorsPerCluster;
    std::vector<MediaSector> found;
    for (const MediaSector& m : fMediaSectors) {
        if (m.Sector >= DataSector) break;
        // Entry 1 follows entry 0: FAT16 keeps two flag bits in its top, FAT32 its top four bits clear.
        bool fits = FatBits == 32 ? m.Bytes[3] == 0x0F : FatBits == 16 ? (m.Bytes[3] & 0x3F) == 0x3F : true;
        if (fits) found.push_back(m);
    }
    if (found.empty()) return false;
    Media = found.back().Bytes[0];
    std::vector<uint32_t> starts;
    for (const MediaSector& m : found)
        if (m.Bytes[0] == Media) starts.push_back(m.Sector);
    auto isStart = [&](uint32_t s) { return std::binary_search(starts.begin(), starts.end(), s); };
    uint64_t bitsNeeded = (clusters + 2) * FatBits;
    uint64_t bitsPerSector = uint64_t{fBytesPerSector} * 8;
    auto minimum = static_cast<uint32_t>((bitsNeeded + bitsPerSector - 1) / bitsPerSector);

    uint32_t last = 0, size = 0;
    if (FatBits == 32) {
        // The last copy ends where the data area begins.
        for (auto it = starts.rbegin(); it != starts.rend() && !size; ++it)
            if (DataSector - *it >= minimum) last = *it, size = DataSector - *it;
    } else {
        // The last copy leaves room for itself and a root directory before the data area.
        for (auto it = starts.rbegin(); it != starts.rend() && !last; ++it)
            if (uint64_t{*it} + minimum < DataSector) last = *it;
        if (last) {
            // The copy before it gives the size; without one, the root directory's start does.
            for (uint32_t s : starts)
                if (s < last && last - s >= minimum && uint64_t{last} + (last - s) < DataSector)
                    size = last - s;
            if (!size) size = RefineFATSize(last, minimum);
        }
    }
    if (!last || !size) return false;
    uint32_t first = last, count = 1;
    while (first > size && isStart(first - size)) {
        first -= size;
        ++count;
    }
    ReservedSectors = first;
    FATCount = count;
    SectorsPerFAT = size;
    if (FatBits != 32) {
        RootDirSectors = DataSector - (last + size);
        if (uint64_t{RootDirSectors} * fBytesPerSector / 32 > 0xFFFF) return false;
    }
    return count <= 255;
}

uint32_t TxBootRecordRebuild::RefineFATSize(uint32_t aLastCopy, uint32_t aMinimum) {
    uint32_t from = aLastCopy + aMinimum;
    std::vector<uint8_t> gap = ReadSectors(from, DataSector - from);
    uint32_t clusterBound = (VolumeSectors() - DataSector) / SectorsPerCluster + 2;
    for (size_t i = 0; (i + 1) * fBytesPerSector <= gap.size(); ++i) {
        std::span<const uint8_t> sector(gap.data() + i * fBytesPerSector, fBytesPerSector);
        if (AllZero(sector)) continue;
        int32_t problem = 0;
        if (CheckFATDirEntry(sector.first<32>(), problem, false, FatBits, clusterBound) == crSound)
            return aMinimum + static_cast<uint32_t>(i);
    }
    return aMinimum;
}

bool TxBootRecordRebuild::IsRootCluster(const std::vector<uint8_t>& aData, bool aNeedsChild) const {
    if (aData.size() < size_t(SectorsPerCluster) * fBytesPerSector) return false;
    uint32_t clusterBound = (TotalSectors - DataSector) / SectorsPerCluster + 2;
    TxDirProbe probe = ProbeDirectoryBytes(aData, false, 32, clusterBound);
    if (probe.Result != crSound || probe.DotStart) return false;
    std::set<uint32_t> children;
    for (const Pair& p : fPairs)
        if (p.Parent == 0) children.insert(p.Self);
    if (!aNeedsChild) return children.empty() || aData[0] != 0;
    for (size_t at = 0; at + 32 <= aData.size() && aData[at] != 0; at += 32) {
        TFATDirEntry e;
        std::copy_n(aData.begin() + static_cast<std::ptrdiff_t>(at), 32, e.begin());
        if (e[0] != 0xE5 && !IsLongNameEntry(e) && (EntryAttr(e) & 0x10) &&
            children.count(EntryFirstCluster(e)))
            return true;
    }
    return false;
}

bool TxBootRecordRebuild::FindRootCluster() {
    // Cluster 2, where the tools put it, when it holds directory entries.
    RootCluster = 2;
    if (IsRootCluster(ReadSectors(DataSector, SectorsPerCluster), false)) return true;
    // Otherwise the first cluster that lists a child of the root.
    bool anyChild = std::any_of(fPairs.begin(), fPairs.end(), [](const Pair& p) { return p.Parent == 0; });
    if (anyChild) {
        uint32_t perRead = std::max<uint32_t>(1, ChunkSectors() / SectorsPerCluster) * SectorsPerCluster;
        uint32_t cluster = 2;
        for (uint32_t s = DataSector; s + SectorsPerCluster <= TotalSectors; s += perRead) {
            Application().ProcessMessages();
            std::vector<uint8_t> data = ReadSectors(s, std::min(perRead, TotalSectors - s));
            size_t clusterBytes = size_t(SectorsPerCluster) * fBytesPerSector;
            for (size_t at = 0; at + clusterBytes <= data.size(); at += clusterBytes, ++cluster) {
                std::vector<uint8_t> one(data.begin() + static_cast<std::ptrdiff_t>(at),
                                         data.begin() + static_cast<std::ptrdiff_t>(at + clusterBytes));
                if (IsRootCluster(one, true)) {
                    RootCluster = cluster;
                    return true;
                }
            }
            if (data.size() < size_t(std::min(perRead, TotalSectors - s)) * fBytesPerSector) break;
        }
    }
    // Nothing better: cluster 2 (the mount then finds an empty or damaged root).
    RootCluster = 2;
    return true;
}

void TxBootRecordRebuild::BuildBootSector() {
    fBoot.fill(0);
    auto put16 = [&](size_t at, uint32_t v) {
        fBoot[at] = static_cast<uint8_t>(v & 0xFF);
        fBoot[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    auto text = [&](size_t at, const char* s) { std::memcpy(fBoot.data() + at, s, std::strlen(s)); };
    const TxDriveParams& p = fDisk->fParams;
    fBoot[0] = 0xEB;
    fBoot[1] = FatBits == 32 ? 0x58 : 0x3C;
    fBoot[2] = 0x90;
    text(3, "QRTBUILT");
    put16(11, fBytesPerSector);
    fBoot[13] = static_cast<uint8_t>(SectorsPerCluster);
    put16(14, ReservedSectors);
    fBoot[16] = static_cast<uint8_t>(FATCount);
    put16(17, FatBits == 32 ? 0 : RootDirSectors * fBytesPerSector / 32);
    if (FatBits != 32 && TotalSectors <= 0xFFFF)
        put16(19, TotalSectors);
    else
        put32(32, TotalSectors);
    fBoot[21] = Media;
    put16(22, FatBits == 32 ? 0 : SectorsPerFAT);
    put16(24, p.SectorsPerTrack);
    put16(26, p.TracksPerCylinder);
    put32(28, p.FirstSector);
    size_t extended = 36;
    if (FatBits == 32) {
        put32(36, SectorsPerFAT);
        put32(44, RootCluster);
        extended = 64;
    }
    fBoot[extended] = 0x80;     // drive number
    fBoot[extended + 2] = 0x29; // extended boot signature
    text(extended + 7, "NO NAME    ");
    text(extended + 18, FatBits == 12 ? "FAT12   " : FatBits == 16 ? "FAT16   " : "FAT32   ");
    fBoot[510] = 0x55;
    fBoot[511] = 0xAA;
}

} // namespace qrt
