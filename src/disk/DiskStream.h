#pragma once

#include "core/Streams.h"
#include "disk/ClusterChain.h"
#include "disk/DiskTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrt {

class TxDiskAccessor;
class TxFileSystem;
struct TxAccessorClass;

// A run of device areas as one read-only byte stream: a file or directory given by its chain, a
// fixed run of sectors, or an explicit area list. Positions are translated into sector addresses
// through the areas and read through the disk accessor; the whole contents can be loaded into memory
// once, and the stream can copy itself into a file.
//
// Sizes given to the constructors are read by their sign: negative derives the size from the chain
// or areas, 0 makes an empty stream, positive is taken as it is.
//
// Chain ownership: on destruction the stream disposes its chain when the chain's Owner is nullptr or
// the stream itself; chains owned by a file-system list or by the engine stay.
class TxDiskStream : public TStream {
public:
    QRT_CLASSNAME(TxDiskStream)

    // An empty stream: no disk, no areas, size 0.
    TxDiskStream() = default;
    ~TxDiskStream() override;
    TxDiskStream(const TxDiskStream&) = delete;
    TxDiskStream& operator=(const TxDiskStream&) = delete;

    // Over explicit areas (sector areas; cluster areas would need a chain and are not supported).
    static std::unique_ptr<TxDiskStream> CreateOnAreas(TxDiskAccessor* aDisk, int64_t aSize,
                                                       const TxDiskAreas& aAreas);
    // At a sector address (a sector run of aSize bytes) or a cluster address (the catalogued chain
    // that starts there).
    static std::unique_ptr<TxDiskStream> CreateAtAddress(TxDiskAccessor* aDisk, int64_t aSize,
                                                         const TxDiskAddress& aAddress);
    // Over a chain (not copied; see the ownership rule).
    static std::unique_ptr<TxDiskStream> CreateOnChain(TxDiskAccessor* aDisk, int64_t aSize,
                                                       PxClusterChain aChain);

    // Reads from the current position; a closed disk is reopened read-only. Reads stop at the end of
    // the areas and at a failed or short device read.
    int64_t Read(void* aBuffer, int64_t aCount) override;
    // Fails with "Writing is not supported!".
    int64_t Write(const void* aBuffer, int64_t aCount) override;
    int64_t Seek(int64_t aOffset, int aOrigin) override;
    int64_t GetSize() override { return fSize; }
    // Fails with "UNIMPLEMENTED!!".
    void SetSize(int64_t aNewSize) override;

    // A second stream over the same chain and areas (the loaded contents are not copied).
    virtual std::unique_ptr<TxDiskStream> Clone();
    virtual void Refresh();
    // Reads the whole stream into memory once (0 < size <= 0x3FFFFFFF). Sectors the device cannot
    // read are left zero and listed in Unreadable.
    virtual TxDiskStream* LoadData();
    // Unfinished: checks the chain against a cycle and reloads loaded contents; extends nothing.
    virtual void AddCluster(int64_t aCluster, int32_t aFlag);
    virtual void AddClusters(int32_t aCount, int32_t aFlag);
    // An operation of the stream interface that was never written; fails with "UNIMPLEMENTED!!".
    virtual void ReservedOperation(int32_t aFirst, int32_t aSecond);
    virtual void* LockData();
    virtual void UnlockData();

    // Copies the stream into aDest from its beginning in pieces of at most 262144 bytes per device
    // read, then sets aDest's size to the stream's size. Sectors the device cannot read are copied
    // as zeros and listed in Unreadable; the copy goes on after them.
    void CopyToStream(TStream& aDest);
    // Creates (or replaces) the file and copies the stream into it.
    void SaveToFile(const std::string& aFileName);
    TxFileSystem* GetFileSystem();

    // The parts of the stream (stream offsets) that the last LoadData or CopyToStream could not read
    // from the device, merged and in order; and their total.
    struct TxUnreadable {
        int64_t Offset;
        int64_t Length;
    };
    const std::vector<TxUnreadable>& Unreadable() const { return fUnreadable; }
    int64_t UnreadableBytes() const;

    // Bytes copied per device read.
    static constexpr int64_t CopyBufferSize = 262144;

    PxClusterChain fChain = nullptr;
    TxDiskAccessor* fDisk = nullptr;
    TxDiskAreas fAreas;
    int64_t fSize = 0;
    // The area at the current position: sector address of the position, bytes left in the area,
    // and the position itself.
    TxDiskArea fCurrent{TxDiskAddress{}, -1, 0};
    std::unique_ptr<uint8_t[]> fData;
    int32_t fDataLocks = 0;

protected:
    // A new, empty object of this stream's own class (what Clone fills).
    virtual TxDiskStream* NewSibling() const { return new TxDiskStream; }

    void InitOnAreas(TxDiskAccessor* aDisk, int64_t aSize, const TxDiskAreas& aAreas);
    void InitAtAddress(TxDiskAccessor* aDisk, int64_t aSize, const TxDiskAddress& aAddress);
    void InitOnChain(TxDiskAccessor* aDisk, int64_t aSize, PxClusterChain aChain);

private:
    // Reads within the current area: whole sectors straight into the buffer, a partial sector
    // through a bounce buffer. Returns the bytes read (0 when nothing could be read).
    int64_t ReadPiece(uint8_t* aBuffer, int64_t aCount);
    // Reads aCount bytes from the current position, which lie inside the areas: where the device
    // fails, the rest of the sector is zeros, noted in fUnreadable, and reading goes on after it.
    void ReadSalvaging(uint8_t* aBuffer, int64_t aCount);

    std::vector<TxUnreadable> fUnreadable;
};

// The stream of a file entry. Its creation from an entry (name, size, address, mode) keeps none of
// them: such a stream has no disk and no areas. Built over a chain it reads like a disk stream.
class TxFileStream : public TxDiskStream {
public:
    QRT_CLASSNAME(TxFileStream)

    static std::unique_ptr<TxFileStream> CreateForEntry(const std::string& aName, int64_t aSize,
                                                        const TxDiskAddress& aAddress, uint32_t aMode);
    static std::unique_ptr<TxFileStream> CreateOnAreas(TxDiskAccessor* aDisk, int64_t aSize,
                                                       const TxDiskAreas& aAreas);
    static std::unique_ptr<TxFileStream> CreateAtAddress(TxDiskAccessor* aDisk, int64_t aSize,
                                                         const TxDiskAddress& aAddress);
    static std::unique_ptr<TxFileStream> CreateOnChain(TxDiskAccessor* aDisk, int64_t aSize,
                                                       PxClusterChain aChain);

protected:
    TxDiskStream* NewSibling() const override { return new TxFileStream; }
};

// The stream classes as GetAccessorClass hands them out.
extern const TxAccessorClass TxDiskStreamClass;
extern const TxAccessorClass TxFileStreamClass;

// --- Disk areas -----------------------------------------------------------------------------------

// One sector area of aSize bytes at aSector.
void MakeSectorAreas(uint32_t aSector, int64_t aSize, TxDiskAreas& aAreas);
// One sector area of aSectorCount whole sectors at aSector.
void MakeSectorRunAreas(TxDiskAccessor* aDisk, uint32_t aSector, uint32_t aSectorCount, TxDiskAreas& aAreas);
// One cluster area per run of consecutive clusters of the chain (none for a nil or empty chain).
void ChainToAreas(TxDiskAccessor* aDisk, const TxClusterChain* aChain, TxDiskAreas& aAreas);
// The area that holds aPosition, advanced to it (with aToSectors a cluster area is turned into its
// sector address); returns its index, or -1 for a negative position.
int32_t FindAreaAt(TxDiskAccessor* aDisk, const TxDiskAreas& aAreas, TxDiskArea& aArea, bool aToSectors,
                   int64_t aPosition);
// Fails with "UNIMPLEMENTED!!".
PxClusterChain AreasToChain(TxDiskAccessor* aDisk, const TxDiskAreas& aAreas);

} // namespace qrt
