// Boot records: the three validations on raw bytes, then recognition and mounting of a device whose
// first bytes are the input: CanMount of each type, the registry's mount, the boot record search
// at sectors 0, 5 and 6, the geometry, the choice and loading of a FAT copy, and the rebuild of a
// boot record from directory clusters when no type accepts the volume.
//
// Input: the device from sector 0 on. The device is as large as the boot record claims (at most
// 4 MiB; the rest reads as zeros), or as the input when that is larger.

#include "FuzzSupport.h"

#include "core/Exceptions.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "fat/BootRecord.h"
#include "fat/FATxStream.h"
#include "fat/FileSystemFAT.h"

#include <algorithm>
#include <span>

using namespace qrt;
using namespace qrt::fuzz;

namespace {

constexpr uint64_t kMaxDevice = 4 << 20;

void CheckValidation(uint8_t aResult, int32_t aProblem, uint8_t aPassed) {
    Expect(aResult == aPassed || aResult <= crFailed, "a validation passes or fails");
    Expect((aResult == aPassed) == (aProblem == 0), "a problem code exactly when the record fails");
}

// What a mounted volume must offer, whatever its boot record held.
void ExerciseMounted(TFileSystemFATx* aFs) {
    Expect(aFs->fSectorsPerCluster >= 1 && aFs->fSectorsPerCluster <= 128,
           "sectors per cluster of a mounted volume");
    aFs->FindBootRecord();
    aFs->ComputeGeometry();
    if (!aFs->ChooseFATCopy()) return;
    aFs->LoadFATCopy(aFs->GetActiveFATIndex());
    TxDiskStream* current = aFs->GetCurrentFAT();
    Expect(current != nullptr, "a chosen copy is current");
    if (aFs->ClusterCount > 2) {
        uint8_t state = 0;
        aFs->GetClusterState(2, state);
        aFs->GetClusterState(aFs->ClusterCount - 1, state);
        PxClusterChain chain = aFs->GetClusterChain(2, -1);
        if (chain) DisposeClusterChain(chain);
    }
    aFs->GetRootDirectory();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
    static TMemoryImage image;
    std::span<const uint8_t> bytes(aData, aSize);
    int32_t problem = -1;
    CheckValidation(ValidateFAT12BootRecord(bytes, problem), problem, crPassedFAT1216);
    CheckValidation(ValidateFAT16BootRecord(bytes, problem), problem, crPassedFAT1216);
    CheckValidation(ValidateFAT32BootRecord(bytes, problem), problem, crSound);

    uint64_t device = std::max<uint64_t>(std::min(ClaimedVolumeBytes(aData, aSize), kMaxDevice), aSize);
    image.Reset(device);
    image.Write(0, aData, aSize);

    std::unique_ptr<TxDiskAccessor> disk = OpenDevice(image.Path());
    if (disk->IsClosed()) return 0;
    try {
        bool fat12 = TFileSystemFAT12::CanMount(disk.get());
        bool fat16 = TFileSystemFAT16::CanMount(disk.get());
        bool fat32 = TFileSystemFAT32::CanMount(disk.get());
        Expect(int(fat12) + int(fat16) + int(fat32) <= 1, "the three types are exclusive");
        if (FindFileSystemClass(disk.get())) {
            disk->MountFileSystem();
            if (auto* fs = dynamic_cast<TFileSystemFATx*>(disk->fFileSystem)) ExerciseMounted(fs);
        } else if (TFileSystemFATx* fs = TFileSystemFATx::MountRebuilt(disk.get())) {
            Expect(disk->fFileSystem == fs, "a rebuilt volume belongs to its disk");
            ExerciseMounted(fs);
        }
    } catch (const Exception&) {
        // A boot record that passed validation but cannot give a usable geometry fails a
        // consistency check: that is the system's answer, not a fault.
    }
    return 0;
}
