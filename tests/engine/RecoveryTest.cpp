// Whole runs of the engine over volumes written by mkfs.fat and mtools: live trees, deleted files
// and folders, a quick re-format, a wiped root directory and orphan allocation chains.

#include "EngineTestSupport.h"
#include "FatImage.h"
#include "TestUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qrt {
namespace {

using test::EngineRun;
using test::FatImage;
using test::PatternBytes;
using test::ReadTree;
using test::TempDir;
using test::TreeFile;

std::string Text(size_t aLines, const std::string& aTag) {
    std::string text;
    for (size_t i = 1; i <= aLines; ++i)
        text += "Line " + std::to_string(i) + " of " + aTag +
                ": the quick brown fox jumps over the lazy dog.\r\n";
    return text;
}

// Content that the signature database names: a JPEG or a PNG around pseudo-random bytes.
std::string Jpeg(size_t aSize, uint32_t aSeed) {
    return "\xFF\xD8\xFF\xE0" + PatternBytes(aSize - 4, aSeed);
}
std::string Png(size_t aSize, uint32_t aSeed) {
    return std::string("\x89PNG\r\n\x1A\n", 8) + PatternBytes(aSize - 8, aSeed);
}

void Write(FatImage& aImage, const std::vector<TreeFile>& aFiles) {
    std::vector<std::string> made;
    for (const TreeFile& f : aFiles) {
        for (size_t slash = f.Path.find('/'); slash != std::string::npos;
             slash = f.Path.find('/', slash + 1)) {
            std::string dir = f.Path.substr(0, slash);
            if (std::find(made.begin(), made.end(), dir) == made.end()) {
                aImage.Mkdir(dir);
                made.push_back(dir);
            }
        }
        aImage.WriteFile(f.Path, f.Bytes);
    }
}

std::map<std::string, std::string> AsMap(const std::vector<TreeFile>& aFiles) {
    std::map<std::string, std::string> m;
    for (const TreeFile& f : aFiles)
        m[f.Path] = f.Bytes;
    return m;
}

// The layout numbers of a FAT volume, read from its boot sector.
struct Geometry {
    explicit Geometry(const FatImage& aImage) {
        std::string b = aImage.ReadBytes(0, 512);
        auto u8 = [&](size_t at) { return uint32_t(uint8_t(b[at])); };
        auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        BytesPerSector = u16(11);
        SectorsPerCluster = u8(13);
        Reserved = u16(14);
        Fats = u8(16);
        RootEntries = u16(17);
        FatSectors = u16(22) ? u16(22) : u32(36);
        RootCluster = u32(44);
        RootSectors = (RootEntries * 32 + BytesPerSector - 1) / BytesPerSector;
    }
    uint64_t FatOffset(uint32_t aCopy) const {
        return uint64_t(Reserved + aCopy * FatSectors) * BytesPerSector;
    }
    uint64_t RootOffset() const { return FatOffset(Fats); }
    uint64_t ClusterOffset(uint32_t aCluster) const {
        return RootOffset() + uint64_t(RootSectors) * BytesPerSector +
               uint64_t(aCluster - 2) * ClusterBytes();
    }
    uint32_t ClusterBytes() const { return BytesPerSector * SectorsPerCluster; }

    uint32_t BytesPerSector, SectorsPerCluster, Reserved, Fats, RootEntries, FatSectors, RootCluster,
        RootSectors;
};

// --- live files -----------------------------------------------------------------------------------

struct VolumeCase {
    int FatBits;
    uint32_t SizeKiB;
    int SectorsPerCluster;
    bool Partitioned;
};

std::string CaseName(const VolumeCase& c) {
    return "FAT" + std::to_string(c.FatBits) + (c.Partitioned ? " with MBR" : " without MBR");
}

FatImage MakeImage(const std::string& aPath, const VolumeCase& c) {
    FatImage::Options o;
    o.FatBits = c.FatBits;
    o.SizeKiB = c.SizeKiB;
    o.SectorsPerCluster = c.SectorsPerCluster;
    return c.Partitioned ? FatImage::Partitioned(aPath, o) : FatImage(aPath, o);
}

const VolumeCase kVolumes[] = {
    {12, 1440, 0, false}, {12, 1440, 0, true},   {16, 16384, 4, false},
    {16, 16384, 4, true}, {32, 40000, 1, false}, {32, 40000, 1, true},
};

TEST(RecoveryTest, EveryLiveFileComesBackByteForByteAtItsPath) {
    const std::vector<TreeFile> tree = {
        {"README.TXT", Text(3, "readme")},
        {"EMPTY.TXT", ""},
        {"Été 2024.jpg", Jpeg(3000, 1)},
        {"DOCS/A.TXT", Text(40, "a")},
        {"DOCS/Long file name.txt", PatternBytes(5000, 2)},
        {"DOCS/SUB/deep.bin", PatternBytes(70000, 3)},
        {"DOCS/SUB/EXACT.BIN", PatternBytes(4096, 4)},
    };
    for (const VolumeCase& c : kVolumes) {
        SCOPED_TRACE(CaseName(c));
        TempDir dir;
        FatImage image = MakeImage(dir.File("card.img"), c);
        Write(image, tree);

        EngineRun run(image.Path());
        ASSERT_NE(run.Volume(), nullptr);
        run.Recover(dir.File("out"));
        EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
        EXPECT_TRUE(run.Boxes.empty());
        EXPECT_TRUE(test::SameTree(ReadTree(dir.File("out")), AsMap(tree)));
        EXPECT_EQ(run.Engine.fSavedFileCount, int32_t(tree.size()));
        EXPECT_EQ(run.Engine.fSavedCounts.Live, int32_t(tree.size()));
        EXPECT_FALSE(run.Engine.IsRecovering());
    }
}

// --- deleted files and folders --------------------------------------------------------------------

TEST(RecoveryTest, DeletedFilesAndFoldersComeBackUnderDeletedFilesWithTheirNames) {
    const std::vector<TreeFile> tree = {
        {"OLD.TXT", Text(30, "old")},
        {"DOCS/KEEP.TXT", Text(5, "keep")},
        {"DOCS/Report 2024.txt", Text(200, "report")},
        {"Trip/Beach Day.jpg", Jpeg(9000, 5)},
        {"Trip/NOTES.TXT", Text(12, "notes")},
    };
    for (const VolumeCase& c : {kVolumes[0], kVolumes[2], kVolumes[4], kVolumes[5]}) {
        SCOPED_TRACE(CaseName(c));
        TempDir dir;
        FatImage image = MakeImage(dir.File("card.img"), c);
        Write(image, tree);
        image.Delete("OLD.TXT");
        image.Delete("DOCS/Report 2024.txt");
        image.DeleteTree("Trip");

        EngineRun run(image.Path());
        run.Recover(dir.File("out"));
        EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
        // A deleted entry without a long name shows "@" for its lost first character; with a long
        // name the first character comes back from it.
        std::map<std::string, std::string> expected = {
            {"DOCS/KEEP.TXT", tree[1].Bytes},
            {"~DeletedFiles/@LD.TXT", tree[0].Bytes},
            {"~DeletedFiles/DOCS/Report 2024.txt", tree[2].Bytes},
            {"~DeletedFiles/Trip/Beach Day.jpg", tree[3].Bytes},
            {"~DeletedFiles/Trip/@OTES.TXT", tree[4].Bytes},
        };
        EXPECT_TRUE(test::SameTree(ReadTree(dir.File("out")), expected));
        EXPECT_EQ(run.Engine.fSavedCounts.Live, 1);
        EXPECT_EQ(run.Engine.fSavedCounts.Deleted, 4);
    }
}

// --- lost directories and orphan chains -----------------------------------------------------------

// Checks that every file of aTree below a top folder came back inside one lost directory
// "~LostFiles/~#N/" (one N per top folder), with its path below the top folder and its bytes.
void ExpectInLostDirectories(const std::map<std::string, std::string>& aOut,
                             const std::vector<TreeFile>& aTree) {
    std::map<std::string, std::string> lostDirOfTop;
    for (const TreeFile& f : aTree) {
        size_t slash = f.Path.find('/');
        if (slash == std::string::npos) continue;
        std::string top = f.Path.substr(0, slash);
        std::string rest = f.Path.substr(slash + 1);
        std::string found;
        for (const auto& [path, bytes] : aOut) {
            std::string lostDir, lostRest;
            if (test::SplitLostDirectoryPath(path, lostDir, lostRest) && lostRest == rest && bytes == f.Bytes)
                found = lostDir;
        }
        EXPECT_FALSE(found.empty()) << f.Path << " not found in a lost directory";
        if (found.empty()) continue;
        auto [it, inserted] = lostDirOfTop.emplace(top, found);
        EXPECT_EQ(it->second, found) << "files of " << top << " went to different lost directories";
    }
}

TEST(RecoveryTest, AfterAQuickReformatSubdirectoriesComeBackFromLostDirectories) {
    const std::vector<TreeFile> tree = {
        {"DOCS/A.TXT", Text(40, "a")},
        {"DOCS/SUB/B.BIN", PatternBytes(9000, 6)},
        {"DOCS/SUB/Long Name Inside.txt", Text(70, "inside")},
        {"PICS/Holiday Photo.jpg", Jpeg(12000, 7)},
    };
    for (const VolumeCase& c : {kVolumes[2], kVolumes[4]}) {
        SCOPED_TRACE(CaseName(c));
        TempDir dir;
        FatImage image = MakeImage(dir.File("card.img"), c);
        Write(image, tree);
        // mkfs.fat over the existing image with the same geometry: a new, empty FAT and root.
        test::MustRun("mkfs.fat -F " + std::to_string(c.FatBits) + " -s " +
                      std::to_string(c.SectorsPerCluster) + " " + test::ShellQuote(image.Path()) +
                      " > /dev/null");

        EngineRun run(image.Path());
        run.Recover(dir.File("out"));
        EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
        auto out = ReadTree(dir.File("out"));
        ExpectInLostDirectories(out, tree);
        EXPECT_EQ(out.size(), tree.size());
    }
}

TEST(RecoveryTest, WithTheRootWipedRootFilesComeBackByContentAndFoldersAsLostDirectories) {
    const std::vector<TreeFile> tree = {
        {"PHOTO.JPG", Jpeg(5000, 8)},
        {"Scan of a letter.png", Png(7000, 9)},
        {"DOCS/A.TXT", Text(40, "a")},
        {"DOCS/SUB/B.BIN", PatternBytes(9000, 10)},
    };
    for (const VolumeCase& c : {kVolumes[2], kVolumes[4]}) {
        SCOPED_TRACE(CaseName(c));
        TempDir dir;
        FatImage image = MakeImage(dir.File("card.img"), c);
        Write(image, tree);
        Geometry g(image);
        if (c.FatBits == 32)
            image.WriteBytes(g.ClusterOffset(g.RootCluster), std::string(g.ClusterBytes(), '\0'));
        else
            image.WriteBytes(g.RootOffset(), std::string(g.RootEntries * 32, '\0'));

        EngineRun run(image.Path());
        run.Recover(dir.File("out"));
        EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
        auto out = ReadTree(dir.File("out"));
        ExpectInLostDirectories(out, tree);
        // The root's files: one chain each, named by content, holding the file and its cluster's
        // slack. No cluster starts a second chain.
        std::map<std::string, std::string> unknown;
        for (const auto& [path, bytes] : out)
            if (path.rfind("~LostFiles/UnknownFile", 0) == 0) unknown[path.substr(path.find('.'))] = bytes;
        ASSERT_EQ(unknown.size(), 2u);
        for (const auto& [ext, original] :
             {std::pair{std::string(".jpg"), tree[0].Bytes}, {".png", tree[1].Bytes}}) {
            ASSERT_TRUE(unknown.count(ext)) << ext;
            const std::string& bytes = unknown[ext];
            EXPECT_EQ(bytes.size() % g.ClusterBytes(), 0u);
            EXPECT_EQ(bytes.size() / g.ClusterBytes(),
                      (original.size() + g.ClusterBytes() - 1) / g.ClusterBytes());
            EXPECT_TRUE(test::SameBytes(bytes.substr(0, original.size()), original));
        }
        EXPECT_EQ(run.Engine.fSavedCounts.Lost, int32_t(out.size()));
    }
}

TEST(RecoveryTest, AnOrphanChainThatRunsBackwardsIsAssembledOnce) {
    TempDir dir;
    FatImage::Options o;
    o.FatBits = 16;
    o.SectorsPerCluster = 4;
    FatImage image(dir.File("card.img"), o);
    Geometry g(image);
    const std::string photo = Jpeg(3 * g.ClusterBytes(), 11);
    const std::string small = Png(300, 12);
    image.WriteFile("PHOTO.JPG", photo);
    image.WriteFile("SMALL.PNG", small);
    // Move the photo's three clusters to 60, 40 and 80 clusters beyond its start, linked in that
    // order, so the chain's second cluster comes first in the scan and its head last but one.
    uint32_t first = 0;
    {
        std::string root = image.ReadBytes(g.RootOffset(), 32);
        first = uint8_t(root[26]) | uint32_t(uint8_t(root[27])) << 8;
    }
    const uint32_t moved[3] = {first + 60, first + 40, first + 80};
    for (uint32_t k = 0; k < 3; ++k) {
        image.WriteBytes(g.ClusterOffset(moved[k]), photo.substr(k * g.ClusterBytes(), g.ClusterBytes()));
        image.WriteBytes(g.ClusterOffset(first + k), std::string(g.ClusterBytes(), '\0'));
    }
    auto entry = [](uint32_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    for (uint32_t copy = 0; copy < g.Fats; ++copy) {
        for (uint32_t k = 0; k < 3; ++k)
            image.WriteBytes(g.FatOffset(copy) + 2 * (first + k), entry(0));
        image.WriteBytes(g.FatOffset(copy) + 2 * moved[0], entry(moved[1]));
        image.WriteBytes(g.FatOffset(copy) + 2 * moved[1], entry(moved[2]));
        image.WriteBytes(g.FatOffset(copy) + 2 * moved[2], entry(0xFFFF));
    }
    image.WriteBytes(g.RootOffset(), std::string(g.RootEntries * 32, '\0'));

    EngineRun run(image.Path());
    run.Recover(dir.File("out"));
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
    auto out = ReadTree(dir.File("out"));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(test::SameBytes(out["~LostFiles/UnknownFile0.png"].substr(0, small.size()), small));
    EXPECT_TRUE(test::SameBytes(out["~LostFiles/UnknownFile1.jpg"], photo));
}

TEST(RecoveryTest, SizesAreUnsigned32BitSoFilesOf3GiBComeBackWhole) {
    TempDir dir;
    FatImage image = MakeImage(dir.File("card.img"), kVolumes[4]);
    Geometry g(image);
    const std::string head = PatternBytes(8192, 13), gone = PatternBytes(4096, 14);
    image.WriteFile("BIG.BIN", head);
    image.WriteFile("GONE.BIN", gone);
    image.Delete("GONE.BIN");
    // Both entries claim 3 GiB (0xC0000000 bytes): more than a signed 32-bit size can hold.
    std::string root = image.ReadBytes(g.ClusterOffset(g.RootCluster), g.ClusterBytes());
    for (const char* name : {"BIG     BIN", "\xE5ONE    BIN"}) {
        size_t at = root.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        image.WriteBytes(g.ClusterOffset(g.RootCluster) + at + 28, std::string("\0\0\0\xC0", 4));
    }

    EngineRun run(image.Path());
    run.Recover(dir.File("out"));
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
    const uint64_t size = 0xC0000000ull;
    for (const auto& [path, start] :
         {std::pair{std::string("out/BIG.BIN"), head}, {"out/~DeletedFiles/@ONE.BIN", gone}}) {
        EXPECT_EQ(test::FileSize(dir.File(path)), size) << path;
        std::string bytes(start.size(), '\0');
        FILE* f = std::fopen(dir.File(path).c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        EXPECT_TRUE(test::SameBytes(bytes, start)) << path;
    }
}

} // namespace
} // namespace qrt
