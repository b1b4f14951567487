#pragma once

#include "core/Exceptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrt {

// --- Disk addresses -------------------------------------------------------------------------------

// Kinds of TxDiskAddress. akOther is rejected by every operation of the disk layer.
enum : int32_t { akSector = 0, akCluster = 1, akOther = 2 };

// A position on a volume: a volume-relative sector or a cluster of the mounted file system, with a
// byte offset inside it. Number -1 means "no position".
struct TxDiskAddress {
    int32_t Offset = 0;
    int32_t Kind = akSector;
    int32_t Number = -1;
};

TxDiskAddress SectorAddress(int32_t aSector);
TxDiskAddress ClusterAddress(int32_t aCluster);
// Number = -1 for sector and cluster addresses; any other kind fails with "UNIMPLEMENTED!!".
bool IsNullAddress(const TxDiskAddress& aAddress);
// Same kind and, for sectors and clusters, the same number; the offset is not compared.
bool SameAddress(const TxDiskAddress& a, const TxDiskAddress& b);

// --- Disk areas -----------------------------------------------------------------------------------

// A contiguous device area behind a stream: where it starts, how many bytes it holds and at which
// stream offset they begin. Size and StreamOffset are -1 in a record that describes no area.
struct TxDiskArea {
    TxDiskAddress Address;
    int64_t Size = -1;
    int64_t StreamOffset = -1;
};

// The areas of a stream in stream order, held by reference: copying a TxDiskAreas shares the array,
// which lives until its last holder lets it go. SetLength gives the holder its own array first when
// the array is shared, so a resize never changes what another holder sees.
class TxDiskAreas {
public:
    TxDiskAreas() = default;

    int32_t Length() const { return fItems ? static_cast<int32_t>(fItems->size()) : 0; }
    bool Empty() const { return Length() == 0; }
    // Resizes to aLength areas (new ones describe no area); capacity grows by the list growth rule.
    void SetLength(int32_t aLength);
    // Drops this holder's reference.
    void Clear() { fItems.reset(); }

    const TxDiskArea& operator[](int32_t aIndex) const { return (*fItems)[static_cast<size_t>(aIndex)]; }
    TxDiskArea& operator[](int32_t aIndex) { return (*fItems)[static_cast<size_t>(aIndex)]; }
    const TxDiskArea& Last() const { return (*fItems).back(); }

    // Holders of the array (0 for none), and whether two holders share one array.
    long UseCount() const { return fItems.use_count(); }
    bool SharesWith(const TxDiskAreas& aOther) const { return fItems && fItems == aOther.fItems; }

private:
    std::shared_ptr<std::vector<TxDiskArea>> fItems;
};

// --- Drive parameters -----------------------------------------------------------------------------

// MediaKind values.
enum : uint16_t { mkUnknown = 0, mkFixedDisk = 3, mkFloppy = 0x8001, mkRemovable = 0x8002 };

// What is known about the device or partition an accessor reads.
struct TxDriveParams {
    std::string DevicePath;    // "\\.\PhysicalDriveN", "\\.\X:", "@:" or the path of an image file
    int16_t DriveNo = -1;      // -1 none, 0/1 floppy A:/B:, 128..255 physical disk DriveNo - 128
    uint8_t PartitionNo = 255; // 255 whole device, 0..3 partition-table slot
    uint16_t MediaKind = mkUnknown;
    uint32_t Cylinders = 0;
    uint32_t TracksPerCylinder = 0;
    uint32_t SectorsPerTrack = 0;
    uint32_t BytesPerSector = 0;
    uint32_t TotalSectors = 0; // 0 = geometry not known
    uint32_t FirstSector = 0;  // first device sector of the volume
    uint32_t LastSector = 0;   // last device sector of the volume, inclusive
};

void InitDriveParams(TxDriveParams& aParams);
// The acceptance rules of the device path forms (a path of an existing image file is valid with any
// drive number).
bool IsValidDriveParams(const TxDriveParams& aParams);
// The drive letter a path names ('@' for "@:"), or NUL.
char DriveLetterOf(const TxDriveParams& aParams);
bool IsRemovableMedia(const TxDriveParams& aParams);
bool HasGeometry(const TxDriveParams& aParams);

// --- Exceptions -----------------------------------------------------------------------------------

// Base of the disk layer's own exceptions; never raised by itself.
QRT_DECLARE_EXCEPTION(EioException, Exception)
// A volume cannot be made usable at all; the recovery job ends the run with its message.
QRT_DECLARE_EXCEPTION(EioFatalError, EioException)

} // namespace qrt
