#include "disk/DiskAccessor.h"

#include "core/Assert.h"
#include "disk/FileSystem.h"
#include "disk/PartitionTable.h"

#include <algorithm>
#include <cstdio>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

// MediaKind from the media type of the drive-geometry reply.
uint16_t MediaKindOf(int32_t aMediaType, uint16_t aCurrent) {
    if (aMediaType == 0) return mkUnknown;
    if (aMediaType == DeviceMediaRemovable) return mkRemovable;
    if (aMediaType == DeviceMediaFixed) return mkFixedDisk;
    if ((aMediaType >= 1 && aMediaType <= 10) || (aMediaType >= 13 && aMediaType <= 22)) return mkFloppy;
    return aCurrent;
}

} // namespace

TxDiskAccessor::TxDiskAccessor() {
    InitDriveParams(fParams);
}

TxDiskAccessor::~TxDiskAccessor() {
    Close();
    // Both clear this accessor's reference to themselves when they go.
    delete fPartitionTable;
    delete fFileSystem;
}

void TxDiskAccessor::Close() {
    if (fHandle != InvalidDeviceHandle) {
        DeviceClose(fHandle);
        fHandle = InvalidDeviceHandle;
    }
    fDevicePosition = UnknownPosition;
}

bool TxDiskAccessor::IsClosed() {
    return fHandle == InvalidDeviceHandle;
}

void TxDiskAccessor::Open(bool aReadOnly) {
    QRT_ASSERT(IsValidDriveParams(fParams), "WTF?");
    Close();
    // The device is opened for reading whatever the caller asks: no part of the system writes.
    fHandle = DeviceOpen(fParams.DevicePath);
    fReadOnly = aReadOnly;
    if (fHandle == InvalidDeviceHandle || HasGeometry(fParams)) return;

    TDeviceGeometry geometry;
    if (!DeviceGetGeometry(fHandle, geometry)) return;
    fParams.Cylinders = static_cast<uint32_t>(geometry.Cylinders);
    fParams.TracksPerCylinder = geometry.TracksPerCylinder;
    fParams.SectorsPerTrack = geometry.SectorsPerTrack;
    fParams.BytesPerSector = geometry.BytesPerSector;
    if (geometry.DiskSize > 0 && geometry.BytesPerSector != 0) {
        fParams.TotalSectors =
            static_cast<uint32_t>(static_cast<uint64_t>(geometry.DiskSize) / geometry.BytesPerSector);
    } else {
        fParams.TotalSectors = fParams.Cylinders * fParams.TracksPerCylinder * fParams.SectorsPerTrack;
    }
    fParams.MediaKind = MediaKindOf(geometry.MediaType, fParams.MediaKind);
    fParams.FirstSector = 0;
    fParams.LastSector = fParams.TotalSectors - 1;
}

uint32_t TxDiskAccessor::Read(const TxDiskAddress& aAddress, void* aBuffer, uint32_t aByteCount) {
    QRT_ASSERT(aAddress.Offset == 0, "WTF?");
    // An accessor whose geometry is unknown cannot be read.
    QRT_ASSERT(fParams.BytesPerSector != 0, "WTF?");
    QRT_ASSERT(aByteCount % fParams.BytesPerSector == 0,
               "WTF? aByteCount: " + std::to_string(aByteCount) +
                   ", BytesPerSector: " + std::to_string(fParams.BytesPerSector));
    if (IsClosed()) Open(true);
    SeekAddress(aAddress);
    return ReadSectors(aBuffer, aByteCount / fParams.BytesPerSector);
}

void TxDiskAccessor::SeekAddress(const TxDiskAddress& aAddress) {
    uint32_t sector = 0;
    switch (aAddress.Kind) {
    case akSector:
        sector = static_cast<uint32_t>(aAddress.Number) + fParams.FirstSector;
        break;
    case akCluster:
        QRT_ASSERT(fFileSystem != nullptr, "WTF?");
        sector = static_cast<uint32_t>(aAddress.Number) * fFileSystem->fSectorsPerCluster +
                 fFileSystem->fClusterZeroSector + fParams.FirstSector;
        break;
    default:
        QRT_FAIL("UNIMPLEMENTED!");
    }
    uint64_t offset = uint64_t{sector} * fParams.BytesPerSector;
    if (offset == fDevicePosition) return;
    if (!DeviceSeek(fHandle, offset)) {
        fDevicePosition = UnknownPosition;
        RaiseOSError(DeviceLastError());
    }
    fDevicePosition = offset;
}

uint32_t TxDiskAccessor::ReadSectors(void* aBuffer, uint32_t aCount) {
    uint64_t total = uint64_t{fParams.BytesPerSector} * aCount;
    QRT_ASSERT(total <= UINT32_MAX, "WTF?");
    auto* target = static_cast<uint8_t*>(aBuffer);
    uint32_t remaining = static_cast<uint32_t>(total);
    uint32_t done = 0;
    bool ok = true;
    while (remaining != 0 && ok) {
        uint32_t piece = std::min(remaining, MaxReadPiece);
        int64_t got = DeviceRead(fHandle, target + done, piece);
        ok = got == piece;
        if (!ok || fDevicePosition == UnknownPosition)
            fDevicePosition = UnknownPosition;
        else
            fDevicePosition += piece;
        if (got > 0) {
            done += static_cast<uint32_t>(got);
            remaining -= static_cast<uint32_t>(got);
        }
    }
    return static_cast<uint32_t>(total) - remaining;
}

void TxDiskAccessor::ConvertAddress(int32_t aKind, const TxDiskAddress& aSource, TxDiskAddress& aResult) {
    const TxDiskAddress source = aSource; // aResult may be aSource
    TxFileSystem* fs = fFileSystem;
    aResult.Kind = aKind;
    switch (aKind) {
    case akSector:
        switch (source.Kind) {
        case akSector:
            aResult.Number = source.Number;
            aResult.Offset = source.Offset;
            return;
        case akCluster: {
            QRT_ASSERT(fs != nullptr, "WTF?");
            QRT_ASSERT(fParams.BytesPerSector != 0, "WTF?");
            uint32_t bps = fParams.BytesPerSector;
            uint32_t offset = static_cast<uint32_t>(source.Offset);
            aResult.Number = static_cast<int32_t>(
                offset / bps + static_cast<uint32_t>(source.Number) * fs->fSectorsPerCluster +
                fs->fClusterZeroSector);
            aResult.Offset = static_cast<int32_t>(offset % bps);
            return;
        }
        default:
            QRT_FAIL("UNIMPLEMENTED!!");
        }
    case akCluster:
        switch (source.Kind) {
        case akSector: {
            QRT_ASSERT(fs != nullptr, "WTF?");
            QRT_ASSERT(static_cast<uint32_t>(source.Number) > fs->fClusterZeroSector, "WTF?");
            QRT_ASSERT(fs->fSectorsPerCluster != 0, "WTF?");
            uint32_t d = static_cast<uint32_t>(source.Number) - fs->fClusterZeroSector;
            aResult.Number = static_cast<int32_t>(d / fs->fSectorsPerCluster);
            aResult.Offset =
                static_cast<int32_t>((d % fs->fSectorsPerCluster) * fParams.BytesPerSector) + source.Offset;
            return;
        }
        case akCluster:
            aResult.Number = source.Number;
            aResult.Offset = source.Offset;
            return;
        default:
            QRT_FAIL("UNIMPLEMENTED!!");
        }
    default:
        QRT_FAIL("UNIMPLEMENTED!!");
    }
}

bool TxDiskAccessor::CheckMedia() {
    QRT_ASSERT(!IsClosed(), "WTF?");
    return DeviceCheckVerify(fHandle);
}

bool TxDiskAccessor::ReservedQuery() {
    QRT_ASSERT(!IsClosed(), "WTF?");
    QRT_FAIL("UNIMPLEMENTED!");
}

uint64_t TxDiskAccessor::GetSizeInBytes() {
    if (fParams.LastSector != 0) {
        uint32_t sectors = fParams.LastSector - fParams.FirstSector + 1;
        return uint64_t{fParams.BytesPerSector} * sectors;
    }
    return uint64_t{fParams.BytesPerSector} * fParams.TotalSectors;
}

std::string TxDiskAccessor::GetDisplayName() {
    std::string result;
    if (fParams.DriveNo >= 0) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(fParams.DriveNo) & 0xFFu);
        result += "HDD:" + std::string(hex) + " ";
    }
    if (fParams.PartitionNo < 128) result += "[part" + std::to_string(fParams.PartitionNo + 1) + "] ";
    if (HasDriveLetter(this)) result += "- " + fParams.DevicePath + " ";
    return result;
}

std::unique_ptr<TxDiskAccessor> CreateDiskAccessorForDriveNo(int aDriveNo, bool aReadOnly) {
    QRT_ASSERT(aDriveNo < 256, "WTF?");
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DriveNo = static_cast<int16_t>(aDriveNo);
    disk->fParams.PartitionNo = 255;
    if (aDriveNo == 0 || aDriveNo == 1) {
        disk->fParams.DevicePath = std::string("\\\\.\\") + static_cast<char>('A' + aDriveNo) + ":";
    } else {
        QRT_ASSERT(disk->fParams.DriveNo >= 128, "WTF?");
        disk->fParams.DevicePath = "\\\\.\\PhysicalDrive" + std::to_string(aDriveNo - 128);
    }
    disk->Open(aReadOnly);
    return disk;
}

std::unique_ptr<TxDiskAccessor> CreateDiskAccessorForLetter(char aLetter, bool aReadOnly) {
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DriveNo = -1;
    disk->fParams.PartitionNo = 255;
    if (aLetter >= 'A' && aLetter <= 'Z') disk->fParams.DevicePath = std::string("\\\\.\\") + aLetter + ":";
    disk->Open(aReadOnly);
    return disk;
}

bool HasDriveLetter(const TxDiskAccessor* aDisk) {
    return DriveLetterOf(aDisk->fParams) != '\0';
}

bool IsRemovableDisk(const TxDiskAccessor* aDisk) {
    return IsRemovableMedia(aDisk->fParams);
}

} // namespace qrt
