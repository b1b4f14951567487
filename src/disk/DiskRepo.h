#pragma once

#include "core/TObject.h"

#include <cstdint>
#include <set>
#include <string>

namespace qrt {

class TObjectList;
class TxDiskAccessor;
class TxPartitionTable;

// The process-wide catalogue of readable devices: the whole devices found by drive number (floppy
// drives 0 and 1, physical disks 128..255), the partitions their partition tables found, and the
// lettered drives. Each list is built on first demand and rebuilt only by an explicit refresh.
// Every candidate is opened read-only; only those whose geometry could be read are kept, and each
// kept one reads its partition table (whole devices) or mounts its file system (lettered drives)
// at once.
//
// Ownership: fPhysicalDisks and fLogicalDrives own their accessors; the partition accessors belong
// to their disk's partition table and fPartitions only points at them. A physical refresh frees
// every whole-device and partition accessor handed out before, a logical refresh every lettered one.
class TxDiskRepo : public TObject {
public:
    QRT_CLASSNAME(TxDiskRepo)

    TxDiskRepo();
    ~TxDiskRepo() override;
    TxDiskRepo(const TxDiskRepo&) = delete;
    TxDiskRepo& operator=(const TxDiskRepo&) = delete;

    // Rediscovers the devices, then probes drive numbers 0, 1, 128..255.
    void RefreshPhysicalDisks();
    // Probes the letters of GetLogicalDriveLetters.
    void RefreshLogicalDrives();

    // The highest drive number kept by the last physical scan (0 when none was kept).
    int32_t GetLastDriveNo();
    int32_t GetPartitionCount();
    // The highest letter kept by the last logical scan (NUL when none was kept).
    char GetLastDriveLetter();
    // The kept whole device with this drive number, or nullptr.
    TxDiskAccessor* FindPhysicalDisk(int32_t aDriveNo);
    // The kept lettered drive with this letter, or nullptr.
    TxDiskAccessor* FindLogicalDrive(char aLetter);
    // fPartitions[aIndex]; the list's index checks apply.
    TxDiskAccessor* GetPartition(int32_t aIndex);
    // How many devices exist but could not be opened for lack of permission in the scans so far
    // (each device counted once). Runs the scans that have not run yet.
    int32_t GetAccessDeniedCount();

    // The letters of the platform's logical-drive mask, ascending, no separators.
    static std::string GetLogicalDriveLetters();
    // Bit b (0..25) of aMask gives the letter "A" + b.
    static std::string DriveLettersOfMask(uint32_t aMask);
    // The volume label of a lettered drive; empty when it has none or cannot be asked.
    static std::string GetVolumeLabel(char aLetter);

    // Called by the partition tables: a partition accessor derived from one of this repository's
    // whole devices joins fPartitions; partitions of other accessors are not catalogued.
    void AddPartition(TxDiskAccessor* aPartition);
    // Called by a partition table that goes: its partitions leave fPartitions (which is packed).
    void ForgetPartitionsOf(const TxPartitionTable* aTable);

    TObjectList* fPhysicalDisks = nullptr; // owns; nullptr until the first physical scan
    TObjectList* fLogicalDrives = nullptr; // owns; nullptr until the first logical scan
    TObjectList* fPartitions;              // does not own
    int32_t fLastDriveNo = 0;
    char fLastDriveLetter = '\0';

private:
    // Notes a device whose open was refused for lack of permission.
    void NoteRefusedOpen(const TxDiskAccessor* aDisk, std::set<std::string>& aRefused);

    std::set<std::string> fRefusedPhysical; // device nodes the last physical scan could not open
    std::set<std::string> fRefusedLogical;  // the same for the last logical scan
};

// The single repository, created on first call.
TxDiskRepo& DiskRepo();
// The repository when it exists, else nullptr (never creates it).
TxDiskRepo* ExistingDiskRepo();
// Frees the repository and everything it holds; the next DiskRepo() starts afresh. Program exit
// does this too.
void FreeDiskRepo();

} // namespace qrt
