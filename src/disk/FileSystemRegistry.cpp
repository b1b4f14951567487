#include "disk/FileSystemRegistry.h"

#include "core/Assert.h"
#include "support/ListUtils.h"

#include <memory>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

TClassList& FileSystemClasses() {
    static const std::unique_ptr<TClassList> registry = [] {
        auto list = std::make_unique<TClassList>();
        list->OwnsItems = false;
        return list;
    }();
    return *registry;
}

void RegisterFileSystemClass(const TxFileSystemClass* aClass) {
    QRT_ASSERT(aClass != nullptr, "WTF?");
    TClassList& classes = FileSystemClasses();
    if (classes.IndexOf(aClass) < 0) classes.Add(aClass);
}

const TxFileSystemClass* FindFileSystemClass(TxDiskAccessor* aDisk) {
    TClassList& classes = FileSystemClasses();
    for (int32_t i = 0; i < classes.Count; ++i) {
        auto* fsClass = static_cast<const TxFileSystemClass*>(classes.Get(i));
        if (fsClass != nullptr && fsClass->CanMount(aDisk)) return fsClass;
    }
    return nullptr;
}

TFileSystemRegistryScope::TFileSystemRegistryScope() : fSaved(new TClassList) {
    fSaved->OwnsItems = false;
    fSaved->Assign(&FileSystemClasses());
    FileSystemClasses().Clear();
}

TFileSystemRegistryScope::~TFileSystemRegistryScope() {
    FileSystemClasses().Assign(fSaved);
    delete fSaved;
}

} // namespace qrt
