#pragma once

#include "core/TObject.h"

namespace qrt {

class TxDiskAccessor;

// The partition table of a whole-device accessor, which owns it. Reading the master boot record and
// deriving the partition accessors are added with the partition support; so far the class only
// keeps the ownership link: it is freed by its accessor and clears the accessor's reference to it.
class TxPartitionTable : public TObject {
public:
    QRT_CLASSNAME(TxPartitionTable)

    explicit TxPartitionTable(TxDiskAccessor* aDisk) : fDisk(aDisk) {}
    ~TxPartitionTable() override;
    TxPartitionTable(const TxPartitionTable&) = delete;
    TxPartitionTable& operator=(const TxPartitionTable&) = delete;

    TxDiskAccessor* fDisk;
};

} // namespace qrt
