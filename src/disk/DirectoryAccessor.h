#pragma once

#include "core/TObject.h"

namespace qrt {

class TxDiskAccessor;

// Reads one directory of a mounted volume. The search over its entries and the ways to open it
// (stream, chain, areas, address, search record) are added with the directory support; so far the
// class only fixes the object a file system owns as its root directory and hands out through its
// directory class.
class TxDirectoryAccessor : public TObject {
public:
    QRT_CLASSNAME(TxDirectoryAccessor)

    explicit TxDirectoryAccessor(TxDiskAccessor* aDisk) : fDisk(aDisk) {}
    ~TxDirectoryAccessor() override = default;
    TxDirectoryAccessor(const TxDirectoryAccessor&) = delete;
    TxDirectoryAccessor& operator=(const TxDirectoryAccessor&) = delete;

    TxDiskAccessor* fDisk;
};

} // namespace qrt
