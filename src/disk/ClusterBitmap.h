#pragma once

#include "core/TObject.h"
#include "disk/ClusterChain.h"

#include <cstdint>
#include <vector>

namespace qrt {

// Two bits of state (0..3) per cluster, four clusters to a byte, with a count of the clusters whose
// state is not 0. The file system marks directory clusters 1 and file clusters 2 when it scans; the
// recovery engine keeps a bitmap of its own with its own meanings.
class TxClusterBitmap : public TObject {
public:
    QRT_CLASSNAME(TxClusterBitmap)

    explicit TxClusterBitmap(uint32_t aCount);

    virtual void Clear();
    // Sets every used cluster of the chain to aState (nothing for a nil or empty chain).
    virtual void MarkChain(const TxClusterChain* aChain, uint8_t aState);
    // The first cluster with aState, from aStart on and wrapping round once; -1 when none.
    virtual int64_t FindNext(uint32_t aStart, uint8_t aState);
    // The same search for the first cluster whose state differs from aState.
    virtual int64_t FindNextOther(uint32_t aStart, uint8_t aState);

    uint8_t GetState(uint32_t aCluster) const;
    // Cluster 0 is never set; aCluster below fCount, aState at most 3.
    void SetState(uint32_t aCluster, uint8_t aState);

    uint32_t fCount;
    int32_t fUsedCount = 0;
    std::vector<uint8_t> fBits;

private:
    template <typename TMatch> int64_t Search(uint32_t aStart, TMatch aMatch) const;
};

} // namespace qrt
