#pragma once

#include "disk/FileSystem.h"

namespace qrt {

class TClassList;
class TxDiskAccessor;

// The process-wide registry of file-system classes: a class list created on first use and freed at
// program exit. Registration order is kept; it decides which class mounts a volume that several
// classes would accept.

// Adds a class unless it is registered already.
void RegisterFileSystemClass(const TxFileSystemClass* aClass);
// The first registered class whose CanMount accepts the disk; nullptr when none does.
const TxFileSystemClass* FindFileSystemClass(TxDiskAccessor* aDisk);
// The registry's list of class-objects (const TxFileSystemClass*), in registration order.
TClassList& FileSystemClasses();

// For tests: empties the registry for the life of the object and puts the earlier classes back
// afterwards.
class TFileSystemRegistryScope {
public:
    TFileSystemRegistryScope();
    ~TFileSystemRegistryScope();
    TFileSystemRegistryScope(const TFileSystemRegistryScope&) = delete;
    TFileSystemRegistryScope& operator=(const TFileSystemRegistryScope&) = delete;

private:
    TClassList* fSaved;
};

} // namespace qrt
