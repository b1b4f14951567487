#include "fat/FATRegistration.h"

#include "disk/FileSystemRegistry.h"
#include "fat/FileSystemFAT.h"

namespace qrt {

void RegisterFATFileSystems() {
    // The registry keeps one entry per class, so a second call adds nothing.
    RegisterFileSystemClass(&FileSystemFAT12Class);
    RegisterFileSystemClass(&FileSystemFAT16Class);
    RegisterFileSystemClass(&FileSystemFAT32Class);
}

} // namespace qrt
