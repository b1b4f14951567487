#include "disk/DiskRepo.h"

#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "disk/PartitionTable.h"
#include "platform/DeviceIO.h"
#include "platform/DriveDiscovery.h"
#include "support/ListUtils.h"

#include <memory>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

TxDiskRepo* gRepo = nullptr;

// Frees the repository at program exit.
struct TRepoReleaser {
    ~TRepoReleaser() { FreeDiskRepo(); }
};

TObjectList* NewAccessorList(TObject* aOwner, bool aOwnsItems) {
    auto* list = new TObjectList;
    list->OwnsItems = aOwnsItems;
    list->Owner = aOwner;
    return list;
}

TxDiskAccessor* AccessorAt(const TObjectList* aList, int32_t aIndex) {
    return static_cast<TxDiskAccessor*>(aList->Get(aIndex));
}

} // namespace

TxDiskRepo::TxDiskRepo() : fPartitions(NewAccessorList(this, false)) {}

TxDiskRepo::~TxDiskRepo() {
    delete fPartitions;
    fPartitions = nullptr;
    delete fLogicalDrives;
    delete fPhysicalDisks;
}

void TxDiskRepo::RefreshPhysicalDisks() {
    RefreshDeviceTable();
    if (fPhysicalDisks != nullptr) {
        // The partition list only points into the disks' tables: it is emptied before they go.
        fPartitions->Clear();
        fPhysicalDisks->Clear();
    } else {
        fPhysicalDisks = NewAccessorList(this, true);
    }
    fLastDriveNo = 0;
    fRefusedPhysical.clear();
    for (int driveNo = 0; driveNo <= 255; driveNo = driveNo == 1 ? 128 : driveNo + 1) {
        std::unique_ptr<TxDiskAccessor> disk = CreateDiskAccessorForDriveNo(driveNo, true);
        if (!HasGeometry(disk->fParams)) {
            NoteRefusedOpen(disk.get(), fRefusedPhysical);
            continue;
        }
        fLastDriveNo = driveNo;
        TxDiskAccessor* kept = disk.get();
        fPhysicalDisks->Add(disk.release());
        kept->LoadPartitionTable();
        kept->Close();
    }
}

void TxDiskRepo::RefreshLogicalDrives() {
    EnsureDeviceTable();
    if (fLogicalDrives != nullptr)
        fLogicalDrives->Clear();
    else
        fLogicalDrives = NewAccessorList(this, true);
    fLastDriveLetter = '\0';
    fRefusedLogical.clear();
    for (char letter : GetLogicalDriveLetters()) {
        std::unique_ptr<TxDiskAccessor> drive = CreateDiskAccessorForLetter(letter, true);
        if (!HasGeometry(drive->fParams)) {
            NoteRefusedOpen(drive.get(), fRefusedLogical);
            continue;
        }
        fLastDriveLetter = letter;
        TxDiskAccessor* kept = drive.get();
        fLogicalDrives->Add(drive.release());
        kept->MountFileSystem();
        kept->Close();
    }
}

void TxDiskRepo::NoteRefusedOpen(const TxDiskAccessor* aDisk, std::set<std::string>& aRefused) {
    // A closed accessor was not opened: its open was the last failure of the device layer.
    if (aDisk->fHandle == InvalidDeviceHandle && IsAccessDeniedError(DeviceLastError()))
        aRefused.insert(DeviceResolve(aDisk->fParams.DevicePath));
}

int32_t TxDiskRepo::GetLastDriveNo() {
    if (fPhysicalDisks == nullptr) RefreshPhysicalDisks();
    return fLastDriveNo;
}

int32_t TxDiskRepo::GetPartitionCount() {
    if (fPhysicalDisks == nullptr) RefreshPhysicalDisks();
    return fPartitions->Count;
}

char TxDiskRepo::GetLastDriveLetter() {
    if (fLogicalDrives == nullptr) RefreshLogicalDrives();
    return fLastDriveLetter;
}

TxDiskAccessor* TxDiskRepo::FindPhysicalDisk(int32_t aDriveNo) {
    if (fPhysicalDisks == nullptr) RefreshPhysicalDisks();
    for (int32_t i = 0; i < fPhysicalDisks->Count; ++i) {
        TxDiskAccessor* disk = AccessorAt(fPhysicalDisks, i);
        if (disk != nullptr && disk->fParams.DriveNo == aDriveNo) return disk;
    }
    return nullptr;
}

TxDiskAccessor* TxDiskRepo::FindLogicalDrive(char aLetter) {
    if (fLogicalDrives == nullptr) RefreshLogicalDrives();
    for (int32_t i = 0; i < fLogicalDrives->Count; ++i) {
        TxDiskAccessor* drive = AccessorAt(fLogicalDrives, i);
        if (drive != nullptr && DriveLetterOf(drive->fParams) == aLetter) return drive;
    }
    return nullptr;
}

TxDiskAccessor* TxDiskRepo::GetPartition(int32_t aIndex) {
    if (fPhysicalDisks == nullptr) RefreshPhysicalDisks();
    return AccessorAt(fPartitions, aIndex);
}

int32_t TxDiskRepo::GetAccessDeniedCount() {
    if (fPhysicalDisks == nullptr) RefreshPhysicalDisks();
    if (fLogicalDrives == nullptr) RefreshLogicalDrives();
    std::set<std::string> refused = fRefusedPhysical;
    refused.insert(fRefusedLogical.begin(), fRefusedLogical.end());
    return static_cast<int32_t>(refused.size());
}

std::string TxDiskRepo::GetLogicalDriveLetters() {
    return DriveLettersOfMask(GetLogicalDrives());
}

std::string TxDiskRepo::DriveLettersOfMask(uint32_t aMask) {
    std::string letters;
    for (int bit = 0; bit < 26; ++bit)
        if (aMask & (1u << bit)) letters += static_cast<char>('A' + bit);
    return letters;
}

std::string TxDiskRepo::GetVolumeLabel(char aLetter) {
    std::string label;
    if (!GetVolumeInformation(aLetter, label)) label.clear();
    return label;
}

void TxDiskRepo::AddPartition(TxDiskAccessor* aPartition) {
    QRT_ASSERT(aPartition != nullptr, "WTF?");
    if (fPhysicalDisks == nullptr || aPartition->fParent == nullptr) return;
    if (fPhysicalDisks->IndexOf(aPartition->fParent) < 0) return;
    fPartitions->Add(aPartition);
}

void TxDiskRepo::ForgetPartitionsOf(const TxPartitionTable* aTable) {
    bool removed = false;
    for (int32_t i = fPartitions->Count - 1; i >= 0; --i) {
        auto* partition = AccessorAt(fPartitions, i);
        if (partition != nullptr && aTable->IndexOf(partition) >= 0) {
            fPartitions->Extract(i);
            removed = true;
        }
    }
    if (removed) fPartitions->Pack();
}

TxDiskRepo& DiskRepo() {
    static TRepoReleaser releaser;
    if (gRepo == nullptr) gRepo = new TxDiskRepo;
    return *gRepo;
}

TxDiskRepo* ExistingDiskRepo() {
    return gRepo;
}

void FreeDiskRepo() {
    // The pointer goes first, so the partition tables freed below do not report back to it.
    TxDiskRepo* repo = gRepo;
    gRepo = nullptr;
    delete repo;
}

} // namespace qrt
