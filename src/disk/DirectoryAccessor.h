#pragma once

#include "core/TObject.h"
#include "disk/ClusterChain.h"
#include "disk/DiskTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrt {

class TxDiskAccessor;
class TxDiskStream;
class TxFileStream;

// Flags of FindFirst: sfLive is passed by every caller; sfDeleted also returns deleted entries.
enum : uint8_t { sfLive = 1, sfDeleted = 2 };
// FindFirst/FindNext: an entry came back, or there are no more entries.
enum : int32_t { kFindOk = 0, kNoMoreFiles = 18 };
// Attribute bits of directory entries.
enum : int32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faAnyFile = 0x3F,
};

// The private state of one search, behind TxSearchRec::FindHandle.
struct TxSearchState {
    int32_t AttrMask = 0;
    uint8_t Flags = 0;
    int32_t CurrentIndex = -1; // raw index of the entry last returned
    int32_t NextIndex = 0;     // raw index where the next read starts
    uint32_t FirstCluster = 0; // of the entry last read
    bool Deleted = false;      // the entry last read is a deleted one
};

// 100-nanosecond intervals since 1601-01-01 UTC.
using TxFileTime = uint64_t;

// What the directory reader knows of an entry beyond the search record's own fields.
struct TxFindData {
    uint32_t dwFileAttributes = 0;
    TxFileTime ftCreationTime = 0;
    TxFileTime ftLastAccessTime = 0;
    TxFileTime ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    uint32_t dwReserved0 = 0;
    uint32_t dwReserved1 = 0;
    std::string cFileName;          // the same name as TxSearchRec::Name, never cut short
    std::string cAlternateFileName; // the 8.3 name when the entry has a long name, else empty
};

// One entry of a directory search. Size is the entry's unsigned 32-bit byte count, carried in 64
// bits so that files of 2 GiB and more keep their size.
struct TxSearchRec {
    int32_t Time = 0; // DOS date (high word) and time (low word) of the last write, local time
    int64_t Size = 0;
    int32_t Attr = 0;
    std::string Name; // the long name when there is one; empty = a slot without a usable entry
    int32_t ExcludeAttr = 0;
    std::unique_ptr<TxSearchState> FindHandle;
    TxFindData FindData;

    // Every field back to its initial value; an open search state is released.
    void Clear();
};

// The first cluster of the entry last returned by a search.
uint32_t SearchFirstCluster(const TxSearchRec& aRec);
// Whether the entry last returned is a deleted one.
bool SearchIsDeleted(const TxSearchRec& aRec);

// Reads one directory of a mounted volume: a disk stream over the directory's bytes, loaded into
// memory once, and a find-first/find-next search over its entries (deleted ones on request). The
// entry format belongs to the file system's directory class, which supplies LoadEntries and
// ReadEntry; this class fixes how a directory is opened and how the search runs.
class TxDirectoryAccessor : public TObject {
public:
    QRT_CLASSNAME(TxDirectoryAccessor)

    // A directory of the file system mounted on aDisk, not opened yet.
    explicit TxDirectoryAccessor(TxDiskAccessor* aDisk);
    ~TxDirectoryAccessor() override;
    TxDirectoryAccessor(const TxDirectoryAccessor&) = delete;
    TxDirectoryAccessor& operator=(const TxDirectoryAccessor&) = delete;

    // An operation the directory classes never finished.
    virtual bool ReservedOperation();
    // Counts the entries from aIndex on (<= 0: from the start).
    virtual void LoadEntries(int32_t aIndex) = 0;
    // Reads the directory's bytes into memory once.
    virtual void EnsureLoaded();
    // Decodes the entry at aRawIndex into aRec (an empty Name for a slot without a usable entry);
    // returns the raw index after it, -1 at the end of the directory.
    virtual int32_t ReadEntry(int32_t aRawIndex, TxSearchRec& aRec) = 0;

    virtual bool IsRoot();
    // ChainPath of the directory's chain; empty for a directory without a chain.
    virtual std::string GetPath();
    // Becomes a second view of aOther's directory (over a clone of its stream).
    virtual bool Assign(TxDirectoryAccessor* aOther);
    // Takes the stream as this directory (the previous one is freed).
    virtual bool OpenStream(std::unique_ptr<TxDiskStream> aStream);
    virtual void OpenChain(PxClusterChain aChain);
    virtual void OpenAreas(const TxDiskAreas& aAreas);
    // A sector address opens aSize bytes there; a cluster address opens the catalogued directory
    // chain that starts there (filed on first use).
    virtual bool OpenAddress(const TxDiskAddress& aAddress, int64_t aSize);
    // Opens the subdirectory a search record names; first cluster 0 (the FAT ".." of a child of the
    // root) opens the root directory.
    virtual void OpenEntry(const TxSearchRec& aRec);
    // Moves to the live subdirectory of that name; a leading "\" starts at the root, and further
    // "\" separate the levels. False when a level does not exist (the accessor then stays where the
    // last level found left it).
    virtual bool ChangeDirectory(const std::string& aName);

    // Starts a search. The name pattern and the attribute mask are kept in the search state but not
    // applied: every entry with a name comes back, "." and ".." included (FindEntry filters).
    // Returns kFindOk or kNoMoreFiles; a search that returned kFindOk must be ended with FindClose.
    virtual int32_t FindFirst(const std::string& aName, int32_t aAttr, uint8_t aFlags, TxSearchRec& aRec);
    virtual int32_t FindNext(TxSearchRec& aRec);
    virtual void FindClose(TxSearchRec& aRec);
    // Never finished: ListFilesEx fails with "UNFINISHED!!".
    virtual void ListFiles(const std::string& aMask, std::vector<std::string>& aNames);
    virtual void ListFilesEx(const std::string& aMask, std::vector<std::string>& aNames);

    // A new accessor of this class on this directory, moved into the named subdirectory (nullptr
    // when there is none).
    virtual std::unique_ptr<TxDirectoryAccessor> OpenSubdirectory(const std::string& aName);
    virtual std::unique_ptr<TxDirectoryAccessor> OpenSubdirectoryEntry(const TxSearchRec& aRec);
    // The stream of the named live file, or nullptr.
    virtual std::unique_ptr<TxFileStream> OpenFile(const std::string& aName, uint32_t aMode);
    // A file stream for the entry; like every stream made from an entry, it keeps nothing of it.
    virtual std::unique_ptr<TxFileStream> OpenEntryFile(const TxSearchRec& aRec, uint32_t aMode);

    // The names OpenEntry accepts in a search record: the entry's name and its 8.3 name. The base
    // asks only that they are not empty; the directory classes apply their format's rules.
    virtual bool IsValidEntryName(const std::string& aName);
    virtual bool IsValidAlternateName(const std::string& aName);

    // FindFirst/FindNext until an entry whose name (or 8.3 name) matches aName comes back, ASCII
    // letters compared without case ("*" and "*.*" match every name). Directories match only when
    // aAttr has faDirectory, and with aAttr exactly faDirectory only directories match.
    int32_t FindEntry(const std::string& aName, int32_t aAttr, uint8_t aFlags, TxSearchRec& aRec);

    // The chain of the directory's stream (nullptr without stream or chain).
    PxClusterChain GetChain() const;
    // Its first cluster; 0 for a directory without a chain (the FAT12/16 root).
    uint32_t GetFirstCluster() const;
    // A new accessor of this class for the same disk.
    std::unique_ptr<TxDirectoryAccessor> CreateSibling() const;
    TxDiskStream* GetStream() const { return fStream.get(); }

    TxDiskAccessor* fDisk;
    std::unique_ptr<TxDiskStream> fStream;
    const uint8_t* fData = nullptr; // the stream's loaded contents, locked
    int32_t fLastRawIndex = -1;
    int32_t MaxEntryIndex = -1;
    int32_t fEntryCount = -1;
    bool fIsRoot = false;

protected:
    // The object of this accessor's own class that CreateSibling returns.
    virtual TxDirectoryAccessor* NewSibling(TxDiskAccessor* aDisk) const = 0;
    // The state every open resets.
    void ResetState();

private:
    bool ChangeToChild(const std::string& aName);
};

} // namespace qrt
