// The directory side of the FAT file systems (entry checks, directory probes, the root directory,
// the accessor classes) and the recovery mount sequence.

#include "core/Application.h"
#include "core/Assert.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskStream.h"
#include "fat/BootRecordRebuild.h"
#include "fat/DirEntryCheck.h"
#include "fat/DirectoryFAT.h"
#include "fat/FileSystemFAT.h"

#include <algorithm>
#include <cstring>
#include <vector>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

// --- the mount sequence ---------------------------------------------------------------------------

void TFileSystemFATx::Scan() {
    if (!FindBootRecord() && !RecreateBootRecord())
        throw EioFatalError("No valid boot sector could be found or recreated!");
    ComputeGeometry();
    if (!ChooseFATCopy()) throw EioFatalError("No valid FAT copy could be found or recreated!");
    // The active copy is read into memory ahead of use.
    LoadFATCopy(GetActiveFATIndex());
    FindRootDirectory(-1);
    TxFileSystem::Scan();
}

bool TFileSystemFATx::RecreateBootRecord() {
    TxBootRecordRebuild rebuild(fDisk);
    if (!rebuild.Run()) return false;
    return InstallBootRecord(rebuild.BootSector());
}

bool TFileSystemFATx::InstallBootRecord(std::span<const uint8_t> aSector) {
    uint32_t size = BootRecordSize();
    auto buffer = std::make_unique<uint8_t[]>(size);
    std::memcpy(buffer.get(), aSector.data(), std::min<size_t>(size, aSector.size()));
    ReleaseBootRecord();
    fBootRecord = std::move(buffer);
    fBootRecordSize = size;
    fBootRecordComplete = true;
    int32_t problem = 0;
    if (CheckBootRecord(problem) < crPassedFAT1216) {
        ReleaseBootRecord();
        return false;
    }
    // Later searches take the cached record for the boot sector instead of rebuilding it again.
    fBootRecordAddress = SectorAddress(0);
    return true;
}

TFileSystemFATx* TFileSystemFATx::MountRebuilt(TxDiskAccessor* aDisk) {
    QRT_ASSERT(aDisk != nullptr && aDisk->fFileSystem == nullptr && aDisk->fPartitionTable == nullptr,
               "WTF?");
    TxBootRecordRebuild rebuild(aDisk);
    if (!rebuild.Run()) return nullptr;
    std::unique_ptr<TFileSystemFATx> fs;
    switch (rebuild.FatBits) {
    case 12:
        fs = std::make_unique<TFileSystemFAT12>(aDisk);
        break;
    case 16:
        fs = std::make_unique<TFileSystemFAT16>(aDisk);
        break;
    default:
        fs = std::make_unique<TFileSystemFAT32>(aDisk);
        break;
    }
    // The chain and directory code reach the file system through its disk.
    aDisk->fFileSystem = fs.get();
    if (!fs->InstallBootRecord(rebuild.BootSector())) return nullptr;
    fs->Mount();
    return fs.release();
}

// --- entries and probes ---------------------------------------------------------------------------

uint8_t TFileSystemFATx::CheckDirEntry(std::span<const uint8_t, 32> aEntry, int32_t& aProblem, bool aStrict) {
    return CheckFATDirEntry(aEntry, aProblem, aStrict, GetFATBits(), ClusterCount);
}

uint8_t TFileSystemFATx::ProbeDirectory(const TxDiskAddress& aAddress, int32_t& aCode, int32_t aFlag,
                                        int32_t& aSoundEntries, TxDiskAddress& aSelf,
                                        TxDiskAddress& aParent) {
    aCode = 0;
    aSoundEntries = 0;
    aSelf = ClusterAddress(-1);
    aParent = ClusterAddress(-1);
    uint32_t size = 0;
    switch (aAddress.Kind) {
    case akSector:
        size = fRootDirSectors > 0 ? uint32_t(fRootDirSectors) * fDisk->fParams.BytesPerSector
                                   : fDisk->fParams.BytesPerSector;
        break;
    case akCluster:
        // A cluster outside the data clusters holds no directory.
        if (!IsValidCluster(static_cast<uint32_t>(aAddress.Number))) return 1;
        size = GetBytesPerCluster();
        break;
    default:
        QRT_FAIL("WTF?");
    }
    std::vector<uint8_t> buffer(size);
    // A short read is not judged on a partly filled buffer: no directory.
    if (fDisk->Read(aAddress, buffer.data(), size) < size) return 1;
    TxDirProbe probe = ProbeDirectoryBytes(buffer, aFlag != 0, GetFATBits(), ClusterCount);
    aCode = probe.Problem;
    aSoundEntries = probe.SoundEntries;
    if (probe.DotStart) {
        aSelf = ClusterAddress(static_cast<int32_t>(probe.Self));
        aParent = ClusterAddress(static_cast<int32_t>(probe.Parent));
    } else if (probe.Result == crSound) {
        aSelf = aAddress;
        aParent = aAddress;
    }
    return probe.Result;
}

bool TFileSystemFATx::FindRootDirectory(int64_t aStart) {
    int32_t code = 0;
    if (ProbeRoot(code, 0) == crSound) return true;
    uint32_t first = GetFirstClusterNo();
    if (ClusterCount <= first) return false;
    int64_t start = aStart != -1                 ? aStart
                    : fLastDirectoryCluster != 0 ? int64_t{fLastDirectoryCluster}
                                                 : first;
    if (start < first || start >= ClusterCount) start = first;
    auto cluster = static_cast<uint32_t>(start);
    do {
        Application().ProcessMessages();
        int32_t sound = 0;
        TxDiskAddress self, parent;
        if (ProbeDirectory(ClusterAddress(static_cast<int32_t>(cluster)), code, 1, sound, self, parent) >=
            crPassedFAT1216) {
            fLastDirectoryCluster = cluster;
            return true;
        }
        if (++cluster >= ClusterCount) cluster = first;
    } while (cluster != start);
    return false;
}

// --- the root directory and the accessor classes ---------------------------------------------------

TxDirectoryAccessor* TFileSystemFATx::GetRootDirectory() {
    if (fRootDirectory) return fRootDirectory;
    auto dir = std::make_unique<TDirectoryFATx>(fDisk);
    if (fRootAddress.Kind == akSector) {
        // FAT12 and FAT16: the fixed root area.
        QRT_ASSERT(fRootDirSectors > 0, "WTF?");
        dir->OpenAddress(fRootAddress, int64_t{fRootDirSectors} * fDisk->fParams.BytesPerSector);
    } else {
        // FAT32: the root chain, filed in slot 0 of the directory chains (found there once filed).
        PxClusterChain chain = nullptr;
        bool filed = SlotChain(fDirectoryChains, 0) != nullptr;
        int32_t index = FindDirectoryChain(static_cast<uint32_t>(fRootAddress.Number), chain, filed ? 0 : 1);
        QRT_ASSERT(index == 0 && chain != nullptr, "WTF?");
        chain->ParentClusterNo = 0;
        dir->OpenStream(TxDiskStream::CreateOnChain(fDisk, -1, chain));
    }
    dir->fIsRoot = true;
    fRootDirectory = dir.release();
    return fRootDirectory;
}

const TxAccessorClass* TFileSystemFATx::GetAccessorClass(int32_t aKind) {
    switch (aKind) {
    case akDirectoryAccessor:
        return &TDirectoryFATxClass;
    case akFileAccessor:
        return &TxFileStreamClass;
    case 3:
    case 4:
    case 5:
        return &TxDiskStreamClass;
    default:
        return nullptr;
    }
}

const TxAccessorClass* TFileSystemFATx::GetEntryClass(const std::string& aName) {
    TxDirectoryAccessor* root = GetRootDirectory();
    TxSearchRec rec;
    if (root->FindEntry(aName, faAnyFile, sfLive, rec) != kFindOk) return nullptr;
    const TxAccessorClass* result = nullptr;
    try {
        uint32_t first = SearchFirstCluster(rec);
        bool directory = first != 0 && IsDirectoryAt(ClusterAddress(static_cast<int32_t>(first)), 2);
        result = GetAccessorClass(directory ? akDirectoryAccessor : akFileAccessor);
    } catch (...) {
        root->FindClose(rec);
        throw;
    }
    root->FindClose(rec);
    return result;
}

} // namespace qrt
