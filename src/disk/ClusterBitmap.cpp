#include "disk/ClusterBitmap.h"

#include "core/Assert.h"

#include <algorithm>

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

TxClusterBitmap::TxClusterBitmap(uint32_t aCount) : fCount(aCount) {
    QRT_ASSERT(aCount != 0, "WTF?");
    fBits.resize((static_cast<size_t>(aCount) + 3) / 4);
    Clear();
}

void TxClusterBitmap::Clear() {
    std::fill(fBits.begin(), fBits.end(), uint8_t{0});
    fUsedCount = 0;
}

uint8_t TxClusterBitmap::GetState(uint32_t aCluster) const {
    QRT_ASSERT(aCluster < fCount, "WTF?");
    return static_cast<uint8_t>((fBits[aCluster / 4] >> (2 * (aCluster % 4))) & 3);
}

void TxClusterBitmap::SetState(uint32_t aCluster, uint8_t aState) {
    QRT_ASSERT(aState <= 3, "WTF?");
    QRT_ASSERT(aCluster != 0, "WTF?");
    QRT_ASSERT(aCluster < fCount, "WTF?");
    uint8_t old = GetState(aCluster);
    unsigned shift = 2 * (aCluster % 4);
    uint8_t& byte = fBits[aCluster / 4];
    byte = static_cast<uint8_t>((byte & ~(3u << shift)) | (static_cast<unsigned>(aState) << shift));
    if (old == 0 && aState != 0) ++fUsedCount;
    if (old != 0 && aState == 0) --fUsedCount;
}

void TxClusterBitmap::MarkChain(const TxClusterChain* aChain, uint8_t aState) {
    if (ChainLength(aChain) <= 0) return;
    for (int32_t i = 0; i < aChain->ItemCount; ++i)
        SetState(aChain->Clusters[static_cast<size_t>(i)], aState);
}

template <typename TMatch> int64_t TxClusterBitmap::Search(uint32_t aStart, TMatch aMatch) const {
    if (aMatch(GetState(aStart))) return aStart;
    for (uint32_t c = aStart + 1 == fCount ? 0 : aStart + 1; c != aStart; c = c + 1 == fCount ? 0 : c + 1)
        if (aMatch(GetState(c))) return c;
    return -1;
}

int64_t TxClusterBitmap::FindNext(uint32_t aStart, uint8_t aState) {
    return Search(aStart, [aState](uint8_t s) { return s == aState; });
}

int64_t TxClusterBitmap::FindNextOther(uint32_t aStart, uint8_t aState) {
    return Search(aStart, [aState](uint8_t s) { return s != aState; });
}

} // namespace qrt
