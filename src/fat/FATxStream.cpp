#include "fat/FATxStream.h"

#include "core/Assert.h"
#include "fat/FileSystemFAT.h"

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

TxFATxStream::TxFATxStream(TFileSystemFATx* aFileSystem, int32_t aIndex) {
    QRT_ASSERT(aFileSystem != nullptr, "WTF?");
    uint32_t copy = static_cast<uint8_t>(aIndex);
    TxDiskAreas areas;
    MakeSectorRunAreas(aFileSystem->fDisk, aFileSystem->fReservedSectors + copy * aFileSystem->fSectorsPerFAT,
                       aFileSystem->fFATCopySectors, areas);
    InitOnAreas(aFileSystem->fDisk, -1, areas);
}

} // namespace qrt
