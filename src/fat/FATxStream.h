#pragma once

#include "disk/DiskStream.h"

#include <cstdint>

namespace qrt {

class TFileSystemFATx;

// The stream over one copy of the allocation table: copy aIndex starts fSectorsPerFAT sectors after
// the previous one, behind the reserved sectors; the stream covers its first fFATCopySectors sectors,
// which hold every entry of the clusters below ClusterCount. Loaded (LoadData), its data is those
// sectors.
class TxFATxStream : public TxDiskStream {
public:
    QRT_CLASSNAME(TxFATxStream)

    // aIndex is taken as a byte (0 to 255), as NumFATs is.
    TxFATxStream(TFileSystemFATx* aFileSystem, int32_t aIndex);

protected:
    TxFATxStream() = default;
    TxDiskStream* NewSibling() const override { return new TxFATxStream; }
};

// Holds the loaded contents of a stream locked for as long as it lives: the entry readers work on
// Data() and the lock is released also when a reader raises.
class TxFATDataLock {
public:
    explicit TxFATDataLock(TxDiskStream* aStream)
        : fStream(aStream), fData(static_cast<const uint8_t*>(aStream->LockData())) {}
    ~TxFATDataLock() { fStream->UnlockData(); }
    TxFATDataLock(const TxFATDataLock&) = delete;
    TxFATDataLock& operator=(const TxFATDataLock&) = delete;

    const uint8_t* Data() const { return fData; }

private:
    TxDiskStream* fStream;
    const uint8_t* fData;
};

} // namespace qrt
