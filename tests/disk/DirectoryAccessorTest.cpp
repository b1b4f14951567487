#include "FatImage.h"
#include "TestDirectory.h"
#include "TestUtil.h"

#include "disk/DiskStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;

struct Seen {
    std::string Name;
    int64_t Size;
    bool Directory;
    uint32_t FirstCluster;
    bool Deleted;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> Search(TxDirectoryAccessor* aDir, uint8_t aFlags) {
    std::vector<Seen> seen;
    TxSearchRec rec;
    int32_t result = aDir->FindFirst("*.*", faAnyFile, aFlags, rec);
    while (result == kFindOk) {
        seen.push_back({rec.Name, rec.Size, (rec.Attr & faDirectory) != 0, SearchFirstCluster(rec),
                        SearchIsDeleted(rec)});
        result = aDir->FindNext(rec);
    }
    EXPECT_EQ(result, kNoMoreFiles);
    aDir->FindClose(rec);
    EXPECT_EQ(rec.FindHandle, nullptr);
    return seen;
}

FatImage::Options Fat16(uint32_t aSizeKiB, int aSectorsPerCluster) {
    FatImage::Options options;
    options.FatBits = 16;
    options.SizeKiB = aSizeKiB;
    options.SectorsPerCluster = aSectorsPerCluster;
    return options;
}

std::vector<std::string> Names(const std::vector<Seen>& aSeen) {
    std::vector<std::string> names;
    for (const Seen& s : aSeen)
        names.push_back(s.Name);
    return names;
}

// ROOT.TXT, EMPTY.TXT (no data), DOCS\A.TXT, DOCS\SUB\B.BIN on FAT16; GONE.TXT deleted from the root.
class DirectoryAccessorTest : public ::testing::Test {
protected:
    void SetUp() override {
        image = std::make_unique<FatImage>(tmp.File("v.img"), Fat16(8192, 2));
        image->WriteFile("ROOT.TXT", test::PatternBytes(100, 1));
        image->WriteFile("GONE.TXT", test::PatternBytes(700, 2));
        image->WriteFile("EMPTY.TXT", "");
        image->Mkdir("DOCS");
        image->WriteFile("DOCS/A.TXT", test::PatternBytes(3000, 3));
        image->Mkdir("DOCS/SUB");
        image->WriteFile("DOCS/SUB/B.BIN", test::PatternBytes(5000, 4));
        image->Delete("GONE.TXT");
        disk = test::OpenImage(image->Path());
        fs = test::TTreeFileSystem::Attach(disk.get());
    }

    test::TempDir tmp;
    std::unique_ptr<FatImage> image;
    std::unique_ptr<TxDiskAccessor> disk;
    test::TTreeFileSystem* fs = nullptr;
};

TEST_F(DirectoryAccessorTest, SearchReturnsNamedEntriesAndDeletedOnesOnRequest) {
    TxDirectoryAccessor* root = fs->GetRootDirectory();
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->IsRoot());
    uint32_t rootFile = fs->RootEntry("ROOT.TXT").FirstCluster;
    std::vector<Seen> live = Search(root, sfLive);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[0], (Seen{"ROOT.TXT", 100, false, rootFile, false}));
    EXPECT_EQ(live[1], (Seen{"EMPTY.TXT", 0, false, 0, false}));
    EXPECT_EQ(live[2].Name, "DOCS");
    EXPECT_TRUE(live[2].Directory);

    std::vector<Seen> all = Search(root, sfLive | sfDeleted);
    EXPECT_EQ(Names(all), (std::vector<std::string>{"ROOT.TXT", "?ONE.TXT", "EMPTY.TXT", "DOCS"}));
    EXPECT_TRUE(all[1].Deleted);
    EXPECT_EQ(all[1].Size, 700);
}

TEST_F(DirectoryAccessorTest, RootWithOnlyDeletedEntries) {
    FatImage other(tmp.File("w.img"), Fat16(8192, 2));
    other.WriteFile("X.TXT", "x");
    other.Delete("X.TXT");
    auto otherDisk = test::OpenImage(other.Path());
    auto* otherFs = test::TTreeFileSystem::Attach(otherDisk.get());
    TxSearchRec rec;
    EXPECT_EQ(otherFs->GetRootDirectory()->FindFirst("*.*", faAnyFile, sfLive, rec), kNoMoreFiles);
    EXPECT_EQ(rec.FindHandle, nullptr); // nothing is left open
    EXPECT_EQ(Names(Search(otherFs->GetRootDirectory(), sfLive | sfDeleted)),
              std::vector<std::string>{"?.TXT"});
}

TEST_F(DirectoryAccessorTest, SubdirectoriesOpenByNameByRecordAndByPath) {
    TxDirectoryAccessor* root = fs->GetRootDirectory();
    std::unique_ptr<TxDirectoryAccessor> docs = root->OpenSubdirectory("docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_STREQ(docs->ClassName(), "TTestDirectory");
    EXPECT_FALSE(docs->IsRoot());
    std::vector<Seen> entries = Search(docs.get(), sfLive);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{".", "..", "A.TXT", "SUB"}));
    EXPECT_EQ(docs->GetFirstCluster(), entries[0].FirstCluster); // "." names the directory itself
    // The directory's chain is catalogued by the open.
    PxClusterChain chain = nullptr;
    EXPECT_GE(fs->FindDirectoryChain(docs->GetFirstCluster(), chain, 0), 1);
    EXPECT_EQ(chain, docs->GetChain());

    // ".." of a child of the root names cluster 0: it opens the root.
    TxSearchRec rec;
    ASSERT_EQ(docs->FindEntry("..", faDirectory, sfLive, rec), kFindOk);
    std::unique_ptr<TxDirectoryAccessor> up = docs->OpenSubdirectoryEntry(rec);
    docs->FindClose(rec);
    EXPECT_TRUE(up->IsRoot());
    EXPECT_EQ(up->GetChain(), nullptr);
    EXPECT_EQ(up->GetPath(), "");
    EXPECT_EQ(Names(Search(up.get(), sfLive)), (std::vector<std::string>{"ROOT.TXT", "EMPTY.TXT", "DOCS"}));

    EXPECT_TRUE(docs->ChangeDirectory("\\DOCS\\SUB"));
    EXPECT_EQ(Names(Search(docs.get(), sfLive)), (std::vector<std::string>{".", "..", "B.BIN"}));
    EXPECT_TRUE(docs->ChangeDirectory("\\"));
    EXPECT_TRUE(docs->IsRoot());
    EXPECT_FALSE(docs->ChangeDirectory("ROOT.TXT")); // a file is no directory
    EXPECT_FALSE(docs->ChangeDirectory("NOPE"));
    EXPECT_EQ(root->OpenSubdirectory("NOPE"), nullptr);
}

TEST_F(DirectoryAccessorTest, FilesOpenByName) {
    std::unique_ptr<TxDirectoryAccessor> docs = fs->GetRootDirectory()->OpenSubdirectory("DOCS");
    std::unique_ptr<TxFileStream> file = docs->OpenFile("a.txt", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file->ClassName(), "TxFileStream");
    EXPECT_EQ(docs->OpenFile("SUB", 0), nullptr); // a directory
    EXPECT_EQ(docs->OpenFile("MISSING.TXT", 0), nullptr);
    EXPECT_ASSERTION(docs->OpenFile("SUB\\B.BIN", 0), "UNIMPLEMENTED!!");
}

TEST_F(DirectoryAccessorTest, SectorAreaDirectoriesAndSecondViews) {
    auto dir = fs->GetRootDirectory()->CreateSibling();
    EXPECT_STREQ(dir->ClassName(), "TTestDirectory");
    EXPECT_TRUE(dir->OpenAddress(fs->fRootAddress, 512));
    EXPECT_EQ(dir->GetChain(), nullptr);
    EXPECT_EQ(dir->GetPath(), "");
    EXPECT_EQ(dir->GetFirstCluster(), 0u);
    EXPECT_FALSE(dir->IsRoot());
    EXPECT_EQ(Names(Search(dir.get(), sfLive)), (std::vector<std::string>{"ROOT.TXT", "EMPTY.TXT", "DOCS"}));

    // A second view reads the same directory over a stream of its own.
    std::unique_ptr<TxDirectoryAccessor> docs = fs->GetRootDirectory()->OpenSubdirectory("DOCS");
    auto view = docs->CreateSibling();
    EXPECT_TRUE(view->Assign(docs.get()));
    EXPECT_NE(view->GetStream(), docs->GetStream());
    EXPECT_EQ(view->GetChain(), docs->GetChain());
    EXPECT_EQ(Names(Search(view.get(), sfLive)), Names(Search(docs.get(), sfLive)));

    // Reopening on another stream starts the entries over.
    view->OpenAreas(fs->GetRootDirectory()->GetStream()->fAreas);
    EXPECT_EQ(view->MaxEntryIndex, -1);
    EXPECT_EQ(Names(Search(view.get(), sfLive)), (std::vector<std::string>{"ROOT.TXT", "EMPTY.TXT", "DOCS"}));
}

TEST_F(DirectoryAccessorTest, ConsistencyChecks) {
    TxDirectoryAccessor* root = fs->GetRootDirectory();
    TxSearchRec rec;
    EXPECT_ASSERTION(root->FindFirst("DOCS\\A.TXT", faAnyFile, sfLive, rec), "WTF?");
    EXPECT_ASSERTION(SearchIsDeleted(rec), "WTF?");
    EXPECT_ASSERTION(root->FindNext(rec), "WTF?");

    ASSERT_EQ(root->FindEntry("DOCS", faDirectory, sfLive, rec), kFindOk);
    auto dir = root->CreateSibling();
    rec.FindData.cFileName = "OTHER";
    EXPECT_ASSERTION(dir->OpenEntry(rec), "WTF?");
    root->FindClose(rec);

    std::vector<std::string> names;
    EXPECT_ASSERTION(root->ListFiles("*.*", names), "UNFINISHED!!");
    TxDiskAddress other{0, akOther, 3};
    EXPECT_ASSERTION(dir->OpenAddress(other, 512), "UNIMPLEMENTED!!");
    EXPECT_ASSERTION(dir->ChangeDirectory("DOCS"), "WTF?"); // nothing opened yet

    TxDiskAccessor bare;
    EXPECT_ASSERTION(test::TTestDirectory probe(&bare), "WTF?"); // no file system mounted
}

} // namespace
} // namespace qrt
