// Names and trees a damaged or crafted card may hold never lead a run outside its output folder,
// never make it loop, and never stop it: long names "..", "." and names with "/" or "\", names of
// 255 UTF-16 characters, directories that point at themselves or their ancestors, lost
// directories whose ".." entries form a cycle, and lost directories nested hundreds deep.

#include "EngineTestSupport.h"
#include "FatImage.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qrt::test {
namespace {

// --- hand-made directory entries ------------------------------------------------------------------

void Put16(std::string& aBytes, size_t aAt, uint32_t aValue) {
    aBytes[aAt] = static_cast<char>(aValue & 0xFF);
    aBytes[aAt + 1] = static_cast<char>((aValue >> 8) & 0xFF);
}

std::string ShortEntry(const std::string& aName11, uint8_t aAttr, uint32_t aCluster, uint32_t aSize) {
    std::string e(32, '\0');
    e.replace(0, 11, aName11);
    e[11] = static_cast<char>(aAttr);
    Put16(e, 20, aCluster >> 16);
    Put16(e, 26, aCluster & 0xFFFF);
    Put16(e, 28, aSize & 0xFFFF);
    Put16(e, 30, aSize >> 16);
    return e;
}

uint8_t Checksum(const std::string& aShort) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i)
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(aShort[i]));
    return sum;
}

// The long-name entries of aName for the short entry aShort, in their on-disk order.
std::string LongEntries(const std::u16string& aName, const std::string& aShort) {
    static constexpr size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    size_t parts = (aName.size() + 12) / 13;
    std::string out;
    for (size_t p = parts; p-- > 0;) {
        std::string e(32, '\0');
        e[0] = static_cast<char>((p + 1) | (p + 1 == parts ? 0x40 : 0));
        e[11] = 0x0F;
        e[13] = static_cast<char>(Checksum(aShort));
        for (size_t i = 0; i < 13; ++i) {
            size_t at = p * 13 + i;
            char16_t unit = at < aName.size() ? aName[at] : at == aName.size() ? 0 : 0xFFFF;
            Put16(e, kOffsets[i], unit);
        }
        out += e;
    }
    return out;
}

// Where things are on a FAT16 volume made by mkfs.fat, from its boot sector.
struct Layout {
    uint64_t Root = 0; // byte offset of the fixed root area
    uint64_t RootBytes = 0;
    uint64_t ClusterZero = 0; // byte offset cluster 0 would have
    uint64_t ClusterBytes = 0;
    uint64_t Fat = 0; // byte offset of FAT copy 0
    uint32_t FatBytes = 0;
    uint32_t FatCount = 0;

    explicit Layout(const FatImage& aImage) {
        std::string b = aImage.ReadBytes(0, 512);
        auto u = [&](size_t at, int n) {
            uint32_t v = 0;
            for (int i = n - 1; i >= 0; --i)
                v = (v << 8) | static_cast<uint8_t>(b[at + i]);
            return v;
        };
        uint32_t bps = u(11, 2), spc = u(13, 1), reserved = u(14, 2), fatSectors = u(22, 2),
                 rootEntries = u(17, 2);
        FatCount = u(16, 1);
        Fat = uint64_t{reserved} * bps;
        FatBytes = fatSectors * bps;
        Root = Fat + uint64_t{FatCount} * FatBytes;
        RootBytes = uint64_t{rootEntries} * 32;
        ClusterBytes = uint64_t{spc} * bps;
        ClusterZero = Root + RootBytes - 2 * ClusterBytes;
    }
    uint64_t Cluster(uint32_t c) const { return ClusterZero + c * ClusterBytes; }
};

// Gives the short entries of a directory area the long names of the map (keyed by their 11-byte
// short names); the area must have room for them.
void GiveLongNames(FatImage& aImage, uint64_t aAt, uint64_t aBytes,
                   const std::map<std::string, std::u16string>& aNames) {
    std::string area = aImage.ReadBytes(aAt, static_cast<size_t>(aBytes));
    std::string rebuilt;
    for (size_t at = 0; at + 32 <= area.size() && area[at] != 0; at += 32) {
        std::string entry = area.substr(at, 32);
        auto it = aNames.find(entry.substr(0, 11));
        if (it != aNames.end()) rebuilt += LongEntries(it->second, entry);
        rebuilt += entry;
    }
    ASSERT_LE(rebuilt.size(), area.size());
    rebuilt.resize(area.size(), '\0');
    aImage.WriteBytes(aAt, rebuilt);
}

// --- what a run left ------------------------------------------------------------------------------

// Every entry below aTop: regular files and folders only (a link would be a way out), each name at
// most 255 bytes.
::testing::AssertionResult OnlyFilesAndFoldersBelow(const std::string& aTop) {
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(aTop); it != fs::recursive_directory_iterator(); ++it) {
        auto status = it->symlink_status();
        if (!fs::is_regular_file(status) && !fs::is_directory(status))
            return ::testing::AssertionFailure() << "not a file or folder: " << it->path();
        if (it->path().filename().string().size() > 255)
            return ::testing::AssertionFailure() << "name too long: " << it->path();
    }
    return ::testing::AssertionSuccess();
}

// The entries directly in a folder.
std::vector<std::string> Entries(const std::string& aFolder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(aFolder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs the engine over an image into <temp>/fence/out and checks that nothing was written beside
// the output folder (the fence holds nothing else).
std::unique_ptr<EngineRun> RecoverFenced(const TempDir& aDir, const std::string& aImage, std::string& aOut) {
    const std::string fence = aDir.File("fence");
    std::filesystem::create_directories(fence);
    aOut = fence + "/out";
    auto run = std::make_unique<EngineRun>(aImage);
    EXPECT_NE(run->Volume(), nullptr);
    run->Recover(aOut);
    EXPECT_FALSE(run->Engine.IsRecovering());
    EXPECT_EQ(Entries(fence), std::vector<std::string>{"out"});
    EXPECT_TRUE(OnlyFilesAndFoldersBelow(aOut));
    return run;
}

// What a run reported, for the message of a failed expectation.
std::string Reported(const EngineRun& aRun) {
    std::string text;
    for (const std::string& p : aRun.Problems)
        text += "\n  reported: " + p;
    return text;
}

// --- tests ----------------------------------------------------------------------------------------

// Long names that are path syntax, and names at the length limit.
TEST(PathSafety, HostileNamesStayInsideTheOutputFolder) {
    TempDir dir;
    FatImage::Options options;
    options.SectorsPerCluster = 4;
    FatImage image(dir.File("card.img"), options);
    image.Mkdir("DIR");
    const std::vector<std::pair<std::string, std::u16string>> inDir = {
        {"P1      TXT", u".."},          {"P2      TXT", u"."},
        {"P3      TXT", u"a/b"},         {"P4      TXT", u"..\\..\\..\\escape"},
        {"P5      TXT", u"/etc/passwd"}, {"P6      TXT", u"..."},
    };
    std::map<std::string, std::u16string> names;
    std::map<std::string, std::string> contents; // content -> what it was called
    for (size_t i = 0; i < inDir.size(); ++i) {
        std::string file = "P" + std::to_string(i + 1) + ".TXT";
        std::string bytes = "content of hostile name " + std::to_string(i + 1);
        image.WriteFile("DIR/" + file, bytes);
        names[inDir[i].first] = inDir[i].second;
        contents[bytes] = file;
    }
    // 255 UTF-16 characters: ASCII, two-byte UTF-8, and surrogate pairs (four bytes for two units).
    const std::vector<std::pair<std::string, std::u16string>> inRoot = {
        {"L1      TXT", std::u16string(251, u'L') + u".txt"},
        {"L2      TXT", std::u16string(251, u'\u00e9') + u".txt"},
        {"L3      TXT",
         [] {
             std::u16string s;
             for (int i = 0; i < 125; ++i)
                 s += u"\U0001F600";
             return s + u"x.txt";
         }()},
    };
    for (size_t i = 0; i < inRoot.size(); ++i) {
        std::string file = "L" + std::to_string(i + 1) + ".TXT";
        std::string bytes = "content of long name " + std::to_string(i + 1);
        image.WriteFile(file, bytes);
        names[inRoot[i].first] = inRoot[i].second;
        contents[bytes] = file;
    }
    Layout layout(image);
    GiveLongNames(image, layout.Cluster(image.FirstCluster("DIR")), layout.ClusterBytes, names);
    GiveLongNames(image, layout.Root, layout.RootBytes, names);

    std::string out;
    auto run = RecoverFenced(dir, image.Path(), out);
    auto tree = ReadTree(out);
    // Every file is saved, each once.
    for (const auto& [bytes, file] : contents) {
        auto count =
            std::count_if(tree.begin(), tree.end(), [&](const auto& e) { return e.second == bytes; });
        EXPECT_EQ(count, 1) << file << Reported(*run);
    }
    // The dot names become plain names; no component of a recovered path is "." or "..".
    EXPECT_EQ(tree["DIR/_.."], "content of hostile name 1");
    EXPECT_EQ(tree["DIR/_."], "content of hostile name 2");
    for (const auto& [path, bytes] : tree)
        for (const auto& part : std::filesystem::path(path))
            EXPECT_TRUE(part != "." && part != "..") << path;
    // A name holding "\\" makes folders; where one of them would be the file named "..", it gets
    // another name, and the file is saved (it used to fail, and the rest of DIR with it).
    EXPECT_EQ(tree["DIR/_.._/_../_../escape"], "content of hostile name 4");
    // The ASCII name of 255 characters fits as it is.
    EXPECT_EQ(tree[std::string(251, 'L') + ".txt"], "content of long name 1");
}

// A live directory that lists itself and the root as subdirectories, and lost directories that are
// each other's parents: every directory is walked once and the run ends.
TEST(PathSafety, DirectoryCyclesEnd) {
    TempDir dir;
    FatImage::Options options;
    options.SectorsPerCluster = 4;
    FatImage image(dir.File("card.img"), options);
    image.Mkdir("DIR");
    image.WriteFile("DIR/IN.TXT", "in the looping directory");
    image.WriteFile("A.TXT", "in lost A");
    image.WriteFile("B.TXT", "in lost B");
    Layout layout(image);
    const uint32_t loop = image.FirstCluster("DIR");
    const uint32_t fileA = image.FirstCluster("A.TXT"), fileB = image.FirstCluster("B.TXT");
    // DIR lists itself and the root as subdirectories.
    std::string entries = image.ReadBytes(layout.Cluster(loop), 3 * 32);
    entries += ShortEntry("SELF       ", 0x10, loop, 0) + ShortEntry("ROOT       ", 0x10, 0, 0);
    image.WriteBytes(layout.Cluster(loop), entries);
    // Two free clusters far up become directories whose ".." name each other; each lists the other
    // as a subdirectory too, and holds one of the files (whose entries in the root are removed).
    const uint32_t a = 3000, b = 3001;
    image.WriteBytes(layout.Cluster(a),
                     ShortEntry(".          ", 0x10, a, 0) + ShortEntry("..         ", 0x10, b, 0) +
                         ShortEntry("B          ", 0x10, b, 0) + ShortEntry("A       TXT", 0x20, fileA, 9));
    image.WriteBytes(layout.Cluster(b),
                     ShortEntry(".          ", 0x10, b, 0) + ShortEntry("..         ", 0x10, a, 0) +
                         ShortEntry("A          ", 0x10, a, 0) + ShortEntry("B       TXT", 0x20, fileB, 9));
    // The files' root entries (the last ones) are wiped: only the lost directories lead to them.
    std::string root = image.ReadBytes(layout.Root, static_cast<size_t>(layout.RootBytes));
    for (size_t at = 0; at + 32 <= root.size(); at += 32)
        if (root.compare(at, 11, "A       TXT") == 0 || root.compare(at, 11, "B       TXT") == 0)
            root.replace(at, 32, 32, '\0');
    image.WriteBytes(layout.Root, root);

    std::string out;
    auto run = RecoverFenced(dir, image.Path(), out);
    auto tree = ReadTree(out);
    EXPECT_EQ(tree["DIR/IN.TXT"], "in the looping directory");
    std::vector<std::string> found;
    for (const auto& [path, bytes] : tree)
        found.push_back(bytes);
    std::string listing = Reported(*run);
    for (const auto& [path, bytes] : tree)
        listing += "\n  saved: " + path + " (" + bytes.substr(0, 20) + ")";
    EXPECT_NE(std::find(found.begin(), found.end(), "in lost A"), found.end()) << listing;
    EXPECT_NE(std::find(found.begin(), found.end(), "in lost B"), found.end());
    // Each file once: a directory walked twice would save its files twice.
    EXPECT_EQ(std::count(found.begin(), found.end(), "in the looping directory"), 1);
}

// Lost directories nested 300 deep, each one's parent at a higher cluster, so that recovering the
// first means recovering its 299 ancestors before it: the run reports the nesting it cannot follow,
// saves what lies within reach, and ends.
TEST(PathSafety, DeeplyNestedLostDirectoriesFinish) {
    TempDir dir;
    FatImage::Options options;
    options.SectorsPerCluster = 1;
    FatImage image(dir.File("card.img"), options);
    image.WriteFile("DATA.TXT", "the one file");
    Layout layout(image);
    const uint32_t data = image.FirstCluster("DATA.TXT");
    std::string root = image.ReadBytes(layout.Root, 64);
    for (size_t at = 0; at < root.size(); at += 32)
        if (root.compare(at, 11, "DATA    TXT") == 0) root[at] = '\xE5';
    image.WriteBytes(layout.Root, root);
    const uint32_t first = 2000, depth = 300;
    for (uint32_t i = 0; i < depth; ++i) {
        uint32_t self = first + i, parent = i + 1 < depth ? self + 1 : 0;
        std::string d = ShortEntry(".          ", 0x10, self, 0) + ShortEntry("..         ", 0x10, parent, 0);
        if (i == depth - 1) d += ShortEntry("DATA    TXT", 0x20, data, 12); // in the outermost
        image.WriteBytes(layout.Cluster(self), d);
    }

    std::string out;
    auto run = RecoverFenced(dir, image.Path(), out);
    EXPECT_TRUE(std::any_of(run->Problems.begin(), run->Problems.end(), [](const std::string& p) {
        return p.find("Lost directories are nested deeper than 256 levels") != std::string::npos;
    }));
    auto tree = ReadTree(out);
    std::vector<std::string> found;
    for (const auto& [path, bytes] : tree)
        found.push_back(bytes);
    EXPECT_EQ(std::count(found.begin(), found.end(), "the one file"), 1);
}

} // namespace
} // namespace qrt::test
