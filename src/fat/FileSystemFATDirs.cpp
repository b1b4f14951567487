#include "core/Assert.h"
#include "fat/FileSystemFAT.h"

QRT_UNIT("Disk\\diskIoFAT")

// The directory side of the FAT file systems and the recovery mount sequence. They come with the
// FAT directory reader; until then each operation fails at once.

namespace qrt {

void TFileSystemFATx::Scan() {
    QRT_FAIL("UNIMPLEMENTED!!");
}

bool TFileSystemFATx::RecreateBootRecord() {
    QRT_FAIL("UNIMPLEMENTED!!");
}

const TxAccessorClass* TFileSystemFATx::GetAccessorClass(int32_t) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

const TxAccessorClass* TFileSystemFATx::GetEntryClass(const std::string&) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

uint8_t TFileSystemFATx::ProbeDirectory(const TxDiskAddress&, int32_t&, int32_t, int32_t&, TxDiskAddress&,
                                        TxDiskAddress&) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

TxDirectoryAccessor* TFileSystemFATx::GetRootDirectory() {
    QRT_FAIL("UNIMPLEMENTED!!");
}

uint8_t TFileSystemFATx::CheckDirEntry(std::span<const uint8_t, 32>, int32_t&, bool) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

bool TFileSystemFATx::FindRootDirectory(int64_t) {
    QRT_FAIL("UNIMPLEMENTED!!");
}

} // namespace qrt
