#pragma once

#include "TestFileSystem.h"

#include "disk/DirectoryAccessor.h"

#include <cstdint>
#include <string>

namespace qrt::test {

// A directory class for the tests of the disk layer: it reads the short entries of a FAT
// directory (long-name entries are slots without a usable entry). A deleted entry shows "?" for its
// first character.
class TTestDirectory : public TxDirectoryAccessor {
public:
    QRT_CLASSNAME(TTestDirectory)
    using TxDirectoryAccessor::TxDirectoryAccessor;

    void LoadEntries(int32_t aIndex) override;
    int32_t ReadEntry(int32_t aRawIndex, TxSearchRec& aRec) override;

    int32_t ReadEntryCalls = 0;

protected:
    TxDirectoryAccessor* NewSibling(TxDiskAccessor* aDisk) const override {
        return new TTestDirectory(aDisk);
    }
};

extern const TxAccessorClass TestDirectoryClass;

// The test file system of a FAT16 image (TTestFileSystem::MountFat16) with TTestDirectory as its
// directory class and its fixed root area as root directory; attached to the disk.
class TTreeFileSystem : public TTestFileSystem {
public:
    QRT_CLASSNAME(TTreeFileSystem)

    static TTreeFileSystem* Attach(TxDiskAccessor* aDisk);

    const TxAccessorClass* GetAccessorClass(int32_t aKind) override;
    TxDirectoryAccessor* GetRootDirectory() override;

private:
    explicit TTreeFileSystem(TxDiskAccessor* aDisk) : TTestFileSystem(aDisk, 1, 0, 2) {}
};

} // namespace qrt::test
