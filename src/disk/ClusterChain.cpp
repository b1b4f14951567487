#include "disk/ClusterChain.h"

#include "core/Assert.h"
#include "disk/FileSystem.h"
#include "support/ListUtils.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {

// Dumps built while another dump is being built (inside the path walk of a broken chain) leave the
// path out, so a consistency message about a chain can never recurse into itself.
thread_local int gDumpDepth = 0;

void SetChainLength(TxClusterChain& aChain, int32_t aLength) {
    aChain.Clusters.resize(static_cast<size_t>(aLength), 0u);
    aChain.Length = aLength;
}

} // namespace

void NewClusterChain(PxClusterChain& aChain, int32_t aCapacity) {
    QRT_ASSERT(aCapacity >= 0, "WTF?");
    aChain = new TxClusterChain;
    SetChainLength(*aChain, aCapacity);
}

void DisposeClusterChain(PxClusterChain& aChain) {
    // A chain that fails its checks is freed all the same: the failure is raised, the memory is not
    // kept (a damaged volume can link a file to a directory that starts at the file's own cluster).
    std::unique_ptr<TxClusterChain> chain(aChain);
    aChain = nullptr;
    CheckChain(nullptr, chain.get());
}

void EnsureChainCapacity(PxClusterChain& aChain, int32_t aCount) {
    CheckChain(nullptr, aChain);
    if (!aChain) NewClusterChain(aChain, 3);
    if (aChain->Length < aCount) {
        uint32_t grown = Grow(static_cast<uint32_t>(aChain->Length), static_cast<uint32_t>(aCount));
        SetChainLength(*aChain, static_cast<int32_t>(grown));
    }
    CheckChain(nullptr, aChain);
}

int32_t ChainLength(const TxClusterChain* aChain) {
    return aChain ? aChain->Length : 0;
}

uint32_t FirstCluster(const TxClusterChain* aChain) {
    QRT_ASSERT(ChainLength(aChain) > 0, "WTF?");
    return aChain->Clusters[0];
}

uint32_t LastCluster(const TxClusterChain* aChain) {
    CheckNonEmptyChain(nullptr, aChain);
    return aChain->Clusters[static_cast<size_t>(aChain->ItemCount - 1)];
}

void AddCluster(PxClusterChain& aChain, uint32_t aCluster) {
    CheckChain(nullptr, aChain);
    EnsureChainCapacity(aChain, (aChain ? aChain->ItemCount : 0) + 1);
    aChain->Clusters[static_cast<size_t>(aChain->ItemCount)] = aCluster;
    aChain->ItemCount++;
}

void AppendChain(PxClusterChain& aChain, const TxClusterChain* aOther) {
    CheckChain(nullptr, aChain);
    QRT_ASSERT(aChain != nullptr, "WTF?");
    QRT_ASSERT(aOther != nullptr, "WTF?");
    int32_t own = aChain->ItemCount;
    int32_t added = aOther->ItemCount;
    EnsureChainCapacity(aChain, own + added);
    // Indexes, not iterators: aOther may be aChain itself.
    for (int32_t i = 0; i < added; ++i)
        aChain->Clusters[static_cast<size_t>(own + i)] = aOther->Clusters[static_cast<size_t>(i)];
    aChain->ItemCount = own + added;
}

void InsertFirstCluster(PxClusterChain& aChain, uint32_t aCluster) {
    CheckChain(nullptr, aChain);
    EnsureChainCapacity(aChain, (aChain ? aChain->ItemCount : 0) + 1);
    auto begin = aChain->Clusters.begin();
    std::copy_backward(begin, begin + aChain->ItemCount, begin + aChain->ItemCount + 1);
    aChain->Clusters[0] = aCluster;
    aChain->ItemCount++;
}

int32_t IndexOfCluster(const TxClusterChain* aChain, uint32_t aCluster) {
    CheckNonEmptyChain(nullptr, aChain);
    auto begin = aChain->Clusters.begin();
    auto end = begin + aChain->ItemCount;
    auto it = std::find(begin, end, aCluster);
    return it == end ? -1 : static_cast<int32_t>(it - begin);
}

bool ChainContains(const TxClusterChain* aChain, uint32_t aCluster) {
    CheckNonEmptyChain(nullptr, aChain);
    return IndexOfCluster(aChain, aCluster) >= 0;
}

std::string ChainName(const TxClusterChain* aChain) {
    QRT_ASSERT(aChain != nullptr, "WTF?");
    if (!aChain->Name.empty()) return aChain->Name;
    if (aChain->ParentClusterNo == 0) return std::string();
    return "~#" + std::to_string(FirstCluster(aChain));
}

std::string ChainPath(const TxClusterChain* aChain) {
    if (!aChain) return std::string();
    CheckChain(nullptr, aChain);
    std::string result = ChainName(aChain);
    const TxClusterChain* cur = aChain;
    // Longer cycles than a chain naming itself are caught by remembering the chains walked.
    std::unordered_set<const TxClusterChain*> walked{cur};
    while (cur->ParentClusterNo != -1 && cur->ParentChain != nullptr) {
        cur = cur->ParentChain;
        result = ChainName(cur) + "\\" + result;
        QRT_ASSERT(cur->ParentChain != cur, "WTF?");
        if (FirstCluster(cur) == static_cast<uint32_t>(cur->ParentClusterNo) || !walked.insert(cur).second)
            QRT_FAIL("WTF? Circular reference! ParentChain=" + ChainToString(cur));
        bool unlinked = cur->ParentChain == nullptr;
        bool topLevel = cur->ParentClusterNo == 0 || cur->ParentClusterNo == -1;
        if (unlinked != topLevel)
            QRT_FAIL("You must call TxFileSystem._relinkChains first! wChain=" + ChainToString(cur));
    }
    if (cur->ParentClusterNo != 0) {
        result = "?\\" + result;
    } else if (cur->ParentChain == nullptr && !ChainName(cur).empty()) {
        // A child of a root directory without chain (FAT12/16): the path starts at the root just as
        // it does below a root chain, whose name is empty.
        result = "\\" + result;
    }
    if (!result.empty() && result.back() == '\\') QRT_FAIL("WTF Result=" + result);
    return result;
}

std::string ChainToString(const TxClusterChain* aChain) {
    if (!aChain) return "[NULL]";
    std::string text;
    if (aChain->ItemCount == 1) {
        text = "[" + std::to_string(aChain->Clusters[0]) + "] ";
    } else if (aChain->ItemCount > 1) {
        text = "[ ";
        uint32_t prev = 0;
        int fragment = 0;
        int32_t count = std::min<int32_t>(aChain->ItemCount, static_cast<int32_t>(aChain->Clusters.size()));
        for (int32_t i = 0; i < count; ++i) {
            uint32_t c = aChain->Clusters[static_cast<size_t>(i)];
            if (c != prev + 1) {
                ++fragment;
                text += "\r\n  Fragment #" + std::to_string(fragment) + ":\r\n    ";
            }
            text += std::to_string(c) + ",";
            prev = c;
        }
        text.pop_back();
        text += "\r\n]";
    }
    if (gDumpDepth == 0) {
        ++gDumpDepth;
        std::string path;
        try {
            path = ChainPath(aChain);
        } catch (...) {
            --gDumpDepth;
            throw;
        }
        --gDumpDepth;
        if (!path.empty()) text = path + ": " + text;
    }
    if (aChain->ParentClusterNo != -1) text += "\r\n  Parent: " + std::to_string(aChain->ParentClusterNo);
    if (aChain->Owner) text += "\r\n  Owner: " + std::string(aChain->Owner->ClassName());
    return text;
}

void CheckChain(TxFileSystem* aFileSystem, const TxClusterChain* aChain) {
    if (!aChain) return;
    const TxClusterChain& c = *aChain;
    if (c.Length < c.ItemCount)
        QRT_FAIL("WTF? .Length: " + std::to_string(c.Length) +
                 ", .ItemCount: " + std::to_string(c.ItemCount));
    if (c.ItemCount < 0) QRT_FAIL("WTF? aChain.ItemCount=" + std::to_string(c.ItemCount));
    if (c.ItemCount == 0) return;
    // Length follows the array; a record whose fields were changed by hand must not be read past it.
    QRT_ASSERT(static_cast<size_t>(c.ItemCount) <= c.Clusters.size(), "WTF?");
    if (c.Size < -1) QRT_FAIL("WTF? Size=" + std::to_string(c.Size));
    if (c.ParentClusterNo != -1 && static_cast<uint32_t>(c.ParentClusterNo) == c.Clusters[0])
        QRT_FAIL("WTF? aChain.ParentClusterNo=" + std::to_string(c.ParentClusterNo) +
                 ", aChain.Clusters[0]=" + std::to_string(c.Clusters[0]));
    if (c.ParentChain == aChain) QRT_FAIL("WTF? aChain=" + ChainToString(aChain));
    TxFileSystem* fs = aFileSystem ? aFileSystem : ChainFileSystem(aChain);
    if (!fs) return;
    uint32_t first = fs->GetFirstClusterNo();
    for (int32_t i = 0; i < c.ItemCount; ++i) {
        uint32_t cluster = c.Clusters[static_cast<size_t>(i)];
        if (cluster < first || cluster >= fs->ClusterCount)
            QRT_FAIL("WTF? aChain.Clusters[i]=" + std::to_string(cluster));
    }
}

void CheckNonEmptyChain(TxFileSystem* aFileSystem, const TxClusterChain* aChain) {
    QRT_ASSERT(aChain != nullptr, "WTF?");
    QRT_ASSERT(aChain->ItemCount > 0, "WTF? ItemCount=" + std::to_string(aChain->ItemCount));
    CheckChain(aFileSystem, aChain);
}

TxFileSystem* ChainFileSystem(const TxClusterChain* aChain) {
    if (!aChain || !aChain->Owner) return nullptr;
    if (auto* fs = dynamic_cast<TxFileSystem*>(aChain->Owner)) return fs;
    if (auto* list = dynamic_cast<TPointerList*>(aChain->Owner))
        return dynamic_cast<TxFileSystem*>(list->Owner);
    return nullptr;
}

int32_t ClusterCountForSize(TxFileSystem* aFileSystem, int64_t aSize) {
    QRT_ASSERT(aFileSystem != nullptr, "WTF?");
    int64_t bpc = aFileSystem->GetBytesPerCluster();
    QRT_ASSERT(bpc > 0, "WTF?");
    QRT_ASSERT(aSize >= 0, "WTF?");
    return static_cast<int32_t>((aSize - 1) / bpc + 1);
}

} // namespace qrt
