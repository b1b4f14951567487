#include "disk/PartitionTable.h"

#include "disk/DiskAccessor.h"

namespace qrt {

TxPartitionTable::~TxPartitionTable() {
    if (fDisk && fDisk->fPartitionTable == this) fDisk->fPartitionTable = nullptr;
}

} // namespace qrt
