#include "TestUtil.h"

#include "support/FileUtils.h"
#include "support/PathUtils.h"

#include <gtest/gtest.h>

#include <functional>

namespace qrt {
namespace {

TEST(PathUtilsTest, NameRoutines) {
    using Fn = std::function<std::string(const std::string&)>;
    Fn include = IncludeTrailingBackslash, exclude = ExcludeTrailingBackslash, path = ExtractFilePath,
       ext = ExtractFileExt, remove = RemoveFileExt;
    struct Case {
        const char* routine;
        Fn fn;
        std::string input;
        std::string expected;
    } cases[] = {
        {"Include", include, "", ""},
        {"Include", include, "/out", "/out/"},
        {"Include", include, "/out/", "/out/"},
        {"Exclude", exclude, "/out/", "/out"},
        {"Exclude", exclude, "/out", "/out"},
        {"Exclude", exclude, "out//", "out/"},
        {"Exclude", exclude, "/", ""},
        {"Path", path, "/app/FileIds.ini", "/app/"},
        {"Path", path, "name.txt", ""},
        {"Path", path, "C:", ""}, // ':' is an ordinary character here
        {"Path", path, "a:b/c", "a:b/"},
        {"Path", path, "/", "/"},
        {"Ext", ext, "/app/FileIds.ini", ".ini"},
        {"Ext", ext, "/dir.x/file", ""},
        {"Ext", ext, ".ini", ".ini"},
        {"Ext", ext, "/home/.profile", ".profile"},
        {"Ext", ext, "a.tar.gz", ".gz"},
        {"Ext", ext, "a.", "."},
        {"Ext", ext, "Word.DOC", ".DOC"},
        {"Remove", remove, "/app/FileIds.ini", "/app/FileIds"},
        {"Remove", remove, "/dir.x/file", "/dir.x/file"},
        {"Remove", remove, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fn(c.input), c.expected) << c.routine << "(" << c.input << ")";

    EXPECT_ASSERTION(ExcludeTrailingBackslash(""), "WTF?");
    EXPECT_ASSERTION(ExtractFileExt(""), "WTF? aFileName = \"\"!!");
}

TEST(PathUtilsTest, ChangingNameParts) {
    EXPECT_EQ(ChangeFileExt("a.tmp", ".jpg"), "a.jpg");
    EXPECT_EQ(ChangeFileExt("/out/~LostFiles/00000017", ".zip"), "/out/~LostFiles/00000017.zip");
    EXPECT_EQ(ChangeFileExt("a.tmp", ""), "a");
    EXPECT_ASSERTION(ChangeFileExt("a.tmp", "jpg"), "WTF?");
    EXPECT_EQ(ChangeFileNamePart("/app/FileIds.ini", "FileIdChecks"), "/app/FileIdChecks.ini");
    EXPECT_EQ(ChangeFileNamePart("FileIds.ini", "FileIdChecks"), "FileIdChecks.ini");
    EXPECT_EQ(ChangeFileNamePart("/app/readme", "notes"), "/app/notes");

    EXPECT_EQ(ReplaceFileNameChars("a\"b*c/d:e<f>g?h\\i|j.k", '-'), "a-b-c-d-e-f-g-h-i-j.k");
    EXPECT_EQ(ReplaceFileNameChars("2024/05/06 12:30", '-'), "2024-05-06 12-30");
}

TEST(PathUtilsTest, ExistenceAndSize) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("three"), "abc");
    CreateFileOfSize(dir.File("big"), 5368709120LL); // sparse: takes no room

    EXPECT_TRUE(FileExists(dir.File("three")));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.File("missing")));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    EXPECT_FALSE(DirectoryExists(dir.File("three")));
    EXPECT_FALSE(DirectoryExists(dir.File("missing")));

    EXPECT_EQ(GetFileSize64(dir.File("three")), 3);
    EXPECT_EQ(GetFileSize64(dir.File("big")), 5368709120LL);
    EXPECT_EQ(GetFileSize64(dir.File("missing")), -1);
    EXPECT_EQ(GetFileSize64(dir.Path()), 0);
}

TEST(PathUtilsTest, ForceDirectoriesCreatesTheChain) {
    test::TempDir dir;
    std::string deep = dir.File("Out/A/B");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(dir.File("Out")));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(ForceDirectories(deep)); // already there
    EXPECT_TRUE(ForceDirectories(dir.File("Out//C//D")));
    EXPECT_TRUE(DirectoryExists(dir.File("Out/C/D")));

    // A file in the way stops the chain there.
    test::WriteFileBytes(dir.File("Out/file"), "x");
    EXPECT_FALSE(ForceDirectories(dir.File("Out/file/E/F")));
    EXPECT_FALSE(ForceDirectories(dir.File("Out/file")));
    EXPECT_EQ(test::ListFilesRecursive(dir.File("Out")), std::vector<std::string>{"file"});

    // No delimiter: nothing is created.
    EXPECT_TRUE(ForceDirectories("qrt-force-directories-probe"));
    EXPECT_FALSE(test::PathExists("qrt-force-directories-probe"));

    EXPECT_ASSERTION(ForceDirectories(""), "WTF?");
    EXPECT_ASSERTION(ForceDirectories(dir.File("Out/")), "WTF? aPath=" + dir.File("Out/"));
}

} // namespace
} // namespace qrt
