#pragma once

#include "disk/DiskTypes.h"
#include "disk/FileSystem.h"
#include "fat/BootRecord.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qrt {

class TxFATxStream;

// Common behaviour of the FAT file systems: the boot record (read once and cached, searched at
// sectors 0, 5 and 6), the volume geometry computed from it, the allocation-table copies held in
// memory one stream per copy, and the chain walks over the current copy.
//
// Geometry: cluster c starts at sector c * fSectorsPerCluster + fClusterZeroSector. The data
// clusters are 2 .. ClusterCount - 1, so ClusterCount is the data area's count of clusters plus the
// two reserved entries; every walk over clusters and every bitmap uses that bound.
//
// The directory side (CheckDirEntry, ProbeDirectory, FindRootDirectory, GetRootDirectory,
// GetAccessorClass, GetEntryClass) and the recovery mount sequence (Scan, RecreateBootRecord) are
// declared here and defined in FileSystemFATDirs.cpp.
class TFileSystemFATx : public TxFileSystem {
public:
    QRT_CLASSNAME(TFileSystemFATx)

    // No geometry yet; the boot record is looked for at sector 0; no FAT copy is current.
    explicit TFileSystemFATx(TxDiskAccessor* aDisk);
    // Frees the FAT copies and the boot record.
    ~TFileSystemFATx() override;

    // --- TxFileSystem ---
    // Computes the geometry from the boot record (which CanMount accepted) and answers true.
    bool Mount() override;
    // The recovery mount sequence, then the live-tree scan.
    void Scan() override;
    // Rebuilds the cluster geometry from directory clusters when no boot record is accepted.
    bool RecreateBootRecord() override;
    // Mounts a volume that no class could mount because its boot records are gone: the boot record
    // is rebuilt, the FAT type decided, and the matching class created on the accessor (which must
    // have neither file system nor partition table) with the rebuilt record as its boot record, and
    // mounted. nullptr when the rebuild fails.
    static TFileSystemFATx* MountRebuilt(TxDiskAccessor* aDisk);
    uint32_t GetFirstClusterNo() override { return 2; }
    uint32_t ClusterToSector(uint32_t aCluster) override;
    // Follows the current FAT copy from aFirstCluster. The walk ends at a link below 2 (free entry or
    // the invalid link 1), at a link not below ClusterCount (end of chain, bad cluster, out of
    // range), and at a cluster already in the chain, so a cyclic table never loops. aSize (> 0) only
    // sizes the chain's storage. A first cluster outside the data clusters gives nullptr (or an empty
    // chain when aSize > 0).
    PxClusterChain GetClusterChain(uint32_t aFirstCluster, int64_t aSize) override;
    // Clusters from aStart (-1, or a cluster outside the data clusters: cluster 2) upwards, wrapping
    // round once, whose state is aState (0: any state); with a filter only those it takes. At most
    // aCount (-1: all; 0 gives nullptr without touching the table). The filter may move the scan
    // forward within the round or end it (position -1).
    PxClusterChain CollectClusters(int64_t aStart, uint8_t aState, const TxClusterFilter& aFilter,
                                   int64_t aCount) override;
    const TxAccessorClass* GetAccessorClass(int32_t aKind) override;
    const TxAccessorClass* GetEntryClass(const std::string& aName) override;
    uint8_t ProbeDirectory(const TxDiskAddress& aAddress, int32_t& aCode, int32_t aFlag,
                           int32_t& aSoundEntries, TxDiskAddress& aSelf, TxDiskAddress& aParent) override;
    TxDirectoryAccessor* GetRootDirectory() override;
    // The entry of aCluster in the current FAT copy (the data clusters only).
    uint32_t GetNextCluster(uint32_t aCluster) override;
    void GetClusterState(uint32_t aCluster, uint8_t& aState) override;

    // --- boot record and geometry ---
    // The value entry 0 of a sound FAT copy holds: the media byte in the type's reserved pattern.
    virtual uint32_t GetMediaEntry() = 0;
    virtual int32_t GetFATBits() = 0;
    // The cached boot record, read from fBootRecordAddress on first use (GetBootRecordSize bytes).
    virtual const uint8_t* GetBootRecord();
    uint32_t GetBootRecordSize();
    // False when the last read of the boot record returned fewer bytes than asked for.
    bool IsBootRecordComplete();
    // Fills the geometry fields from the boot record; inconsistent fields fail with "WTF?".
    virtual void ComputeGeometry() = 0;
    virtual void ReleaseBootRecord();
    // The type's validation of the boot record; a partly read record fails with fpNoSignature.
    virtual uint8_t CheckBootRecord(int32_t& aProblem) = 0;
    // Probes sector 0, then 5, then 6 (FAT32's backup boot sector) until one holds a boot record that
    // passes every check of the type. fBootRecordAddress keeps the accepted sector, or names sector 6
    // when none passes.
    virtual bool FindBootRecord();

    // --- allocation tables ---
    // The entry of aCluster decoded from aData, the locked bytes of a loaded FAT copy.
    virtual uint32_t ReadFATEntry(const uint8_t* aData, uint32_t aCluster) = 0;
    // The same, classified into csFree, csEndOfChain, csInUse or csBad.
    virtual uint32_t ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) = 0;
    // The copy the volume names as active: 0, or on FAT32 with mirroring off the copy in ExtFlags.
    virtual int32_t GetActiveFATIndex();
    virtual int32_t GetCurrentFATIndex();
    // The stream of a copy, created on first use (0 <= aIndex < fFATCount).
    virtual TxFATxStream* GetFATCopy(int32_t aIndex);
    // GetFATCopy with its contents loaded into memory.
    virtual TxFATxStream* LoadFATCopy(int32_t aIndex);
    // Makes a copy the current one, loading it.
    virtual void SelectFATCopy(int32_t aIndex);
    virtual void ReleaseFATCopies();
    // Judges a copy: sound (crSound, problem 0) when entry 0 is the media entry and every entry of
    // the data clusters is free, bad, end of chain, or a link to a data cluster that no other entry
    // links to; otherwise crFailed with the first problem's code (fpMediaEntry, fpLinkOutOfRange,
    // fpLinkedTwice, or fpCopyUnreadable when the only fault is that sectors of the copy could not be
    // read). aProblemCount receives the number of problems found (each unreadable sector is one).
    virtual uint8_t CheckFATCopy(int32_t aIndex, int32_t& aProblem, uint32_t& aProblemCount);
    // Chooses the copy every later walk reads: the active copy when sound, else the first sound copy,
    // else the copy with the fewest problems (ties go to the copy checked first, the active one). False
    // only when no copy could be read at all.
    virtual bool ChooseFATCopy();
    // True when both copies hold the same bytes.
    virtual bool SameFATCopies(int32_t aA, int32_t aB);
    // The current copy, loaded; when none is current, the current index or else the active copy is
    // selected first.
    TxFATxStream* GetCurrentFAT();
    // Bytes of one FAT copy as it is held in memory (fFATCopySectors sectors).
    uint64_t GetFATCopyBytes();

    // --- directories ---
    // Validity of one 32-byte directory entry: crSound, or crFailed with a problem code.
    virtual uint8_t CheckDirEntry(std::span<const uint8_t, 32> aEntry, int32_t& aProblem, bool aStrict);
    // Looks for a directory cluster from aStart (-1: where the last search stopped, else cluster 2).
    virtual bool FindRootDirectory(int64_t aStart);

    // Where the boot record is read from.
    TxDiskAddress fBootRecordAddress;
    std::unique_ptr<uint8_t[]> fBootRecord; // nullptr until first read
    uint32_t fBootRecordSize = 0;
    bool fBootRecordComplete = false;
    std::vector<std::unique_ptr<TxFATxStream>> fFATCopies; // one slot per copy, empty until used
    int32_t fFATCount = 0;
    int32_t fCurrentFATIndex = -1;
    TxFATxStream* fCurrentFAT = nullptr; // an element of fFATCopies
    uint32_t fTotalSectors = 0;
    uint32_t fSectorsPerFAT = 0;
    // Sectors of each copy that are read into memory: those that hold the entries of the clusters
    // below ClusterCount (at most fSectorsPerFAT).
    uint32_t fFATCopySectors = 0;
    uint32_t fReservedSectors = 0;
    int32_t fRootDirSectors = 0;        // -1 on FAT32: no fixed root area
    uint32_t fDataSectors = 0;          // from the first sector of cluster 2 to the end of the volume
    uint32_t fLastDirectoryCluster = 0; // 0 = none

protected:
    using TxBootValidation = uint8_t (*)(std::span<const uint8_t>, int32_t&);

    // The boot record buffer of this type on this device: a whole number of sectors, at least aMinimum.
    static uint32_t BootRecordSizeFor(uint32_t aBytesPerSector, uint32_t aMinimum);
    // CanMount of a type: reads the type's boot record size from sector 0 and validates it. A device
    // without geometry, a read that fails or returns fewer bytes, or a failed validation mean no.
    static bool CanMountWith(TxDiskAccessor* aDisk, uint32_t aBootRecordSize, TxBootValidation aValidate);
    virtual uint32_t BootRecordSize() = 0;
    // Makes a built boot sector the cached boot record (standing for sector 0 from now on) when the
    // type's validation passes it; otherwise the cache is left empty and the result is false.
    bool InstallBootRecord(std::span<const uint8_t> aSector);
    // The type's validation run on the cached boot record.
    uint8_t CheckBootRecordWith(TxBootValidation aValidate, int32_t& aProblem);
    // The decoded fields of the cached boot record, which must have been read whole.
    TxFATBootFields BootFields();
    // The fields every type sets, and the end of every ComputeGeometry: the cluster bound is held to
    // the device, the sectors of each copy to read are fixed, the FAT slots are lengthened to
    // fFATCount, and streams built for another table layout are dropped.
    void SetCommonGeometry(const TxFATBootFields& aFields);
    void FinishGeometry(uint32_t aOldReservedSectors, uint32_t aOldSectorsPerFAT);
    // Preconditions of the entry readers: data present, aCluster a cluster the bound admits (from 2
    // when aFromFirst) and its entry inside the table.
    void CheckEntryRead(const uint8_t* aData, uint32_t aCluster, bool aFromFirst, uint64_t aEntryEnd);
};

// FAT12: fewer than 4085 clusters, 12-bit entries.
class TFileSystemFAT12 : public TFileSystemFATx {
public:
    QRT_CLASSNAME(TFileSystemFAT12)
    using TFileSystemFATx::TFileSystemFATx;

    static bool CanMount(TxDiskAccessor* aDisk);

    uint32_t GetDefaultSectorsPerCluster(uint32_t aTotalSectors) override;
    uint32_t GetMediaEntry() override;
    int32_t GetFATBits() override { return 12; }
    void ComputeGeometry() override;
    uint8_t CheckBootRecord(int32_t& aProblem) override;
    uint32_t ReadFATEntry(const uint8_t* aData, uint32_t aCluster) override;
    uint32_t ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) override;

protected:
    uint32_t BootRecordSize() override;
};

// FAT16: 4085 to 65524 clusters, 16-bit entries.
class TFileSystemFAT16 : public TFileSystemFATx {
public:
    QRT_CLASSNAME(TFileSystemFAT16)
    using TFileSystemFATx::TFileSystemFATx;

    static bool CanMount(TxDiskAccessor* aDisk);

    uint32_t GetDefaultSectorsPerCluster(uint32_t aTotalSectors) override;
    uint32_t GetMediaEntry() override;
    int32_t GetFATBits() override { return 16; }
    void ComputeGeometry() override;
    uint8_t CheckBootRecord(int32_t& aProblem) override;
    uint32_t ReadFATEntry(const uint8_t* aData, uint32_t aCluster) override;
    uint32_t ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) override;

protected:
    uint32_t BootRecordSize() override;
};

// FAT32: 65525 clusters and more, 32-bit entries, the root directory in a cluster chain. Its boot
// record buffer holds at least 1024 bytes (the boot sector and the next one on 512-byte sectors).
class TFileSystemFAT32 : public TFileSystemFATx {
public:
    QRT_CLASSNAME(TFileSystemFAT32)
    using TFileSystemFATx::TFileSystemFATx;

    static bool CanMount(TxDiskAccessor* aDisk);

    uint32_t GetDefaultSectorsPerCluster(uint32_t aTotalSectors) override;
    uint32_t GetMediaEntry() override;
    int32_t GetFATBits() override { return 32; }
    void ComputeGeometry() override;
    uint8_t CheckBootRecord(int32_t& aProblem) override;
    uint32_t ReadFATEntry(const uint8_t* aData, uint32_t aCluster) override;
    uint32_t ReadFATEntryState(const uint8_t* aData, uint32_t aClusterNo, uint8_t& aState) override;
    // With bit 7 of ExtFlags set (mirroring off) the copy in bits 0-3, else copy 0. A named copy that
    // the volume does not have falls back to copy 0.
    int32_t GetActiveFATIndex() override;

protected:
    uint32_t BootRecordSize() override;
};

// The class-objects the file-system registry holds, in the order they are registered.
extern const TxFileSystemClass FileSystemFAT12Class;
extern const TxFileSystemClass FileSystemFAT16Class;
extern const TxFileSystemClass FileSystemFAT32Class;

} // namespace qrt
