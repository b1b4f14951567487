#pragma once

#include "core/TObject.h"
#include "disk/ClusterChain.h"
#include "disk/DiskTypes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qrt {

class TxDiskAccessor;
class TxDirectoryAccessor;
class TxClusterBitmap;
class TPointerList;
class TxFileSystem;

// Allocation states of a cluster as GetClusterState reports them.
enum : uint8_t { csFree = 2, csEndOfChain = 3, csInUse = 4, csBad = 5 };

// Kinds of GetAccessorClass.
enum : int32_t {
    akDirectoryAccessor = 1,
    akFileAccessor = 2,
    akDiskAccessorFirst = 3,
    akDiskAccessorLast = 5
};

// A class-object for the accessors a file system hands out: the directory accessor class (which
// creates directory accessors for a disk) and the two stream classes (CreateDirectory nullptr).
struct TxAccessorClass {
    const char* Name;
    TxDirectoryAccessor* (*CreateDirectory)(TxDiskAccessor* aDisk);
};

// A class-object for the file-system registry: the class's name, its class operation CanMount and
// its virtual constructor.
struct TxFileSystemClass {
    const char* Name;
    bool (*CanMount)(TxDiskAccessor* aDisk);
    TxFileSystem* (*Create)(TxDiskAccessor* aDisk);
};

// The filter of CollectClusters: given a cluster, its allocation state, a reserved argument (0) and
// the scan position, it answers whether the cluster is taken. It may move the position, and it ends
// the scan by setting the position to -1 (and answering false). Callers bind their own object in
// the function (a lambda capturing it, for instance).
using TxClusterFilter =
    std::function<bool(uint32_t aCluster, uint8_t aState, int32_t aReserved, int64_t& aPosition)>;

// The abstract volume mounted on a disk accessor: its cluster geometry and the catalogue of every
// chain known on it, in three lists sorted by first cluster after their reserved slots:
//   fFileChains       no reserved slot
//   fDirectoryChains  slot 0: the root directory's chain (a hole until known)
//   fOtherChains      slot 0: the free-area chain, slot 1: the bad-cluster-area chain
// Every chain filed in a list has that list as its Owner; the lists own their chains.
// The FAT classes derive from it and supply the abstract operations.
class TxFileSystem : public TObject {
public:
    QRT_CLASSNAME(TxFileSystem)

    explicit TxFileSystem(TxDiskAccessor* aDisk);
    // Clears the accessor's reference, frees the bitmap, the root directory and every filed chain.
    ~TxFileSystem() override;
    TxFileSystem(const TxFileSystem&) = delete;
    TxFileSystem& operator=(const TxFileSystem&) = delete;

    // --- geometry and chains ---
    virtual uint32_t GetBytesPerCluster();
    virtual uint32_t GetDefaultSectorsPerCluster(uint32_t aTotalSectors);
    virtual uint32_t GetFirstClusterNo();
    // The chain that the allocation table gives from aFirstCluster; aSize (-1 unknown) sizes it.
    virtual PxClusterChain GetClusterChain(uint32_t aFirstCluster, int64_t aSize) = 0;
    // Clusters in allocation state aState (0 any) from aStart (-1 = GetFirstClusterNo) on, at most
    // aCount (-1 all), taken through the filter when one is given.
    virtual PxClusterChain CollectClusters(int64_t aStart, uint8_t aState, const TxClusterFilter& aFilter,
                                           int64_t aCount) = 0;
    // CollectClusters from LastCluster(aChain) + 1, appended to the chain.
    virtual void AppendNextClusters(PxClusterChain& aChain, uint8_t aState, const TxClusterFilter& aFilter,
                                    int64_t aCount);
    // The accessor class of a root-directory entry, by name.
    virtual const TxAccessorClass* GetEntryClass(const std::string& aName);
    // 1 the directory accessor class, 2 the file stream class, 3..5 the disk stream class.
    virtual const TxAccessorClass* GetAccessorClass(int32_t aKind) = 0;
    const TxAccessorClass* GetDirectoryClass();

    // --- mounting and checking ---
    virtual bool Mount();
    // Rebuilds the catalogue from the live directory tree (LiveTreeScan.cpp): the lists are emptied,
    // the bitmap cleared, and every live file and directory from the root down is filed with its
    // name and parent and marked (directories 1, files 2). What the walk raises goes to the crash
    // reporter; the scan then ends normally with the catalogue as far as it got.
    virtual void Scan();
    virtual bool RecreateBootRecord();
    uint8_t Check(int32_t aFlag);
    virtual uint8_t CheckEx(int32_t& aCode, int32_t aFlag);

    // --- directory probes ---
    // Reads the block at aAddress and reports whether it looks like a directory; a status above 2 is
    // a directory start whose "." and ".." addresses are returned in aSelf and aParent.
    virtual uint8_t ProbeDirectory(const TxDiskAddress& aAddress, int32_t& aCode, int32_t aFlag,
                                   int32_t& aSoundEntries, TxDiskAddress& aSelf, TxDiskAddress& aParent) = 0;
    virtual uint8_t ProbeRoot(int32_t& aCode, int32_t aFlag);
    virtual uint8_t CheckDirectoryCluster(uint32_t aCluster, int32_t& aCode, int32_t aFlag);
    virtual bool IsRootDirectory(int32_t aReserved, int32_t aFlag);
    virtual bool IsSubdirectoryCluster(uint32_t aCluster, int32_t aFlag);
    virtual bool IsDirectoryAt(const TxDiskAddress& aAddress, int32_t aFlag);
    virtual bool IsDirectoryAtAny(const TxDiskAddress& aAddress);

    virtual bool IsValidCluster(uint32_t aCluster);
    virtual PxClusterChain GetFreeAreaChain();
    virtual PxClusterChain GetBadClusterAreaChain();
    virtual TxDirectoryAccessor* GetRootDirectory() = 0;
    // Creation of entries: a read-only volume offers none; each fails with "UNIMPLEMENTED!".
    virtual void CreateFileEntry();
    virtual void CreateDirectoryEntry();
    virtual void CreateVolumeEntry();
    virtual uint32_t ClusterToSector(uint32_t aCluster) = 0;
    virtual uint32_t GetNextCluster(uint32_t aCluster) = 0;
    virtual void GetClusterState(uint32_t aCluster, uint8_t& aState) = 0;

    // --- the catalogue ---
    virtual int32_t GetReservedCount(const TPointerList* aList);
    virtual void RelinkChainList(TPointerList* aList);
    // Flags: 1 = create (file) the chain when absent; 2 is not supported ("UNFINISHED!!").
    virtual int32_t FindChainByCluster(TPointerList* aList, uint32_t aCluster, int32_t aFlags,
                                       PxClusterChain& aChain);
    virtual int32_t FindChainIndex(TPointerList* aList, PxClusterChain aChain, int32_t aFlags);
    // aWhich 1: directory chains, 2: file chains, other: both; never creates.
    virtual PxClusterChain FindChain(uint32_t aCluster, int32_t aWhich);
    virtual int32_t FindChainAnywhere(uint32_t aCluster, TPointerList*& aList, int32_t aFlags,
                                      PxClusterChain& aChain);
    virtual int32_t LocateChain(PxClusterChain aChain, TPointerList*& aList);
    virtual int32_t IndexOfDirectoryChain(PxClusterChain aChain);
    virtual int32_t FindDirectoryChain(uint32_t aCluster, PxClusterChain& aChain, int32_t aFlags);
    virtual int32_t IndexOfFileChain(PxClusterChain aChain);
    virtual int32_t FindFileChain(uint32_t aCluster, PxClusterChain& aChain, int32_t aFlags);
    virtual void _relinkChains();

    std::string ChainListName(const TPointerList* aList);
    void CheckChainList(const TPointerList* aList);
    int32_t AddDirectoryChain(PxClusterChain aChain);

    // The names of the two special chains; the NULs keep any real file name from equalling them.
    static const std::string FreeAreaName;       // NUL "FREE" NUL "AREA" NUL
    static const std::string BadClusterAreaName; // NUL "BAD" NUL "CLUSTER" NUL "AREA" NUL

    TxDiskAccessor* fDisk;
    TxDirectoryAccessor* fRootDirectory = nullptr; // owned
    TxClusterBitmap* fClusterBitmap = nullptr;     // owned
    uint32_t fClusterZeroSector = 0;
    uint32_t fSectorsPerCluster = 0;
    uint32_t ClusterCount = 0;
    TxDiskAddress fRootAddress;
    TPointerList* fDirectoryChains;
    TPointerList* fFileChains;
    TPointerList* fOtherChains;

protected:
    // The chain in a slot, nullptr for a hole or a slot beyond the list's end.
    static PxClusterChain SlotChain(const TPointerList* aList, int32_t aIndex);
    bool IsRootCluster(uint32_t aCluster) const;

private:
    // A slot of the sorted part visited by a lookup: it must hold a non-empty chain of the list.
    PxClusterChain SortedSlot(const TPointerList* aList, int32_t aIndex);
    PxClusterChain GetAreaChain(int32_t aSlot, uint8_t aState, const std::string& aName);
    void CheckParentIndex(int32_t aParentClusterNo, int32_t aIndex);
};

} // namespace qrt
