#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrt {

class TxDiskAccessor;

// A volume qrt-recover can recover: the whole device, or one slot of its partition table.
struct TCliVolume {
    int32_t Slot = 0; // partition-table slot 1..4; 0 = the whole device
    TxDiskAccessor* Disk = nullptr;
};

// The SOURCE of a run, opened read-only: the whole device (or image) and the volumes on it. A device
// whose sector 0 holds a FAT boot record is one volume; otherwise its partition table gives one
// volume per usable slot; a device with neither is one volume without a file system.
class TCliSource {
public:
    TCliSource();
    ~TCliSource();
    TCliSource(const TCliSource&) = delete;
    TCliSource& operator=(const TCliSource&) = delete;

    // Opens aPath and finds its volumes. False with aError when the device cannot be read.
    bool Open(const std::string& aPath, std::string& aError);

    const std::vector<TCliVolume>& Volumes() const { return fVolumes; }
    bool HasPartitionTable() const;
    // The volume to recover: slot aSlot (1..4), or with aSlot 0 the first volume that carries a file
    // system, else the first volume. nullptr with aError when there is no such volume.
    const TCliVolume* Select(int32_t aSlot, std::string& aError) const;

    // One line for --list: slot, FAT type, size and label.
    static std::string Describe(const TCliVolume& aVolume);
    // The FAT type of a mounted volume ("FAT12", "FAT16", "FAT32"), "-" without a file system.
    static std::string TypeOf(TxDiskAccessor* aDisk);
    // "1.5 GiB", "640.0 KiB", "512 bytes".
    static std::string FormatSize(uint64_t aBytes);

private:
    std::unique_ptr<TxDiskAccessor> fDisk;
    std::vector<TCliVolume> fVolumes;
};

// Makes a volume without a file system usable: its FAT directories are searched on the medium, the
// boot record rebuilt from them and the volume mounted with it. False when nothing could be rebuilt.
bool MountByRebuilding(TxDiskAccessor* aDisk);

} // namespace qrt
