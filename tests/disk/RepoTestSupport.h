#pragma once

#include "FatImage.h"

#include "disk/DiskAccessor.h"
#include "disk/FileSystem.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrt::test {

// A file system for the partition, registry and repository tests. Each of its classes mounts a
// volume whose sector 0 carries the class's marker text at the class's offset:
//   MkfsMarkerClass   "mkfs.fat" at 3   (the OEM name of every volume mkfs.fat makes)
//   Fat16MarkerClass  "FAT16   " at 54  (the type text of a FAT12/16 boot record, FAT16 only)
//   Fat32MarkerClass  "FAT32   " at 82
//   NeverClass        mounts nothing
// Every CanMount call is logged by class name.
class TMarkerFileSystem : public TxFileSystem {
public:
    QRT_CLASSNAME(TMarkerFileSystem)

    TMarkerFileSystem(TxDiskAccessor* aDisk, const char* aClassName)
        : TxFileSystem(aDisk), MarkerClass(aClassName) {}

    bool Mount() override {
        ++MountCalls;
        return true;
    }

    PxClusterChain GetClusterChain(uint32_t, int64_t) override { return nullptr; }
    PxClusterChain CollectClusters(int64_t, uint8_t, const TxClusterFilter&, int64_t) override {
        return nullptr;
    }
    const TxAccessorClass* GetAccessorClass(int32_t) override { return nullptr; }
    uint8_t ProbeDirectory(const TxDiskAddress&, int32_t&, int32_t, int32_t&, TxDiskAddress&,
                           TxDiskAddress&) override {
        return 0;
    }
    TxDirectoryAccessor* GetRootDirectory() override { return nullptr; }
    uint32_t ClusterToSector(uint32_t aCluster) override { return aCluster; }
    uint32_t GetNextCluster(uint32_t) override { return 0; }
    void GetClusterState(uint32_t, uint8_t& aState) override { aState = csFree; }

    const char* MarkerClass;
    int MountCalls = 0;
};

extern const TxFileSystemClass MkfsMarkerClass;
extern const TxFileSystemClass Fat16MarkerClass;
extern const TxFileSystemClass Fat32MarkerClass;
extern const TxFileSystemClass NeverClass;

// Names of the classes whose CanMount was called, in call order.
std::vector<std::string>& CanMountLog();
// The marker class that mounted a volume, or "" when it has none.
std::string MountedBy(const TxDiskAccessor* aDisk);

// Options of a FAT image: FAT type, size and, when given, sector size and label.
FatImage::Options FatOptions(int aFatBits, uint32_t aSizeKiB, int aSectorSize = 512,
                             const std::string& aLabel = "");

// One hand-made partition entry.
struct TMbrEntry {
    uint8_t StartHead = 0, StartSector = 0, StartCylinder = 0, Type = 0;
    uint8_t EndHead = 0, EndSector = 0, EndCylinder = 0;
    uint32_t FirstSector = 0, SectorCount = 0;
};
// An entry whose keys pass the checks (head 1 to head 254).
TMbrEntry UsableEntry(uint32_t aFirstSector, uint32_t aSectorCount, uint8_t aType = 0x06);
// A 512-byte master boot record with the given entries and, unless told otherwise, the signature.
std::string MakeMbr(const std::array<TMbrEntry, 4>& aEntries, bool aSignature = true);

// An image file of aTotalBytes: aSector0 at its start, zeros elsewhere.
void WriteDiskImage(const std::string& aPath, const std::string& aSector0, uint64_t aTotalBytes);

// Runs aWork as an unprivileged user: in this process when it is not root, otherwise in a child
// process that drops to the user "nobody" first. Returns what aWork returned (0..200).
int RunUnprivileged(const std::function<int()>& aWork);

} // namespace qrt::test
