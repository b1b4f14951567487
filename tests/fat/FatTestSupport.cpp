#include "FatTestSupport.h"

#include "TestUtil.h"

#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace qrt::test {

namespace {

// The first number of the mkfs.fat report that stands between aBefore and aAfter.
uint32_t ReportNumber(const std::string& aText, const std::string& aBefore, const std::string& aAfter,
                      bool aRequired = true) {
    for (size_t at = 0; (at = aText.find_first_of("0123456789", at)) != std::string::npos;) {
        size_t end = aText.find_first_not_of("0123456789", at);
        if (end == std::string::npos) end = aText.size();
        if (at >= aBefore.size() && aText.compare(at - aBefore.size(), aBefore.size(), aBefore) == 0 &&
            aText.compare(end, aAfter.size(), aAfter) == 0)
            return static_cast<uint32_t>(std::stoul(aText.substr(at, end - at)));
        at = end;
    }
    if (aRequired)
        throw std::runtime_error("mkfs.fat report without \"" + aBefore + "N" + aAfter + "\":\n" + aText);
    return 0;
}

uint32_t Le16(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8);
}

} // namespace

FatImage::Options VolumeOptions(int aFatBits, uint32_t aSizeKiB, int aFatCount, const std::string& aExtra) {
    FatImage::Options o;
    o.FatBits = aFatBits;
    o.SizeKiB = aSizeKiB ? aSizeKiB : aFatBits == 12 ? 1440 : aFatBits == 16 ? 16384 : 40000;
    o.FatCount = aFatCount;
    o.ExtraMkfsArgs = aExtra;
    return o;
}

MkfsReport MakeFatVolume(const std::string& aPath, const std::string& aArgs, uint32_t aSizeKiB) {
    ::unlink(aPath.c_str());
    std::string output;
    std::string command =
        "mkfs.fat -C -v " + aArgs + " " + ShellQuote(aPath) + " " + std::to_string(aSizeKiB);
    if (RunCommand(command, &output) != 0) throw std::runtime_error(command + " failed:\n" + output);
    MkfsReport r;
    r.SectorSize = ReportNumber(output, "logical sector size is ", ",");
    r.TotalSectors = ReportNumber(output, "with ", " sectors");
    r.FatCount = ReportNumber(output, "filesystem has ", " ");
    r.FatBits = ReportNumber(output, " ", "-bit FAT");
    r.SectorsPerCluster = ReportNumber(output, "and ", " sector per cluster", false) +
                          ReportNumber(output, "and ", " sectors per cluster", false);
    r.FatSectors = ReportNumber(output, "FAT size is ", " sector");
    r.Clusters = ReportNumber(output, "provides ", " clusters");
    r.ReservedSectors = ReportNumber(output, " ", " reserved sector");
    r.RootSectors = ReportNumber(output, "slots and uses ", " sector", false);
    return r;
}

std::unique_ptr<TxDiskAccessor> OpenImage(const std::string& aPath) {
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DevicePath = aPath;
    disk->Open(true);
    if (disk->IsClosed()) throw std::runtime_error("cannot open " + aPath);
    return disk;
}

TFileSystemFATx* AttachFileSystem(TxDiskAccessor* aDisk, int aFatBits) {
    TFileSystemFATx* fs = nullptr;
    switch (aFatBits) {
    case 12:
        fs = new TFileSystemFAT12(aDisk);
        break;
    case 16:
        fs = new TFileSystemFAT16(aDisk);
        break;
    case 32:
        fs = new TFileSystemFAT32(aDisk);
        break;
    default:
        throw std::invalid_argument("FAT width");
    }
    aDisk->fFileSystem = fs;
    return fs;
}

void PutFATEntry(std::string& aTable, int aFatBits, uint32_t aCluster, uint32_t aValue) {
    auto put = [&](size_t at, uint32_t byte) { aTable.at(at) = static_cast<char>(byte & 0xFF); };
    switch (aFatBits) {
    case 12: {
        size_t at = aCluster + aCluster / 2;
        uint32_t pair = Le16(aTable, at);
        pair =
            (aCluster & 1) ? (pair & 0x000F) | ((aValue & 0xFFF) << 4) : (pair & 0xF000) | (aValue & 0xFFF);
        put(at, pair);
        put(at + 1, pair >> 8);
        break;
    }
    case 16:
        put(size_t{aCluster} * 2, aValue);
        put(size_t{aCluster} * 2 + 1, aValue >> 8);
        break;
    default:
        for (size_t i = 0; i < 4; ++i)
            put(size_t{aCluster} * 4 + i, aValue >> (8 * i));
        break;
    }
}

MountedVolume::MountedVolume(const std::string& aPath, const FatImage::Options& aOptions)
    : fImage(aPath, aOptions), fFatBits(aOptions.FatBits),
      fSectorSize(static_cast<uint32_t>(aOptions.SectorSize)) {
    Remount();
}

void MountedVolume::Remount() {
    fDisk.reset();
    fFs = nullptr;
    fDisk = OpenImage(fImage.Path());
    fFs = AttachFileSystem(fDisk.get(), fFatBits);
    fFs->Mount();
}

std::string MountedVolume::ReadFAT(int32_t aCopy) const {
    uint64_t bytes = uint64_t{fFs->fSectorsPerFAT} * fSectorSize;
    uint64_t at = (fFs->fReservedSectors + uint64_t(aCopy) * fFs->fSectorsPerFAT) * fSectorSize;
    return fImage.ReadBytes(at, static_cast<size_t>(bytes));
}

void MountedVolume::WriteFAT(int32_t aCopy, const std::string& aTable) {
    uint64_t at = (fFs->fReservedSectors + uint64_t(aCopy) * fFs->fSectorsPerFAT) * fSectorSize;
    fImage.WriteBytes(at, aTable);
}

void MountedVolume::SetEntry(uint32_t aCluster, uint32_t aValue, std::initializer_list<int32_t> aCopies) {
    for (int32_t copy : aCopies) {
        std::string table = ReadFAT(copy);
        PutFATEntry(table, fFatBits, aCluster, aValue);
        WriteFAT(copy, table);
    }
}

uint32_t MountedVolume::RootEntryCluster(const std::string& aShortName) {
    std::vector<uint8_t> dir;
    if (fFs->fRootDirSectors > 0) {
        dir.resize(size_t(fFs->fRootDirSectors) * fSectorSize);
    } else {
        dir.resize(fFs->GetBytesPerCluster());
    }
    uint32_t got = fDisk->Read(fFs->fRootAddress, dir.data(), static_cast<uint32_t>(dir.size()));
    if (got != dir.size()) throw std::runtime_error("short read of the root directory");
    std::string bytes(dir.begin(), dir.end());
    for (size_t at = 0; at + 32 <= bytes.size() && bytes[at] != 0; at += 32) {
        if (bytes.compare(at, 11, aShortName) == 0)
            return Le16(bytes, at + 26) | (Le16(bytes, at + 20) << 16);
    }
    throw std::runtime_error("no root entry " + aShortName);
}

} // namespace qrt::test
