#include "core/Assert.h"
#include "fat/FATxStream.h"
#include "fat/FileSystemFAT.h"

#include <algorithm>
#include <vector>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

namespace {

// The clusters a walk has met. Short chains are searched in place; a chain that grows long switches
// to a bitmap of the volume's clusters, so a walk costs O(length) whatever the table holds.
class TxWalkedClusters {
public:
    explicit TxWalkedClusters(uint32_t aClusterCount) : fClusterCount(aClusterCount) {}

    // True when aCluster is already in the chain; otherwise it is recorded as walked.
    bool Revisits(const TxClusterChain* aChain, uint32_t aCluster) {
        int32_t count = aChain ? aChain->ItemCount : 0;
        if (fSeen.empty()) {
            if (count <= kSearchLimit) {
                const uint32_t* begin = count ? aChain->Clusters.data() : nullptr;
                return begin && std::find(begin, begin + count, aCluster) != begin + count;
            }
            fSeen.assign(fClusterCount, false);
            for (int32_t i = 0; i < count; ++i)
                fSeen[aChain->Clusters[static_cast<size_t>(i)]] = true;
        }
        if (fSeen[aCluster]) return true;
        fSeen[aCluster] = true;
        return false;
    }

private:
    static constexpr int32_t kSearchLimit = 64;
    uint32_t fClusterCount;
    std::vector<bool> fSeen;
};

} // namespace

PxClusterChain TFileSystemFATx::GetClusterChain(uint32_t aFirstCluster, int64_t aSize) {
    QRT_ASSERT(aFirstCluster != 0, "WTF?");
    PxClusterChain chain = nullptr;
    if (aSize > 0) {
        uint32_t bytesPerCluster = GetBytesPerCluster();
        QRT_ASSERT(bytesPerCluster != 0, "WTF?");
        // The size only reserves room; no chain holds more clusters than the volume.
        NewClusterChain(chain,
                        static_cast<int32_t>(std::min<int64_t>(aSize / bytesPerCluster, ClusterCount)));
    }
    try {
        TxFATDataLock lock(GetCurrentFAT());
        TxWalkedClusters walked(ClusterCount);
        // Links below 2 (free, or the invalid 1) and from ClusterCount up (end of chain, bad cluster,
        // out of range) end the walk; so does a link back into the chain.
        for (uint32_t c = aFirstCluster; c >= 2 && c < ClusterCount; c = ReadFATEntry(lock.Data(), c)) {
            if (walked.Revisits(chain, c)) break;
            AddCluster(chain, c);
        }
    } catch (...) {
        if (chain) DisposeClusterChain(chain);
        throw;
    }
    return chain;
}

PxClusterChain TFileSystemFATx::CollectClusters(int64_t aStart, uint8_t aState,
                                                const TxClusterFilter& aFilter, int64_t aCount) {
    if (aCount == 0) return nullptr;
    PxClusterChain chain = nullptr;
    NewClusterChain(chain, 0x5000);
    try {
        TxFATDataLock lock(GetCurrentFAT());
        const uint32_t first = GetFirstClusterNo();
        if (ClusterCount <= first) return chain;
        const uint64_t range = ClusterCount - first;
        // A start outside the data clusters (-1, or one past the last cluster) begins at the first.
        const uint32_t start =
            aStart >= first && aStart < ClusterCount ? static_cast<uint32_t>(aStart) : first;
        int64_t remaining = aCount;
        uint64_t travelled = 0; // clusters from start to c, going round
        uint32_t c = start;
        for (;;) {
            uint8_t state = 0;
            ReadFATEntryState(lock.Data(), c, state);
            if (aState == 0 || state == aState) {
                int64_t position = c;
                if (!aFilter || aFilter(c, state, 0, position)) {
                    AddCluster(chain, c);
                    if (remaining > 0 && --remaining == 0) break;
                }
                if (position == -1) break;
                if (position != c) {
                    // The filter moved the scan: it may only skip ahead within the one round.
                    if (position < first || position >= ClusterCount) break;
                    uint64_t offset = (static_cast<uint64_t>(position) + range - start) % range;
                    if (offset < travelled) break;
                    travelled = offset;
                    c = static_cast<uint32_t>(position);
                }
            }
            if (++travelled >= range) break;
            c = c + 1 == ClusterCount ? first : c + 1;
        }
    } catch (...) {
        DisposeClusterChain(chain);
        throw;
    }
    return chain;
}

} // namespace qrt
