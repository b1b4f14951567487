#include "FatImage.h"
#include "FatTestSupport.h"
#include "TestUtil.h"

#include "fat/DirectoryFAT.h"
#include "platform/TextConv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;

// --- hand-made entries ----------------------------------------------------------------------------

std::string ShortEntry(const std::string& aName11, uint8_t aAttr = 0x20, uint32_t aCluster = 0,
                       uint32_t aSize = 0, uint8_t aCaseFlags = 0) {
    std::string e(32, '\0');
    e.replace(0, 11, aName11);
    e[11] = static_cast<char>(aAttr);
    e[12] = static_cast<char>(aCaseFlags);
    auto put16 = [&](size_t at, uint32_t v) {
        e[at] = static_cast<char>(v & 0xFF);
        e[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    put16(20, aCluster >> 16);
    put16(26, aCluster & 0xFFFF);
    put16(28, aSize & 0xFFFF);
    put16(30, aSize >> 16);
    return e;
}

uint8_t Checksum(const std::string& aEntry) {
    TFATDirEntry e{};
    for (size_t i = 0; i < 11; ++i)
        e[i] = static_cast<uint8_t>(aEntry[i]);
    return ShortNameChecksum(e);
}

// The long-name entries of aName for a short entry with aChecksum, in on-disk order (last part
// first); aFirstByte replaces every ordinal when set (0xE5 for a deleted name).
std::string LongEntries(const std::u16string& aName, uint8_t aChecksum, int aFirstByte = -1) {
    static constexpr size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    size_t parts = (aName.size() + 12) / 13;
    std::string out;
    for (size_t p = parts; p-- > 0;) {
        std::string e(32, '\0');
        e[0] = static_cast<char>(aFirstByte >= 0 ? aFirstByte : (p + 1) | (p + 1 == parts ? 0x40 : 0));
        e[11] = 0x0F;
        e[13] = static_cast<char>(aChecksum);
        for (size_t i = 0; i < 13; ++i) {
            size_t at = p * 13 + i;
            char16_t unit = at < aName.size() ? aName[at] : at == aName.size() ? 0 : 0xFFFF;
            e[kOffsets[i]] = static_cast<char>(unit & 0xFF);
            e[kOffsets[i] + 1] = static_cast<char>(unit >> 8);
        }
        out += e;
    }
    return out;
}

std::string Named(const std::u16string& aLong, const std::string& aName11) {
    std::string entry = ShortEntry(aName11);
    return LongEntries(aLong, Checksum(entry)) + entry;
}

struct Entry {
    std::string Name;
    std::string Alternate;
    bool Deleted;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << "{" << e.Name << ", " << e.Alternate << ", " << e.Deleted << "}";
}

// A FAT16 volume whose root area the tests fill with hand-made entries.
class DirectoryFATTest : public ::testing::Test {
protected:
    void SetUp() override {
        image = std::make_unique<FatImage>(tmp.File("v.img"), test::VolumeOptions(16, 16384, 2, ""));
        Open();
    }

    void Open() {
        disk.reset();
        disk = test::OpenImage(image->Path());
        fs = test::AttachFileSystem(disk.get(), 16);
        ASSERT_TRUE(fs->Mount());
    }

    // Writes the entries at the start of the root area and opens a reader on the area.
    std::unique_ptr<TDirectoryFATx> Root(const std::string& aEntries) {
        uint64_t at = uint64_t(fs->fRootAddress.Number) * 512;
        image->WriteBytes(at, std::string(size_t(fs->fRootDirSectors) * 512, '\0'));
        image->WriteBytes(at, aEntries);
        auto dir = std::make_unique<TDirectoryFATx>(disk.get());
        dir->OpenAddress(fs->fRootAddress, int64_t{fs->fRootDirSectors} * 512);
        return dir;
    }

    std::vector<Entry> Read(TxDirectoryAccessor* aDir, uint8_t aFlags = sfLive | sfDeleted) {
        std::vector<Entry> entries;
        TxSearchRec rec;
        for (int32_t r = aDir->FindFirst("*.*", faAnyFile, aFlags, rec); r == kFindOk;
             r = aDir->FindNext(rec)) {
            EXPECT_EQ(rec.Name, rec.FindData.cFileName);
            entries.push_back({rec.Name, rec.FindData.cAlternateFileName, SearchIsDeleted(rec)});
        }
        aDir->FindClose(rec);
        return entries;
    }

    test::TempDir tmp;
    std::unique_ptr<FatImage> image;
    std::unique_ptr<TxDiskAccessor> disk;
    TFileSystemFATx* fs = nullptr;
};

TEST_F(DirectoryFATTest, EndMarkerFirstAndSingleEntry) {
    auto empty = Root("");
    empty->LoadEntries(0);
    EXPECT_EQ(empty->MaxEntryIndex, -1);
    TxSearchRec rec;
    EXPECT_EQ(empty->FindFirst("*.*", faAnyFile, sfLive, rec), kNoMoreFiles);

    auto one = Root(ShortEntry("ONE     TXT", 0x20, 7, 10));
    one->LoadEntries(0);
    EXPECT_EQ(one->MaxEntryIndex, 0);
    EXPECT_EQ(one->fEntryCount, 1);
    rec.FindHandle = std::make_unique<TxSearchState>();
    EXPECT_EQ(one->ReadEntry(0, rec), -1);
    EXPECT_EQ(rec.Name, "ONE.TXT");
    EXPECT_EQ(rec.Size, 10);
    EXPECT_EQ(SearchFirstCluster(rec), 7u);
    EXPECT_ASSERTION(one->ReadEntry(3, rec), "WTF? aRawIndex=3, MaxEntryIndex=0 @ 0");
    TFATDirEntry raw;
    EXPECT_ASSERTION(one->GetRawEntry(one->fLastRawIndex + 1, raw), "WTF?");
}

TEST_F(DirectoryFATTest, LongNamesAndTheirChecksum) {
    std::string entries = Named(u"Photo.jpg", "PHOTO   JPG") +
                          // a long name whose checksum names another short entry is lost
                          LongEntries(u"Elsewhere.txt", 0x55) + ShortEntry("OTHER   TXT") +
                          // 27 characters over three entries, a surrogate pair across the first boundary
                          Named(u"abcdefghijkl\U0001F600xyz_long_name.x", "ABCDEF~1X  ") +
                          // an incomplete run before a live entry belongs to it only by accident
                          LongEntries(u"abcdefghijklmnopq", 0).substr(32) + ShortEntry("PART    TXT");
    auto dir = Root(entries);
    EXPECT_EQ(Read(dir.get()), (std::vector<Entry>{
                                   {"Photo.jpg", "PHOTO.JPG", false},
                                   {"OTHER.TXT", "", false},
                                   {"abcdefghijkl\xf0\x9f\x98\x80xyz_long_name.x", "ABCDEF~1.X", false},
                                   {"PART.TXT", "", false},
                               }));
    dir->LoadEntries(0);
    // A long name and its short entry count once; a part without the run's first entry counts alone.
    EXPECT_EQ(dir->fEntryCount, 5);
}

TEST_F(DirectoryFATTest, DeletedEntriesRestoreTheirFirstCharacter) {
    auto deleted = [](std::string aShort) {
        aShort[0] = static_cast<char>(0xE5);
        return aShort;
    };
    std::string photo = ShortEntry("PHOTO   JPG");
    std::string mine = ShortEntry("MYPHOTO JPG");
    std::string entries = LongEntries(u"Photo.jpg", Checksum(photo), 0xE5) + deleted(photo) +
                          // the upper-case form of a lower-case first letter confirms the checksum
                          LongEntries(u"myPhoto.jpg", Checksum(mine), 0xE5) + deleted(mine) +
                          // a long name that does not fit the short entry is dropped: "@"
                          LongEntries(u"Xhoto.jpg", Checksum(photo), 0xE5) + deleted(photo) +
                          deleted(ShortEntry("GONE    TXT")) + ShortEntry("LIVE    TXT");
    auto dir = Root(entries);
    EXPECT_EQ(Read(dir.get()), (std::vector<Entry>{
                                   {"Photo.jpg", "PHOTO.JPG", true},
                                   {"myPhoto.jpg", "MYPHOTO.JPG", true},
                                   {"@HOTO.JPG", "", true},
                                   {"@ONE.TXT", "", true},
                                   {"LIVE.TXT", "", false},
                               }));
    EXPECT_EQ(Read(dir.get(), sfLive), (std::vector<Entry>{{"LIVE.TXT", "", false}}));
}

TEST_F(DirectoryFATTest, ShortNamesAsTheyShow) {
    std::string entries = ShortEntry(".          ", 0x10, 5) + ShortEntry("..         ", 0x10, 0) +
                          ShortEntry(".X         ", 0x10, 0) +          // skipped: no dot entry
                          ShortEntry("README  TXT", 0x20, 0, 0, 0x18) + // case flags
                          ShortEntry("\x05"
                                     "BC     TXT") +  // the name starts with 0xE5
                          ShortEntry("Lower   TXT") + // skipped: lower case
                          ShortEntry("A+B     TXT") + // skipped: not a short-name character
                          ShortEntry("           ") + // skipped: a blank name
                          ShortEntry("X#Y     TXT") +
                          ShortEntry("M\x9aLLER  TXT") + ShortEntry("DOCS       ", 0x10, 9) +
                          ShortEntry("LABEL      ", 0x08);
    auto dir = Root(entries);
    EXPECT_EQ(Read(dir.get()), (std::vector<Entry>{
                                   {".", "", false},
                                   {"..", "", false},
                                   {"readme.txt", "", false},
                                   {"\xc3\x95"
                                    "BC.TXT",
                                    "", false},
                                   {"X#Y.TXT", "", false},
                                   {"M\xc3\x9cLLER.TXT", "", false},
                                   {"DOCS", "", false},
                                   {"LABEL", "", false},
                               }));
}

TEST_F(DirectoryFATTest, RecordFields) {
    std::string e = ShortEntry("BIG     BIN", 0x21, 0x12345, 0xC0000000u);
    auto put16 = [&](size_t at, uint16_t v) {
        e[at] = static_cast<char>(v & 0xFF);
        e[at + 1] = static_cast<char>(v >> 8);
    };
    const uint16_t date = (41 << 9) | (6 << 5) | 15,
                   time = (13 << 11) | (45 << 5) | 15; // 2021-06-15 13:45:30
    put16(24, date);
    put16(22, time);
    put16(16, date);
    put16(14, time);
    put16(18, date);
    auto dir = Root(e);
    TxSearchRec rec;
    ASSERT_EQ(dir->FindFirst("*.*", faAnyFile, sfLive, rec), kFindOk);
    EXPECT_EQ(rec.Size, int64_t{3} << 30); // 3 GiB keeps its size
    EXPECT_EQ(rec.FindData.nFileSizeLow, 0xC0000000u);
    EXPECT_EQ(rec.FindData.nFileSizeHigh, 0u);
    EXPECT_EQ(rec.Attr, 0x21);
    EXPECT_EQ(rec.FindData.dwFileAttributes, 0x21u);
    EXPECT_EQ(SearchFirstCluster(rec), 0x12345u); // the high word counts on every type
    EXPECT_EQ(rec.FindData.ftLastWriteTime, DosDateTimeToFileTime(date, time));
    EXPECT_EQ(rec.FindData.ftCreationTime, rec.FindData.ftLastWriteTime);
    EXPECT_EQ(rec.FindData.ftLastAccessTime, DosDateTimeToFileTime(date, 0));
    EXPECT_EQ(static_cast<uint32_t>(rec.Time), (uint32_t{date} << 16) | time);
    dir->FindClose(rec);
}

TEST_F(DirectoryFATTest, CutRunsAndOrphans) {
    // A long name cut by the end marker, and one that ends the area.
    auto cut = Root(ShortEntry("FIRST   TXT") + LongEntries(u"Dangling.txt", 1));
    EXPECT_EQ(Read(cut.get()), (std::vector<Entry>{{"FIRST.TXT", "", false}}));
    EXPECT_EQ(cut->MaxEntryIndex, 1);

    std::string full;
    size_t slots = size_t(fs->fRootDirSectors) * 512 / 32;
    for (size_t i = 0; i + 1 < slots; ++i)
        full += ShortEntry("F" + std::string(7 - std::to_string(i).size(), 'X') + std::to_string(i) + "TXT");
    full += LongEntries(u"x", 7); // the last slot: a run that never meets its entry
    auto area = Root(full);
    EXPECT_EQ(Read(area.get()).size(), slots - 1);
    EXPECT_EQ(area->MaxEntryIndex, static_cast<int32_t>(slots) - 1);
}

// --- names the tools write ---------------------------------------------------------------------------

TEST_F(DirectoryFATTest, NamesWrittenByMtools) {
    image->WriteFile("Photo.jpg", "p");
    image->WriteFile("readme.txt", "r");
    image->WriteFile("M\xc3\xbcller.txt", "m");
    image->WriteFile("\xce\xa9mega.txt", "o");
    image->WriteFile("a b.txt", "a");
    image->WriteFile("UPPER.TXT", "u");
    image->WriteFile("A Long File Name With Many Parts.text", "l");
    image->WriteFile("Gone file.txt", "g");
    image->Delete("Gone file.txt");
    Open();
    auto dir = std::make_unique<TDirectoryFATx>(disk.get());
    dir->OpenAddress(fs->fRootAddress, int64_t{fs->fRootDirSectors} * 512);
    std::vector<Entry> entries = Read(dir.get());
    std::vector<std::string> names;
    for (const Entry& e : entries) {
        names.push_back(e.Name);
        if (!e.Alternate.empty()) {
            EXPECT_TRUE(IsValidShortName(e.Alternate)) << e.Alternate;
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Photo.jpg", "readme.txt", "M\xc3\xbcller.txt",
                                               "\xce\xa9mega.txt", "a b.txt", "UPPER.TXT",
                                               "A Long File Name With Many Parts.text", "Gone file.txt"}));
    EXPECT_TRUE(entries.back().Deleted);
}

} // namespace
} // namespace qrt
