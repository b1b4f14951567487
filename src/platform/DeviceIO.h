#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qrt {

// Raw, read-only access to devices and disk image files. This is the only place that talks to the
// operating system about devices; everything above it works with the handles and records below.
//
// Names: "\\.\PhysicalDriveN" and "\\.\X:" are looked up in the device table (filled by drive
// discovery, or by tests with image files); a table name without an entry does not open. Any other
// name is opened as it stands: an image file or a device node such as /dev/sdb.
//
// Every open is read-only: nothing here can write to a device or an image.

// Media types of the drive-geometry reply.
enum : int32_t {
    DeviceMediaUnknown = 0,
    DeviceMediaRemovable = 11, // a removable medium (memory cards, flash drives, image files)
    DeviceMediaFixed = 12,     // a fixed hard disk
};

// The drive-geometry reply.
struct TDeviceGeometry {
    int64_t Cylinders = 0;
    int32_t MediaType = DeviceMediaUnknown;
    uint32_t TracksPerCylinder = 0;
    uint32_t SectorsPerTrack = 0;
    uint32_t BytesPerSector = 0;
    int64_t DiskSize = 0; // bytes
};

using TDeviceHandle = int;
constexpr TDeviceHandle InvalidDeviceHandle = -1;

// Opens a device or image for reading; InvalidDeviceHandle on failure (see DeviceLastError).
TDeviceHandle DeviceOpen(const std::string& aName);
void DeviceClose(TDeviceHandle aHandle);
// Positions the handle at a byte offset from the beginning; false on failure.
bool DeviceSeek(TDeviceHandle aHandle, uint64_t aOffset);
// Reads up to aCount bytes at the current position; the bytes read (0 at the end), -1 on failure.
int64_t DeviceRead(TDeviceHandle aHandle, void* aBuffer, uint32_t aCount);
// The geometry of the open device or image; false when it cannot be learned.
//   Block devices: sector size and size from the kernel, heads and sectors per track from the
//   drive geometry when it answers (else 255 and 63), removable or fixed from sysfs.
//   Image files: 512-byte sectors unless sector 0 holds a FAT boot record with 1024, 2048 or 4096
//   bytes per sector; 255 heads, 63 sectors per track; a removable medium.
bool DeviceGetGeometry(TDeviceHandle aHandle, TDeviceGeometry& aGeometry);
// The check-verify request: true when a medium is present and answers.
bool DeviceCheckVerify(TDeviceHandle aHandle);
// The error code of the last failed call of this layer on this thread (an errno value).
int DeviceLastError();
// True when aPath names an existing file (an image or a device node) that is not a directory.
bool DeviceFileExists(const std::string& aPath);

// --- Device table ---------------------------------------------------------------------------------
// True for the names the table resolves: "\\.\PhysicalDriveN" and "\\.\X:".
bool IsDeviceTableName(const std::string& aName);
// Maps a table name to a device node or image file (replacing an earlier entry).
void DeviceTableSet(const std::string& aName, const std::string& aTarget);
void DeviceTableRemove(const std::string& aName);
void DeviceTableClear();
// The entries, sorted by name.
std::vector<std::pair<std::string, std::string>> DeviceTableEntries();
// What DeviceOpen opens for a name: the table's target for a table name (empty when it has none),
// the name itself otherwise.
std::string DeviceResolve(const std::string& aName);

// --- Unreadable areas -----------------------------------------------------------------------------
// Damaged media for tests: byte ranges of a device whose reads fail as bad sectors fail. A read that
// starts inside a range fails with EIO; a read that runs into one returns the bytes before it.

struct TDeviceBadRange {
    uint64_t Offset = 0; // bytes from the start of the device
    uint64_t Length = 0;
};

// Gives the device opened under aName (a table name or a path, as passed to DeviceOpen) these
// unreadable ranges, from its next open on; an empty list makes it sound again.
void DeviceSetBadRanges(const std::string& aName, const std::vector<TDeviceBadRange>& aRanges);
void DeviceClearBadRanges();

} // namespace qrt
