#include "TestDirectory.h"

#include "disk/DiskStream.h"

#include <memory>

namespace qrt::test {

namespace {

TxDirectoryAccessor* CreateTestDirectory(TxDiskAccessor* aDisk) {
    return new TTestDirectory(aDisk);
}

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

} // namespace

const TxAccessorClass TestDirectoryClass{"TTestDirectory", CreateTestDirectory};

void TTestDirectory::LoadEntries(int32_t) {
    EnsureLoaded();
    fLastRawIndex = static_cast<int32_t>(fStream->GetSize() / 32) - 1;
    MaxEntryIndex = -1;
    while (MaxEntryIndex < fLastRawIndex && fData[size_t(MaxEntryIndex + 1) * 32] != 0)
        ++MaxEntryIndex;
}

int32_t TTestDirectory::ReadEntry(int32_t aRawIndex, TxSearchRec& aRec) {
    ++ReadEntryCalls;
    aRec.Name.clear();
    if (MaxEntryIndex < 0) LoadEntries(0);
    if (aRawIndex > MaxEntryIndex) return -1;
    int32_t next = aRawIndex < MaxEntryIndex ? aRawIndex + 1 : -1;
    const uint8_t* e = fData + size_t(aRawIndex) * 32;
    aRec.FindHandle->Deleted = e[0] == 0xE5;
    if (e[11] == 0x0F) return next;
    std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e) + 8, 3);
    base.erase(base.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') + 1);
    if (e[0] == 0xE5) base[0] = '?';
    aRec.Name = ext.empty() ? base : base + "." + ext;
    aRec.FindData.cFileName = aRec.Name;
    aRec.Attr = e[11];
    aRec.Size = Le16(e + 28) | (int64_t{Le16(e + 30)} << 16);
    aRec.FindHandle->FirstCluster = Le16(e + 26) | (Le16(e + 20) << 16);
    return next;
}

TTreeFileSystem* TTreeFileSystem::Attach(TxDiskAccessor* aDisk) {
    std::unique_ptr<TTestFileSystem> layout(TTestFileSystem::MountFat16(aDisk));
    auto* fs = new TTreeFileSystem(aDisk);
    fs->fSectorsPerCluster = layout->fSectorsPerCluster;
    fs->fClusterZeroSector = layout->fClusterZeroSector;
    fs->ClusterCount = layout->ClusterCount;
    fs->fRootAddress = layout->fRootAddress;
    fs->Table = layout->Table;
    fs->RootDirSector = layout->RootDirSector;
    fs->RootDirSectors = layout->RootDirSectors;
    aDisk->fFileSystem = fs;
    return fs;
}

const TxAccessorClass* TTreeFileSystem::GetAccessorClass(int32_t aKind) {
    return aKind == 1 ? &TestDirectoryClass : TTestFileSystem::GetAccessorClass(aKind);
}

TxDirectoryAccessor* TTreeFileSystem::GetRootDirectory() {
    if (!fRootDirectory) {
        auto root = std::make_unique<TTestDirectory>(fDisk);
        root->OpenAddress(fRootAddress, int64_t{RootDirSectors} * fDisk->fParams.BytesPerSector);
        root->fIsRoot = true;
        fRootDirectory = root.release();
    }
    return fRootDirectory;
}

} // namespace qrt::test
