#include "disk/DirectoryAccessor.h"

#include "core/Assert.h"
#include "disk/DiskAccessor.h"
#include "disk/DiskStream.h"
#include "disk/FileSystem.h"

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

TxFileSystem* FileSystemOf(TxDiskAccessor* aDisk) {
    return aDisk ? aDisk->fFileSystem : nullptr;
}

} // namespace

void TxSearchRec::Clear() {
    Time = 0;
    Size = 0;
    Attr = 0;
    Name.clear();
    ExcludeAttr = 0;
    FindHandle.reset();
    FindData = TxFindData{};
}

uint32_t SearchFirstCluster(const TxSearchRec& aRec) {
    QRT_ASSERT(aRec.FindHandle != nullptr, "WTF?");
    return aRec.FindHandle->FirstCluster;
}

bool SearchIsDeleted(const TxSearchRec& aRec) {
    QRT_ASSERT(aRec.FindHandle != nullptr, "WTF?");
    return aRec.FindHandle->Deleted;
}

TxDirectoryAccessor::TxDirectoryAccessor(TxDiskAccessor* aDisk) : fDisk(aDisk) {
    QRT_ASSERT(FileSystemOf(aDisk) != nullptr, "WTF?");
}

TxDirectoryAccessor::~TxDirectoryAccessor() {
    fData = nullptr;
}

bool TxDirectoryAccessor::ReservedOperation() {
    throw EAbstractError("Abstract Error");
}

void TxDirectoryAccessor::EnsureLoaded() {
    if (fData) return;
    QRT_ASSERT(fStream != nullptr, "WTF?");
    fStream->LoadData();
    // A directory the device could not read whole is not read at all: its zeroed sectors would end
    // it early or show entries that are not there. Callers skip it; its subdirectories can still be
    // found as lost directories.
    if (int64_t unreadable = fStream->UnreadableBytes()) {
        std::string path = GetPath();
        throw EReadError("Cannot read the directory \"" + (path.empty() && IsRoot() ? "\\" : path) +
                         "\": " + std::to_string(unreadable) + " of its " + std::to_string(fStream->fSize) +
                         " bytes are unreadable");
    }
    fData = static_cast<const uint8_t*>(fStream->LockData());
    QRT_ASSERT(fData != nullptr, "WTF?");
}

bool TxDirectoryAccessor::IsRoot() {
    return fIsRoot;
}

std::string TxDirectoryAccessor::GetPath() {
    return ChainPath(GetChain());
}

void TxDirectoryAccessor::ResetState() {
    MaxEntryIndex = -1;
    fEntryCount = -1;
    fLastRawIndex = -1;
    fIsRoot = false;
    fData = nullptr;
}

bool TxDirectoryAccessor::OpenStream(std::unique_ptr<TxDiskStream> aStream) {
    QRT_ASSERT(aStream != nullptr, "WTF?");
    if (!fDisk) fDisk = aStream->fDisk;
    if (fStream) QRT_ASSERT(FileSystemOf(fStream->fDisk) == FileSystemOf(fDisk), "WTF?");
    ResetState();
    fStream = std::move(aStream);
    if (fStream->fChain) CheckNonEmptyChain(nullptr, fStream->fChain);
    return true;
}

bool TxDirectoryAccessor::Assign(TxDirectoryAccessor* aOther) {
    QRT_ASSERT(aOther != nullptr, "WTF?");
    QRT_ASSERT(aOther->fStream != nullptr, "WTF?");
    if (!fDisk) fDisk = aOther->fDisk;
    if (fStream)
        QRT_ASSERT(fStream->fDisk == fDisk && FileSystemOf(fStream->fDisk) == FileSystemOf(aOther->fDisk),
                   "WTF?");
    std::unique_ptr<TxDiskStream> clone = aOther->fStream->Clone();
    ResetState();
    fStream = std::move(clone);
    if (fStream->fChain) CheckNonEmptyChain(nullptr, fStream->fChain);
    fIsRoot = aOther->fIsRoot;
    return true;
}

void TxDirectoryAccessor::OpenChain(PxClusterChain aChain) {
    OpenStream(TxDiskStream::CreateOnChain(fDisk, -1, aChain));
}

void TxDirectoryAccessor::OpenAreas(const TxDiskAreas& aAreas) {
    OpenStream(TxDiskStream::CreateOnAreas(fDisk, -1, aAreas));
}

bool TxDirectoryAccessor::OpenAddress(const TxDiskAddress& aAddress, int64_t aSize) {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    TxFileSystem* fs = FileSystemOf(fDisk);
    QRT_ASSERT(fs != nullptr, "WTF?");
    switch (aAddress.Kind) {
    case akSector:
        return OpenStream(TxDiskStream::CreateAtAddress(fDisk, aSize, aAddress));
    case akCluster: {
        PxClusterChain chain = nullptr;
        fs->FindDirectoryChain(static_cast<uint32_t>(aAddress.Number), chain, 1);
        return OpenStream(TxDiskStream::CreateOnChain(fDisk, aSize, chain));
    }
    default:
        QRT_FAIL("UNIMPLEMENTED!!");
    }
}

void TxDirectoryAccessor::OpenEntry(const TxSearchRec& aRec) {
    QRT_ASSERT(!aRec.Name.empty() && IsValidEntryName(aRec.Name), "WTF?");
    QRT_ASSERT(aRec.Name == aRec.FindData.cFileName, "WTF?");
    const std::string& alternate = aRec.FindData.cAlternateFileName;
    QRT_ASSERT(alternate.empty() || IsValidAlternateName(alternate), "WTF?");
    uint32_t first = SearchFirstCluster(aRec);
    if (first == 0) {
        // The FAT convention for the root directory (the ".." of its children).
        TxDirectoryAccessor* root = FileSystemOf(fDisk)->GetRootDirectory();
        QRT_ASSERT(root != nullptr, "WTF?");
        Assign(root);
        return;
    }
    OpenAddress(ClusterAddress(static_cast<int32_t>(first)), -1);
}

bool TxDirectoryAccessor::ChangeToChild(const std::string& aName) {
    TxSearchRec rec;
    if (FindEntry(aName, faDirectory, sfLive, rec) != kFindOk) return false;
    try {
        OpenEntry(rec);
    } catch (...) {
        FindClose(rec);
        throw;
    }
    FindClose(rec);
    return true;
}

bool TxDirectoryAccessor::ChangeDirectory(const std::string& aName) {
    QRT_ASSERT(fStream != nullptr, "WTF?");
    std::string rest = aName;
    if (!rest.empty() && rest[0] == '\\') {
        TxDirectoryAccessor* root = FileSystemOf(fDisk)->GetRootDirectory();
        QRT_ASSERT(root != nullptr, "WTF?");
        Assign(root);
        rest.erase(0, 1);
        if (rest.empty()) return true;
    }
    size_t start = 0;
    while (true) {
        size_t end = rest.find('\\', start);
        std::string level = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (level.empty() || !ChangeToChild(level)) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
        if (start == rest.size()) return true; // a trailing "\"
    }
}

int32_t TxDirectoryAccessor::FindFirst(const std::string& aName, int32_t aAttr, uint8_t aFlags,
                                       TxSearchRec& aRec) {
    QRT_ASSERT(aName.find('\\') == std::string::npos, "WTF?");
    aRec.Clear();
    auto state = std::make_unique<TxSearchState>();
    state->AttrMask = aAttr;
    state->Flags = aFlags;
    aRec.FindHandle = std::move(state);
    int32_t result;
    try {
        result = FindNext(aRec);
    } catch (...) {
        FindClose(aRec);
        throw;
    }
    if (result != kFindOk) FindClose(aRec);
    return result;
}

int32_t TxDirectoryAccessor::FindNext(TxSearchRec& aRec) {
    QRT_ASSERT(aRec.FindHandle != nullptr, "WTF?");
    int32_t i = aRec.FindHandle->NextIndex;
    while (i >= 0) {
        int32_t next = ReadEntry(i, aRec);
        TxSearchState& state = *aRec.FindHandle;
        if (!aRec.Name.empty() && ((state.Flags & sfDeleted) || !state.Deleted)) {
            state.CurrentIndex = i;
            state.NextIndex = next;
            return kFindOk;
        }
        i = next;
    }
    aRec.FindHandle->NextIndex = -1;
    return kNoMoreFiles;
}

void TxDirectoryAccessor::FindClose(TxSearchRec& aRec) {
    aRec.FindHandle.reset();
}

void TxDirectoryAccessor::ListFiles(const std::string& aMask, std::vector<std::string>& aNames) {
    ListFilesEx(aMask, aNames);
}

void TxDirectoryAccessor::ListFilesEx(const std::string&, std::vector<std::string>&) {
    QRT_FAIL("UNFINISHED!!");
}

std::unique_ptr<TxDirectoryAccessor> TxDirectoryAccessor::OpenSubdirectory(const std::string& aName) {
    std::unique_ptr<TxDirectoryAccessor> dir = CreateSibling();
    dir->Assign(this);
    if (!dir->ChangeDirectory(aName)) return nullptr;
    return dir;
}

std::unique_ptr<TxDirectoryAccessor> TxDirectoryAccessor::OpenSubdirectoryEntry(const TxSearchRec& aRec) {
    std::unique_ptr<TxDirectoryAccessor> dir = CreateSibling();
    dir->OpenEntry(aRec);
    return dir;
}

std::unique_ptr<TxFileStream> TxDirectoryAccessor::OpenFile(const std::string& aName, uint32_t aMode) {
    if (aName.find('\\') != std::string::npos) QRT_FAIL("UNIMPLEMENTED!!");
    TxSearchRec rec;
    if (FindEntry(aName, faAnyFile & ~faDirectory, sfLive, rec) != kFindOk) return nullptr;
    std::unique_ptr<TxFileStream> stream;
    try {
        stream = OpenEntryFile(rec, aMode);
    } catch (...) {
        FindClose(rec);
        throw;
    }
    FindClose(rec);
    return stream;
}

std::unique_ptr<TxFileStream> TxDirectoryAccessor::OpenEntryFile(const TxSearchRec& aRec, uint32_t aMode) {
    return TxFileStream::CreateForEntry(
        aRec.Name, -1, ClusterAddress(static_cast<int32_t>(SearchFirstCluster(aRec))), aMode);
}

bool TxDirectoryAccessor::IsValidEntryName(const std::string& aName) {
    return !aName.empty();
}

bool TxDirectoryAccessor::IsValidAlternateName(const std::string& aName) {
    return !aName.empty();
}

int32_t TxDirectoryAccessor::FindEntry(const std::string& aName, int32_t aAttr, uint8_t aFlags,
                                       TxSearchRec& aRec) {
    bool any = aName.empty() || aName == "*" || aName == "*.*";
    int32_t result = FindFirst(aName, aAttr, aFlags, aRec);
    try {
        while (result == kFindOk) {
            bool isDirectory = (aRec.Attr & faDirectory) != 0;
            bool kindFits = aAttr == faDirectory ? isDirectory : (!isDirectory || (aAttr & faDirectory));
            bool nameFits = any || SameName(aRec.Name, aName) ||
                            (!aRec.FindData.cAlternateFileName.empty() &&
                             SameName(aRec.FindData.cAlternateFileName, aName));
            if (kindFits && nameFits) return kFindOk;
            result = FindNext(aRec);
        }
    } catch (...) {
        FindClose(aRec);
        throw;
    }
    FindClose(aRec);
    return result;
}

PxClusterChain TxDirectoryAccessor::GetChain() const {
    return fStream ? fStream->fChain : nullptr;
}

uint32_t TxDirectoryAccessor::GetFirstCluster() const {
    PxClusterChain chain = GetChain();
    return chain && chain->ItemCount > 0 ? FirstCluster(chain) : 0;
}

std::unique_ptr<TxDirectoryAccessor> TxDirectoryAccessor::CreateSibling() const {
    return std::unique_ptr<TxDirectoryAccessor>(NewSibling(fDisk));
}

} // namespace qrt
