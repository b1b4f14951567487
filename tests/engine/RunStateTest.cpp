// The engine's small routines: elapsed time, percentages, the log appender, safe host paths and
// parent links.

#include "TestUtil.h"

#include "disk/ClusterBitmap.h"
#include "disk/ClusterChain.h"
#include "engine/HostPath.h"
#include "engine/dmMain.h"

#include <cstdint>
#include <string>

namespace qrt {
namespace {

using test::AssertionText;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(RunStateTest, FormatElapsedReadsHoursMinutesSecondsHundredths) {
    struct Case {
        uint32_t Ms;
        const char* Text;
    } cases[] = {
        {0, ""},
        {1, "0:00:00.00"},
        {999, "0:00:00.99"},
        {187250, "0:03:07.25"},
        {3600000, "1:00:00.00"},
        {100u * 3600000u + 59u * 60000u + 1010u, "100:59:01.01"},
        {UINT32_MAX, "1193:02:47.29"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatElapsed(c.Ms), c.Text) << c.Ms;
}

TEST(RunStateTest, ElapsedTicksSurviveTheWrapOfTheTick) {
    EXPECT_EQ(ElapsedTicks(100, 250), 150u);
    EXPECT_EQ(ElapsedTicks(7, 7), 0u);
    // Across the wrap: the distance to the largest value plus the later tick.
    EXPECT_EQ(ElapsedTicks(4294967200u, 50), 4294967295u - 4294967200u + 50u);
}

TEST(RunStateTest, BitmapPercentIsTruncatedAndFitsHugeVolumes) {
    EXPECT_EQ(BitmapPercent(nullptr), -1);
    TxClusterBitmap small(7);
    EXPECT_EQ(BitmapPercent(&small), 0);
    small.SetState(1, cbNamedChain);
    small.SetState(2, cbBadArea);
    EXPECT_EQ(BitmapPercent(&small), 28); // 2 * 100 / 7
    // Hundreds of millions of clusters: the product is formed in 64 bits.
    TxClusterBitmap huge(300000000);
    huge.fUsedCount = 299999999;
    EXPECT_EQ(BitmapPercent(&huge), 99);
    huge.fUsedCount = 300000000;
    EXPECT_EQ(BitmapPercent(&huge), 100);
}

TEST(RunStateTest, AppendLineToFileCreatesThenAppendsWithCrLf) {
    TempDir dir;
    std::string log = dir.File("log.txt");
    AppendLineToFile(log, "first");
    AppendLineToFile(log, "");
    AppendLineToFile(log, "third\r\n");
    EXPECT_EQ(ReadFileBytes(log), "first\r\n\r\nthird\r\n\r\n");
    EXPECT_THROW(AppendLineToFile(dir.File("missing/log.txt"), "x"), Exception);
}

TEST(HostPathTest, EveryComponentBecomesASafeName) {
    struct Case {
        const char* Volume;
        const char* Host;
    } cases[] = {
        {"DOCS\\A.TXT", "DOCS/A.TXT"},
        {"~LostFiles\\~#1234\\photo.jpg", "~LostFiles/~#1234/photo.jpg"},
        {"..\\..\\etc\\passwd", "_../_../etc/passwd"},
        {"~DeletedFiles\\.\\x", "~DeletedFiles/_./x"},
        {"a\\\\b", "a/_/b"},
        {"dir\\name/with/slashes", "dir/name_with_slashes"},
        {"trailing\\", "trailing/_"},
        {"..", "_.."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VolumeToHostPath(c.Volume), c.Host) << c.Volume;
    EXPECT_EQ(SafeHostName(std::string("nul\0inside", 10)), "nul_inside");
}

TEST(HostPathTest, OverlongNamesAreCutBeforeTheExtensionOnACharacterBoundary) {
    std::string name;
    for (int i = 0; i < 100; ++i)
        name += "\xC3\xA9"; // é, two bytes
    name += "x.jpeg";
    std::string safe = SafeHostName(name + name);
    EXPECT_LE(safe.size(), kMaxHostNameBytes);
    EXPECT_EQ(safe.substr(safe.size() - 5), ".jpeg");
    // No UTF-8 character is cut: the byte before the extension ends a character.
    std::string base = safe.substr(0, safe.size() - 5);
    EXPECT_EQ(base.size() % 2, 0u);
    EXPECT_EQ(base.substr(base.size() - 2), "\xC3\xA9");
}

// A chain of one cluster, owned by nobody.
struct Chain {
    explicit Chain(uint32_t aCluster) { AddCluster(ptr, aCluster); }
    ~Chain() { DisposeClusterChain(ptr); }
    PxClusterChain ptr = nullptr;
};

TEST(LinkToParentTest, RecordsTheParentOnceAndRefusesAnother) {
    Chain parent(10), other(20), child(30);
    LinkToParent(child.ptr, nullptr);
    EXPECT_EQ(child.ptr->ParentChain, nullptr);
    EXPECT_EQ(child.ptr->ParentClusterNo, -1);

    LinkToParent(child.ptr, parent.ptr);
    EXPECT_EQ(child.ptr->ParentChain, parent.ptr);
    EXPECT_EQ(child.ptr->ParentClusterNo, 10);
    LinkToParent(child.ptr, parent.ptr); // the same parent again changes nothing

    parent.ptr->Name = "DOCS";
    parent.ptr->ParentClusterNo = 0;
    EXPECT_ASSERTION(LinkToParent(child.ptr, other.ptr),
                     "WTF? Parent:\"\\DOCS\", ClusterChain.ParentClusterNo: 10, aParent.Clusters[0]: 20");

    Chain orphan(40);
    orphan.ptr->ParentClusterNo = 77;
    EXPECT_ASSERTION(LinkToParent(orphan.ptr, other.ptr),
                     "WTF? ClusterChain.ParentClusterNo=77, _clusterFirst(aParent)=20");
}

TEST(RunStateTest, DefaultOutputFolderLiesBelowHomeAndHoldsNoUnsafeCharacter) {
    std::string name = DateFolderName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find_first_of("\"*/:<>?\\|"), std::string::npos) << name;
    std::string folder = DefaultOutputFolder();
    EXPECT_NE(folder.find("/QRTWizard/Recovered/" + name + "/"), std::string::npos) << folder;
}

} // namespace
} // namespace qrt
