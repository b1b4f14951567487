#include "cli/SourceVolumes.h"

#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "fat/FileSystemFAT.h"
#include "platform/DeviceIO.h"
#include "platform/DriveDiscovery.h"

#include <cstdio>

namespace qrt {

TCliSource::TCliSource() = default;
TCliSource::~TCliSource() = default;

bool TCliSource::Open(const std::string& aPath, std::string& aError) {
    fVolumes.clear();
    if (!DeviceFileExists(aPath)) {
        aError = "cannot open " + aPath + ": no such file or device";
        return false;
    }
    fDisk = std::make_unique<TxDiskAccessor>();
    fDisk->fParams.DevicePath = aPath;
    fDisk->Open(true);
    if (fDisk->IsClosed()) {
        aError = "cannot open " + aPath + ": " + SysErrorMessage(DeviceLastError());
        return false;
    }
    if (fDisk->fParams.TotalSectors == 0 || fDisk->fParams.BytesPerSector == 0) {
        aError = "cannot read the size of " + aPath;
        return false;
    }
    if (FindFileSystemClass(fDisk.get()) != nullptr) {
        // A volume without a partition table (the usual memory card image).
        fDisk->MountFileSystem();
        fVolumes.push_back({0, fDisk.get()});
        return true;
    }
    fDisk->LoadPartitionTable();
    if (TxPartitionTable* table = fDisk->fPartitionTable) {
        for (int32_t i = 0; i < table->GetPartitionCount(); ++i) {
            TxDiskAccessor* p = table->GetPartition(i);
            fVolumes.push_back({static_cast<int32_t>(p->fParams.PartitionNo) + 1, p});
        }
    }
    if (fVolumes.empty()) fVolumes.push_back({0, fDisk.get()});
    return true;
}

bool TCliSource::HasPartitionTable() const {
    return fDisk && fDisk->fPartitionTable != nullptr;
}

const TCliVolume* TCliSource::Select(int32_t aSlot, std::string& aError) const {
    if (aSlot != 0) {
        if (!HasPartitionTable()) {
            aError = "the source has no partition table; leave out --partition";
            return nullptr;
        }
        for (const TCliVolume& v : fVolumes)
            if (v.Slot == aSlot) return &v;
        aError = "slot " + std::to_string(aSlot) + " of the partition table holds no partition";
        return nullptr;
    }
    for (const TCliVolume& v : fVolumes)
        if (v.Disk->fFileSystem) return &v;
    if (fVolumes.empty()) {
        aError = "no volume found";
        return nullptr;
    }
    return &fVolumes.front();
}

std::string TCliSource::TypeOf(TxDiskAccessor* aDisk) {
    auto* fat = dynamic_cast<TFileSystemFATx*>(aDisk->fFileSystem);
    return fat ? "FAT" + std::to_string(fat->GetFATBits()) : "-";
}

std::string TCliSource::FormatSize(uint64_t aBytes) {
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (aBytes < 1024) return std::to_string(aBytes) + " bytes";
    double value = static_cast<double>(aBytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string TCliSource::Describe(const TCliVolume& aVolume) {
    std::string label;
    if (auto* fat = dynamic_cast<TFileSystemFATx*>(aVolume.Disk->fFileSystem)) {
        try {
            if (const uint8_t* boot = fat->GetBootRecord())
                FatBootRecordLabel(boot, fat->GetBootRecordSize(), label);
        } catch (const Exception&) {
            label.clear();
        }
    }
    std::string slot = aVolume.Slot == 0 ? "-" : std::to_string(aVolume.Slot);
    char line[256];
    std::snprintf(line, sizeof line, "%-6s%-7s%-12s%s", slot.c_str(), TypeOf(aVolume.Disk).c_str(),
                  FormatSize(aVolume.Disk->GetSizeInBytes()).c_str(), label.c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool MountByRebuilding(TxDiskAccessor* aDisk) {
    return TFileSystemFATx::MountRebuilt(aDisk) != nullptr;
}

} // namespace qrt
