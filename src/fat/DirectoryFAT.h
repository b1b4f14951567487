#pragma once

#include "disk/DirectoryAccessor.h"
#include "fat/diskFsFAT.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qrt {

class TxDiskStream;
struct TxAccessorClass;

// The directory reader of the FAT file systems: turns the 32-byte entries of a directory (long
// names and deleted entries included) into search records. The directory's bytes are loaded once;
// LoadEntries finds the end marker and counts the entries, ReadEntry decodes one entry.
//
// Names: a long name comes back as UTF-8 with the 8.3 name as the alternate name; a short name
// alone shows its case flags (byte 12) and its OEM characters as UTF-8. A deleted entry has its
// first byte restored from its long name when the checksum confirms it, otherwise "@".
class TDirectoryFATx : public TxDirectoryAccessor {
public:
    QRT_CLASSNAME(TDirectoryFATx)

    explicit TDirectoryFATx(TxDiskAccessor* aDisk) : TxDirectoryAccessor(aDisk) {}
    // A directory of the stream's disk, opened on the stream.
    static std::unique_ptr<TDirectoryFATx> CreateOnStream(std::unique_ptr<TxDiskStream> aStream);

    // Never finished: fails with "UNFINISHED!!".
    bool ReservedOperation() override;
    void LoadEntries(int32_t aIndex) override;
    int32_t ReadEntry(int32_t aRawIndex, TxSearchRec& aRec) override;
    // The 32 bytes of the slot at aIndex (the directory is loaded first when needed).
    virtual void GetRawEntry(int32_t aIndex, TFATDirEntry& aEntry);

    bool IsValidEntryName(const std::string& aName) override;
    bool IsValidAlternateName(const std::string& aName) override;

protected:
    TxDirectoryAccessor* NewSibling(TxDiskAccessor* aDisk) const override {
        return new TDirectoryFATx(aDisk);
    }

private:
    void FillRecord(const TFATDirEntry& aEntry, const std::string& aName, const std::string& aAlternate,
                    TxSearchRec& aRec);
};

// The directory accessor class of the FAT file systems (GetAccessorClass(1)).
extern const TxAccessorClass TDirectoryFATxClass;

} // namespace qrt
