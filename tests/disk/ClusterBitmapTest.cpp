#include "TestFileSystem.h"
#include "TestUtil.h"

#include "disk/ClusterBitmap.h"

#include <gtest/gtest.h>

namespace qrt {
namespace {

TEST(ClusterBitmapTest, StatesAndUsedCount) {
    TxClusterBitmap bitmap(10);
    EXPECT_EQ(bitmap.fBits.size(), 3u);
    EXPECT_EQ(bitmap.fUsedCount, 0);

    // Neighbours in one byte keep their states.
    bitmap.SetState(4, 1);
    bitmap.SetState(5, 2);
    bitmap.SetState(6, 3);
    bitmap.SetState(7, 1);
    EXPECT_EQ(bitmap.GetState(4), 1);
    EXPECT_EQ(bitmap.GetState(5), 2);
    EXPECT_EQ(bitmap.GetState(6), 3);
    EXPECT_EQ(bitmap.GetState(7), 1);
    EXPECT_EQ(bitmap.fUsedCount, 4);

    bitmap.SetState(5, 1); // 2 -> 1 keeps the count
    EXPECT_EQ(bitmap.GetState(5), 1);
    EXPECT_EQ(bitmap.fUsedCount, 4);
    bitmap.SetState(5, 0); // 1 -> 0 lowers it
    EXPECT_EQ(bitmap.fUsedCount, 3);
    bitmap.SetState(9, 0); // 0 -> 0 changes nothing
    EXPECT_EQ(bitmap.fUsedCount, 3);

    EXPECT_ASSERTION(bitmap.SetState(0, 1), "WTF?");
    EXPECT_ASSERTION(bitmap.SetState(10, 1), "WTF?");
    EXPECT_ASSERTION(bitmap.SetState(3, 4), "WTF?");
    EXPECT_ASSERTION(bitmap.GetState(10), "WTF?");
    EXPECT_ASSERTION(TxClusterBitmap(0), "WTF?");

    bitmap.Clear();
    EXPECT_EQ(bitmap.fUsedCount, 0);
    EXPECT_EQ(bitmap.GetState(6), 0);
}

TEST(ClusterBitmapTest, MarkChainAndSearch) {
    TxClusterBitmap bitmap(16);
    PxClusterChain chain = test::MakeChain({3, 4, 9});
    bitmap.MarkChain(chain, 2);
    bitmap.MarkChain(nullptr, 2);
    DisposeClusterChain(chain);
    EXPECT_EQ(bitmap.fUsedCount, 3);
    EXPECT_EQ(bitmap.GetState(9), 2);

    EXPECT_EQ(bitmap.FindNext(3, 2), 3); // the start itself
    EXPECT_EQ(bitmap.FindNext(5, 2), 9);
    EXPECT_EQ(bitmap.FindNext(10, 2), 3); // wraps past the last cluster
    EXPECT_EQ(bitmap.FindNext(15, 0), 15);
    bitmap.SetState(15, 1);
    EXPECT_EQ(bitmap.FindNext(15, 0), 0); // from the last cluster to cluster 0
    EXPECT_EQ(bitmap.FindNext(4, 3), -1);
    EXPECT_EQ(bitmap.FindNextOther(0, 0), 3);
    EXPECT_EQ(bitmap.FindNextOther(3, 2), 5);
    EXPECT_EQ(bitmap.FindNextOther(10, 0), 15);

    TxClusterBitmap one(1);
    EXPECT_EQ(one.FindNext(0, 0), 0);
    EXPECT_EQ(one.FindNext(0, 1), -1);
}

} // namespace
} // namespace qrt
