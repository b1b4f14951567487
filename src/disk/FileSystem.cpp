#include "disk/FileSystem.h"

#include "core/Assert.h"
#include "core/Hooks.h"
#include "disk/ClusterBitmap.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskAccessor.h"
#include "support/ListUtils.h"

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

const std::string kFreeAreaName("\0FREE\0AREA\0", 11);
const std::string kBadClusterAreaName("\0BAD\0CLUSTER\0AREA\0", 18);

// Release routine of the chain lists: a chain that leaves its list is disposed.
void ReleaseListedChain(void* aItem) {
    auto chain = static_cast<PxClusterChain>(aItem);
    DisposeClusterChain(chain);
}

TPointerList* NewChainList(TxFileSystem* aOwner) {
    auto* list = new TPointerList;
    list->OwnsItems = true;
    list->Owner = aOwner;
    list->OnRelease = ReleaseListedChain;
    return list;
}

[[noreturn]] void RaiseAbstractError() {
    throw EAbstractError("Abstract Error");
}

} // namespace

const std::string TxFileSystem::FreeAreaName = kFreeAreaName;
const std::string TxFileSystem::BadClusterAreaName = kBadClusterAreaName;

TxFileSystem::TxFileSystem(TxDiskAccessor* aDisk)
    : fDisk(aDisk), fDirectoryChains(NewChainList(this)), fFileChains(NewChainList(this)),
      fOtherChains(NewChainList(this)) {}

TxFileSystem::~TxFileSystem() {
    if (fDisk && fDisk->fFileSystem == this) fDisk->fFileSystem = nullptr;
    delete fClusterBitmap;
    fClusterBitmap = nullptr;
    // The root directory reads the root chain, which is filed below: it goes first.
    delete fRootDirectory;
    fRootDirectory = nullptr;
    // A destructor cannot raise: a broken list is reported to the crash reporter, and a chain that
    // belongs to someone else is left to its owner.
    for (TPointerList* list : {fDirectoryChains, fFileChains, fOtherChains}) {
        try {
            QRT_ASSERT(list->OwnsItems, "WTF?");
        } catch (const Exception& e) {
            HandleException(e);
        }
        for (int32_t i = list->Count - 1; i >= 0; --i) {
            PxClusterChain chain = SlotChain(list, i);
            if (!chain) continue;
            list->Put(i, nullptr);
            try {
                if (chain->Owner != list) {
                    if (list == fOtherChains)
                        QRT_FAIL("WTF? #" + std::to_string(i) + ", " + ChainToString(chain));
                    QRT_FAIL("WTF?");
                }
                DisposeClusterChain(chain);
            } catch (const Exception& e) {
                HandleException(e);
            }
        }
        delete list;
    }
}

uint32_t TxFileSystem::GetBytesPerCluster() {
    QRT_ASSERT(fDisk != nullptr, "WTF?");
    return fDisk->fParams.BytesPerSector * fSectorsPerCluster;
}

uint32_t TxFileSystem::GetDefaultSectorsPerCluster(uint32_t) {
    RaiseAbstractError();
}

uint32_t TxFileSystem::GetFirstClusterNo() {
    return 0;
}

void TxFileSystem::AppendNextClusters(PxClusterChain& aChain, uint8_t aState, const TxClusterFilter& aFilter,
                                      int64_t aCount) {
    PxClusterChain next = CollectClusters(int64_t{LastCluster(aChain)} + 1, aState, aFilter, aCount);
    try {
        if (next) AppendChain(aChain, next);
    } catch (...) {
        DisposeClusterChain(next);
        throw;
    }
    DisposeClusterChain(next);
}

const TxAccessorClass* TxFileSystem::GetEntryClass(const std::string&) {
    RaiseAbstractError();
}

const TxAccessorClass* TxFileSystem::GetDirectoryClass() {
    return GetAccessorClass(akDirectoryAccessor);
}

bool TxFileSystem::Mount() {
    return true;
}

bool TxFileSystem::RecreateBootRecord() {
    RaiseAbstractError();
}

uint8_t TxFileSystem::Check(int32_t aFlag) {
    int32_t code = 0;
    return CheckEx(code, aFlag);
}

uint8_t TxFileSystem::CheckEx(int32_t&, int32_t) {
    RaiseAbstractError();
}

uint8_t TxFileSystem::ProbeRoot(int32_t& aCode, int32_t aFlag) {
    int32_t sound = 0;
    TxDiskAddress self, parent;
    uint8_t status = ProbeDirectory(fRootAddress, aCode, aFlag, sound, self, parent);
    if (status > 2 && !(SameAddress(self, fRootAddress) && SameAddress(parent, fRootAddress))) return 2;
    return status;
}

uint8_t TxFileSystem::CheckDirectoryCluster(uint32_t aCluster, int32_t& aCode, int32_t aFlag) {
    int32_t sound = 0;
    TxDiskAddress self, parent;
    TxDiskAddress probed = ClusterAddress(static_cast<int32_t>(aCluster));
    uint8_t status = ProbeDirectory(probed, aCode, aFlag, sound, self, parent);
    if (status <= 2) return status;
    if (SameAddress(self, parent)) {
        aCode = 0x30001;
    } else if (IsNullAddress(parent)) {
        aCode = 0x30003;
    } else if (IsNullAddress(self) || !SameAddress(self, probed)) {
        aCode = 0x30002;
    } else {
        return status;
    }
    return 2;
}

bool TxFileSystem::IsRootDirectory(int32_t, int32_t aFlag) {
    int32_t code = 0, sound = 0;
    TxDiskAddress self, parent;
    uint8_t status = ProbeDirectory(fRootAddress, code, aFlag, sound, self, parent);
    return status >= 2 && SameAddress(self, parent) && SameAddress(self, fRootAddress);
}

bool TxFileSystem::IsSubdirectoryCluster(uint32_t aCluster, int32_t aFlag) {
    int32_t code = 0, sound = 0;
    TxDiskAddress self, parent;
    TxDiskAddress probed = ClusterAddress(static_cast<int32_t>(aCluster));
    uint8_t status = ProbeDirectory(probed, code, aFlag, sound, self, parent);
    return status >= 2 && !IsNullAddress(parent) && !IsNullAddress(self) && !SameAddress(self, parent) &&
           SameAddress(self, probed);
}

bool TxFileSystem::IsDirectoryAt(const TxDiskAddress& aAddress, int32_t aFlag) {
    int32_t code = 0, sound = 0;
    TxDiskAddress self, parent;
    return ProbeDirectory(aAddress, code, aFlag, sound, self, parent) > 1;
}

bool TxFileSystem::IsDirectoryAtAny(const TxDiskAddress& aAddress) {
    return IsDirectoryAt(aAddress, 2);
}

bool TxFileSystem::IsValidCluster(uint32_t aCluster) {
    return GetFirstClusterNo() <= aCluster && aCluster < ClusterCount;
}

PxClusterChain TxFileSystem::GetAreaChain(int32_t aSlot, uint8_t aState, const std::string& aName) {
    if (PxClusterChain chain = SlotChain(fOtherChains, aSlot)) return chain;
    PxClusterChain chain = CollectClusters(GetFirstClusterNo(), aState, nullptr, -1);
    // A volume without such clusters still gets its (empty) special chain.
    if (!chain) NewClusterChain(chain, 0);
    chain->Owner = fOtherChains;
    chain->Name = aName;
    fOtherChains->EnsureCapacity(GetReservedCount(fOtherChains));
    fOtherChains->Put(aSlot, chain);
    return chain;
}

PxClusterChain TxFileSystem::GetFreeAreaChain() {
    return GetAreaChain(0, csFree, FreeAreaName);
}

PxClusterChain TxFileSystem::GetBadClusterAreaChain() {
    return GetAreaChain(1, csBad, BadClusterAreaName);
}

void TxFileSystem::CreateFileEntry() {
    QRT_FAIL("UNIMPLEMENTED!");
}

void TxFileSystem::CreateDirectoryEntry() {
    QRT_FAIL("UNIMPLEMENTED!");
}

void TxFileSystem::CreateVolumeEntry() {
    QRT_FAIL("UNIMPLEMENTED!");
}

int32_t TxFileSystem::GetReservedCount(const TPointerList* aList) {
    if (aList == fOtherChains) return 2;
    if (aList == fDirectoryChains) return 1;
    return 0;
}

std::string TxFileSystem::ChainListName(const TPointerList* aList) {
    if (aList == fOtherChains) return "fOtherChains";
    if (aList == fDirectoryChains) return "fDirectoryChains";
    QRT_ASSERT(aList == fFileChains, "WTF?");
    return "fFileChains";
}

void TxFileSystem::CheckChainList(const TPointerList* aList) {
    for (int32_t i = GetReservedCount(aList); i < aList->Count; ++i) {
        PxClusterChain chain = SlotChain(aList, i);
        if (!chain) QRT_FAIL("WTF? " + ChainListName(aList) + "[" + std::to_string(i) + "] = NIL!");
        QRT_ASSERT(chain->Owner == aList, "WTF?");
    }
}

int32_t TxFileSystem::AddDirectoryChain(PxClusterChain aChain) {
    return FindChainIndex(fDirectoryChains, aChain, 1);
}

PxClusterChain TxFileSystem::SlotChain(const TPointerList* aList, int32_t aIndex) {
    if (aIndex < 0 || aIndex >= aList->Count) return nullptr;
    return static_cast<PxClusterChain>(aList->Get(aIndex));
}

bool TxFileSystem::IsRootCluster(uint32_t aCluster) const {
    return fRootAddress.Kind == akCluster && int64_t{aCluster} == int64_t{fRootAddress.Number};
}

PxClusterChain TxFileSystem::SortedSlot(const TPointerList* aList, int32_t aIndex) {
    QRT_ASSERT(aIndex < aList->Count, "WTF?");
    PxClusterChain chain = SlotChain(aList, aIndex);
    if (!chain) QRT_FAIL("WTF? " + ChainListName(aList) + "[" + std::to_string(aIndex) + "] = NIL!");
    QRT_ASSERT(chain->ItemCount >= 1 && !chain->Clusters.empty(), "WTF?");
    QRT_ASSERT(chain->Owner == aList, "WTF?");
    return chain;
}

// The lookups check every slot their binary search visits (and the run of equal first clusters
// they walk) rather than the whole list, so filing n chains stays O(n log n) comparisons.
int32_t TxFileSystem::FindChainByCluster(TPointerList* aList, uint32_t aCluster, int32_t aFlags,
                                         PxClusterChain& aChain) {
    if (aFlags & 2) QRT_FAIL("UNFINISHED!!");
    QRT_ASSERT(aList != nullptr, "WTF?");
    aChain = nullptr;
    int32_t result = -1;
    int32_t lo = GetReservedCount(aList);
    int32_t hi = aList->Count - 1;
    while (lo <= hi) {
        int32_t mid = (lo + hi) >> 1;
        PxClusterChain chain = SortedSlot(aList, mid);
        uint32_t first = chain->Clusters[0];
        if (first == aCluster) {
            aChain = chain;
            result = mid;
            break;
        }
        if (aCluster < first)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    int32_t pos = result >= 0 ? result : lo;
    if (IsRootCluster(aCluster)) {
        if (PxClusterChain root = SlotChain(fDirectoryChains, 0)) {
            QRT_ASSERT(FirstCluster(root) == aCluster, "WTF?");
            aChain = root;
            result = pos = 0;
        } else if (result < 0) {
            pos = 0;
        }
    }
    if (result < 0 && (aFlags & 1)) {
        PxClusterChain chain = GetClusterChain(aCluster, -1);
        if (chain) {
            chain->Owner = aList;
            aList->Insert(pos, chain);
            aChain = chain;
            result = pos;
        }
    }
    QRT_ASSERT(result < 0 || aChain != nullptr, "WTF?");
    return result;
}

int32_t TxFileSystem::FindChainIndex(TPointerList* aList, PxClusterChain aChain, int32_t aFlags) {
    if (aFlags & 2) QRT_FAIL("UNFINISHED!!");
    QRT_ASSERT(aList != nullptr, "WTF?");
    uint32_t key = FirstCluster(aChain);
    int32_t result = -1;
    int32_t lo = GetReservedCount(aList);
    int32_t hi = aList->Count - 1;
    while (lo <= hi) {
        int32_t mid = (lo + hi) >> 1;
        PxClusterChain chain = SortedSlot(aList, mid);
        uint32_t first = chain->Clusters[0];
        if (first == key) {
            // Cross-linked chains share a first cluster: the run of equal keys is searched for this
            // very chain, and a new one goes behind the run.
            int32_t start = mid;
            while (start > GetReservedCount(aList) && SortedSlot(aList, start - 1)->Clusters[0] == key)
                --start;
            int32_t i = start;
            for (; i < aList->Count; ++i) {
                PxClusterChain other = SortedSlot(aList, i);
                if (other->Clusters[0] != key) break;
                if (other == aChain) {
                    result = i;
                    break;
                }
            }
            lo = i;
            break;
        }
        if (key < first)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    int32_t pos = result >= 0 ? result : lo;
    if (IsRootCluster(key)) {
        if (PxClusterChain root = SlotChain(fDirectoryChains, 0)) {
            QRT_ASSERT(FirstCluster(root) == key, "WTF?");
            QRT_ASSERT(root == aChain, "WTF?");
            result = pos = 0;
        } else if (result < 0) {
            pos = 0;
        }
    }
    if (result < 0 && (aFlags & 1)) {
        aChain->Owner = aList;
        aList->Insert(pos, aChain);
        result = pos;
    }
    return result;
}

PxClusterChain TxFileSystem::FindChain(uint32_t aCluster, int32_t aWhich) {
    PxClusterChain chain = nullptr;
    TPointerList* list = nullptr;
    switch (aWhich) {
    case 1:
        FindDirectoryChain(aCluster, chain, 0);
        break;
    case 2:
        FindFileChain(aCluster, chain, 0);
        break;
    default:
        FindChainAnywhere(aCluster, list, 0, chain);
        break;
    }
    return chain;
}

int32_t TxFileSystem::FindChainAnywhere(uint32_t aCluster, TPointerList*& aList, int32_t aFlags,
                                        PxClusterChain& aChain) {
    int32_t index = FindDirectoryChain(aCluster, aChain, aFlags);
    if (index >= 0) {
        aList = fDirectoryChains;
        return index;
    }
    index = FindFileChain(aCluster, aChain, aFlags);
    aList = index >= 0 ? fFileChains : nullptr;
    return index;
}

int32_t TxFileSystem::LocateChain(PxClusterChain aChain, TPointerList*& aList) {
    QRT_ASSERT(aChain != nullptr, "WTF?");
    QRT_ASSERT(ChainLength(aChain) >= 1, "WTF?");
    PxClusterChain found = nullptr;
    int32_t index = FindChainAnywhere(FirstCluster(aChain), aList, 0, found);
    QRT_ASSERT(found == aChain, "WTF?");
    return index;
}

int32_t TxFileSystem::IndexOfDirectoryChain(PxClusterChain aChain) {
    return FindChainIndex(fDirectoryChains, aChain, 0);
}

int32_t TxFileSystem::FindDirectoryChain(uint32_t aCluster, PxClusterChain& aChain, int32_t aFlags) {
    return FindChainByCluster(fDirectoryChains, aCluster, aFlags, aChain);
}

int32_t TxFileSystem::IndexOfFileChain(PxClusterChain aChain) {
    return FindChainIndex(fFileChains, aChain, 0);
}

int32_t TxFileSystem::FindFileChain(uint32_t aCluster, PxClusterChain& aChain, int32_t aFlags) {
    return FindChainByCluster(fFileChains, aCluster, aFlags, aChain);
}

// A parent found for relinking is the root chain (slot 0) when the parent cluster is the root's,
// otherwise a chain of the sorted part of the directory list.
void TxFileSystem::CheckParentIndex(int32_t aParentClusterNo, int32_t aIndex) {
    if (SameAddress(ClusterAddress(aParentClusterNo), fRootAddress))
        QRT_ASSERT(aIndex == 0, "WTF?");
    else
        QRT_ASSERT(aIndex >= GetReservedCount(fDirectoryChains), "WTF?");
}

void TxFileSystem::RelinkChainList(TPointerList* aList) {
    CheckChainList(aList);
    for (int32_t i = GetReservedCount(aList); i < aList->Count; ++i) {
        PxClusterChain c = SlotChain(aList, i);
        if (c->ParentChain && c->ParentClusterNo == -1) {
            c->ParentClusterNo = static_cast<int32_t>(FirstCluster(c->ParentChain));
        } else if (c->ParentChain) {
            PxClusterChain found = nullptr;
            int32_t idx =
                FindChainByCluster(fDirectoryChains, static_cast<uint32_t>(c->ParentClusterNo), 0, found);
            if (found != c->ParentChain)
                QRT_FAIL("WTF? wClusterChainParent=" + ChainToString(found) +
                         ", wClusterChain.ParentChain=" + ChainToString(c->ParentChain));
            CheckParentIndex(c->ParentClusterNo, idx);
        } else if (c->ParentClusterNo != -1 && c->ParentClusterNo != 0) {
            // Parent cluster 0 is the root of a volume whose root directory has no chain: there is
            // nothing to link to, and the chain stays a top-level one.
            PxClusterChain found = nullptr;
            int32_t idx =
                FindChainByCluster(fDirectoryChains, static_cast<uint32_t>(c->ParentClusterNo), 0, found);
            CheckParentIndex(c->ParentClusterNo, idx);
            c->ParentChain = found;
        }
    }
}

void TxFileSystem::_relinkChains() {
    RelinkChainList(fFileChains);
    RelinkChainList(fDirectoryChains);
    RelinkChainList(fOtherChains);
}

} // namespace qrt
