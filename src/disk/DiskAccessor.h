#pragma once

#include "core/TObject.h"
#include "disk/DiskTypes.h"
#include "platform/DeviceIO.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qrt {

class TxPartitionTable;
class TxFileSystem;

// The one object through which the system reads a device: a whole device (physical disk, floppy,
// lettered drive or disk image) or one partition of a physical disk. It opens the device read-only,
// learns its geometry, positions at sector or cluster addresses and reads whole sectors. It owns
// what was found on it: the partition table of a whole disk or the mounted file system of a volume.
// There is no cache at this level: every read goes to the device.
class TxDiskAccessor : public TObject {
public:
    QRT_CLASSNAME(TxDiskAccessor)

    // Closed, no parent, no partition table, no file system; drive parameters initialised.
    TxDiskAccessor();
    // Closes the device, then frees the partition table and the file system.
    ~TxDiskAccessor() override;
    TxDiskAccessor(const TxDiskAccessor&) = delete;
    TxDiskAccessor& operator=(const TxDiskAccessor&) = delete;

    virtual void Close();
    // Reads the partition table of a whole device and derives its partition accessors.
    virtual void LoadPartitionTable();
    // Asks the registered file-system classes, in order, to mount this volume.
    virtual void MountFileSystem();
    // Converts between sector and cluster addresses of the mounted file system.
    virtual void ConvertAddress(int32_t aKind, const TxDiskAddress& aSource, TxDiskAddress& aResult);
    virtual bool IsClosed();
    // The check-verify request on the open device.
    virtual bool CheckMedia();
    // Requires an open device; not implemented.
    virtual bool ReservedQuery();
    // Positions the device at an address; failures raise EOSError "System Error.  Code: %d.\r\n%s".
    virtual void SeekAddress(const TxDiskAddress& aAddress);
    // Reads aCount sectors from the current position in pieces of at most 262144 bytes; a failed or
    // short piece ends the read. Returns the bytes read.
    virtual uint32_t ReadSectors(void* aBuffer, uint32_t aCount);

    // Opens DevicePath (always read-only at the device) and, when the geometry is not known yet,
    // learns it. A device that does not open leaves the accessor closed, silently.
    void Open(bool aReadOnly);
    // Reads aByteCount bytes (whole sectors) at an address; reopens a closed device read-only.
    uint32_t Read(const TxDiskAddress& aAddress, void* aBuffer, uint32_t aByteCount);
    uint64_t GetSizeInBytes();
    // "HDD:80 [part1] - \\.\E: " built from the parts that apply.
    std::string GetDisplayName();

    // Largest piece handed to the device in one read call.
    static constexpr uint32_t MaxReadPiece = 262144;

    TxDiskAccessor* fParent = nullptr;
    TxDriveParams fParams;
    TDeviceHandle fHandle = InvalidDeviceHandle;
    // Where the device handle stands, so that reading on where the last read ended needs no seek;
    // UnknownPosition after opening and after a failed read.
    static constexpr uint64_t UnknownPosition = UINT64_MAX;
    uint64_t fDevicePosition = UnknownPosition;
    bool fReadOnly = false;
    TxPartitionTable* fPartitionTable = nullptr; // owned
    TxFileSystem* fFileSystem = nullptr;         // owned
};

// A whole-device accessor for a drive number (0/1 the floppies A:/B:, 128..255 the physical disks),
// opened; it is returned whether or not the device could be opened.
std::unique_ptr<TxDiskAccessor> CreateDiskAccessorForDriveNo(int aDriveNo, bool aReadOnly);
// An accessor for a drive letter "A".."Z", opened; returned in any case.
std::unique_ptr<TxDiskAccessor> CreateDiskAccessorForLetter(char aLetter, bool aReadOnly);
bool HasDriveLetter(const TxDiskAccessor* aDisk);
bool IsRemovableDisk(const TxDiskAccessor* aDisk);

} // namespace qrt
