#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrt {

// Drive discovery on Linux: which devices the disk repository offers, under which drive numbers
// and letters, and their volume labels. It fills the device table of DeviceIO:
//   /dev/fd0, /dev/fd1                     "\\.\A:", "\\.\B:"      (drive numbers 0 and 1)
//   whole disks of /sys/block, by name     "\\.\PhysicalDrive0"... (drive numbers 128, 129, ...)
//   removable volumes, in device order     "\\.\D:", "\\.\E:", ...
// Whole disks are sd*, mmcblk*, nvme*, vd* and loop devices bound to a file. A removable disk gives
// each of its partitions a letter, or the whole disk one when it has no partitions. A disk counts as
// removable when sysfs says so, and a memory card in an SD slot (an mmcblk device of type SD) does too.

// Where discovery looks: the sysfs root and the device-node folder (tests point both at folders
// they make themselves).
struct TDiscoveryRoots {
    std::string Sysfs = "/sys";
    std::string Dev = "/dev";
};

struct TDiscoveredDisk {
    std::string Name; // "sdb", "mmcblk0", "fd0"
    std::string Node; // Dev root + "/" + Name
    int DriveNo = -1; // 0, 1 or 128..255
    bool Removable = false;
    std::vector<std::string> Partitions; // partition device names in partition-number order
};

struct TDiscoveredVolume {
    char Letter = '\0';
    std::string Node; // the partition's (or the whole disk's) device node
};

struct TDriveDiscoveryResult {
    std::vector<TDiscoveredDisk> Disks;     // in drive-number order
    std::vector<TDiscoveredVolume> Volumes; // in letter order
};

// The first letter handed to a removable volume (A and B are the floppies, C the system disk).
constexpr char FirstVolumeLetter = 'D';

// Looks at the system (or the given roots) without changing anything.
TDriveDiscoveryResult DiscoverDrives(const TDiscoveryRoots& aRoots);
// Replaces the whole device table with what was discovered.
void InstallDeviceTable(const TDriveDiscoveryResult& aFound);
// Orders whole-disk names the way the kernel numbers them: by family, then number runs by value
// and letter runs by length ("sdz" before "sdaa", "loop2" before "loop10").
bool DiskNameLess(const std::string& a, const std::string& b);
// Whether the whole disk whose sysfs folder is aDiskFolder (".../block/sdb") holds removable media:
// sysfs says so, or it is a memory card in an SD slot (an mmcblk disk of type SD), which the kernel
// marks as fixed although to the user it is a removable card.
bool SysfsDiskIsRemovable(const std::string& aDiskFolder);

// --- Automatic discovery --------------------------------------------------------------------------
// The disk repository refreshes the device table through these before it scans. Discovery is on by
// default with the system's roots; tests that fill the device table themselves switch it off.
void SetDriveDiscovery(bool aEnabled, const TDiscoveryRoots& aRoots = {});
bool DriveDiscoveryEnabled();
const TDiscoveryRoots& DriveDiscoveryRoots();
// Rediscovers and installs the device table (nothing when discovery is off).
void RefreshDeviceTable();
// RefreshDeviceTable unless the table was discovered already since discovery was last switched.
void EnsureDeviceTable();

// --- Logical drives and volume information ---------------------------------------------------------
// Bit b (0..25) set when the device table has an entry for the letter "A" + b.
uint32_t GetLogicalDrives();
// The volume label of a lettered drive: the name under which /dev/disk/by-label (of the discovery
// roots) links to the drive's node, else the label of the FAT boot record on it. False when the
// letter has no device, the device cannot be read or holds no FAT boot record; aLabel is then empty.
// A volume without a label gives true and an empty label.
bool GetVolumeInformation(char aLetter, std::string& aLabel);
// The label field of a FAT12/16/32 boot record (trailing blanks removed, "NO NAME" as empty); false
// when the bytes are not a FAT boot record with an extended boot signature.
bool FatBootRecordLabel(const uint8_t* aSector, size_t aSize, std::string& aLabel);

// True for the error codes of a device that exists but may not be opened by this user.
bool IsAccessDeniedError(int aError);

} // namespace qrt
