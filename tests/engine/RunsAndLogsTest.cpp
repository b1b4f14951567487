// The run as a whole: the logs byte for byte, a second run into the same folder, termination and
// stop requests, an output folder that cannot be made, modification times, and recovered names that
// try to leave the output folder.

#include "EngineTestSupport.h"
#include "FatImage.h"
#include "TestUtil.h"

#include "core/Application.h"
#include "core/Exceptions.h"
#include "disk/DiskAccessor.h"
#include "fat/FileSystemFAT.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qrt {
namespace {

using test::EngineRun;
using test::FatImage;
using test::LogLines;
using test::MustRun;
using test::PatternBytes;
using test::ReadFileBytes;
using test::ReadTree;
using test::ShellQuote;
using test::TempDir;

// The clusters of a file as mshowfat lists them ("<5-6><9>").
std::vector<uint32_t> ClustersOf(const FatImage& aImage, const std::string& aPath) {
    std::string out;
    EXPECT_EQ(test::RunCommand("MTOOLS_SKIP_CHECK=1 mshowfat -i " + ShellQuote(aImage.Path()) + " " +
                                   ShellQuote("::/" + aPath),
                               &out),
              0)
        << out;
    // Each run of clusters is "<first>" or "<first-last>".
    std::vector<uint32_t> clusters;
    for (size_t open = out.find('<'); open != std::string::npos; open = out.find('<', open + 1)) {
        size_t close = out.find('>', open);
        if (close == std::string::npos) break;
        std::string run = out.substr(open + 1, close - open - 1);
        size_t dash = run.find('-');
        uint32_t from = std::stoul(run.substr(0, dash));
        uint32_t to = dash == std::string::npos ? from : std::stoul(run.substr(dash + 1));
        for (uint32_t c = from; c <= to; ++c)
            clusters.push_back(c);
    }
    return clusters;
}

// The record of one file in the full log.
std::string Dump(const std::string& aPath, const std::vector<uint32_t>& aClusters, int64_t aParent) {
    std::string text = aPath + ": ";
    if (aClusters.size() == 1) {
        text += "[" + std::to_string(aClusters[0]) + "] ";
    } else {
        text += "[ ";
        uint32_t prev = 0;
        int fragment = 0;
        for (uint32_t c : aClusters) {
            if (c != prev + 1) text += "\r\n  Fragment #" + std::to_string(++fragment) + ":\r\n    ";
            text += std::to_string(c) + ",";
            prev = c;
        }
        text.pop_back();
        text += "\r\n]";
    }
    if (aParent != -1) text += "\r\n  Parent: " + std::to_string(aParent);
    return text + "\r\n  Owner: TPointerList\r\n\r\n";
}

// Destroys the root entry of a file: a deleted entry without name or first cluster, so only its
// allocation chain remains.
void DestroyRootEntry(FatImage& aImage, const std::string& aShortName) {
    std::string b = aImage.ReadBytes(0, 512);
    uint32_t bps = uint8_t(b[11]) | uint8_t(b[12]) << 8;
    uint32_t root = (uint32_t(uint8_t(b[14]) | uint8_t(b[15]) << 8) +
                     uint8_t(b[16]) * (uint8_t(b[22]) | uint8_t(b[23]) << 8)) *
                    bps;
    std::string dir = aImage.ReadBytes(root, 16 * 32);
    size_t at = dir.find(aShortName);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(at % 32, 0u);
    aImage.WriteBytes(root + at, "\xE5" + std::string(31, '\0'));
}

// A FAT16 volume with a live file, a deleted one and one whose directory entry is gone.
struct ThreeKindsVolume {
    explicit ThreeKindsVolume(const std::string& aPath) : Image(aPath, Options()) {
        Image.Mkdir("DOCS");
        Image.WriteFile("DOCS/A.TXT", PatternBytes(3000, 1));
        Image.WriteFile("DOCS/Bee file.txt", PatternBytes(700, 2));
        Image.WriteFile("ORPHAN.JPG", "\xFF\xD8\xFF\xE0" + PatternBytes(1500, 3));
        Docs = ClustersOf(Image, "DOCS");
        A = ClustersOf(Image, "DOCS/A.TXT");
        Bee = ClustersOf(Image, "DOCS/Bee file.txt");
        Orphan = ClustersOf(Image, "ORPHAN.JPG");
        Image.Delete("DOCS/Bee file.txt");
        DestroyRootEntry(Image, "ORPHAN  JPG");
    }
    static FatImage::Options Options() {
        FatImage::Options o;
        o.FatBits = 16;
        o.SectorsPerCluster = 2;
        return o;
    }
    FatImage Image;
    std::vector<uint32_t> Docs, A, Bee, Orphan;
};

TEST(RunsAndLogsTest, BothLogsListEverySavedFileByteForByte) {
    TempDir dir;
    ThreeKindsVolume v(dir.File("card.img"));
    EngineRun run(v.Image.Path());
    run.Recover(dir.File("out"));
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();

    EXPECT_EQ(ReadFileBytes(dir.File("out/SavedFilesLog.txt")),
              "\\DOCS\\A.TXT\r\n\\DOCS\\Bee file.txt\r\n?\\UnknownFile0\r\n");
    EXPECT_EQ(ReadFileBytes(dir.File("out/SavedFilesLog-Full.txt")),
              Dump("\\DOCS\\A.TXT", v.A, v.Docs[0]) + Dump("\\DOCS\\Bee file.txt", v.Bee, v.Docs[0]) +
                  Dump("?\\UnknownFile0", v.Orphan, -1));
    auto out = ReadTree(dir.File("out"));
    EXPECT_EQ(out.size(), 3u);
    EXPECT_TRUE(out.count("DOCS/A.TXT"));
    EXPECT_TRUE(out.count("~DeletedFiles/DOCS/Bee file.txt"));
    EXPECT_TRUE(out.count("~LostFiles/UnknownFile0.jpg"));
}

TEST(RunsAndLogsTest, ASecondRunReplacesTheShortLogAndAppendsToTheFullOne) {
    TempDir dir;
    ThreeKindsVolume v(dir.File("card.img"));
    EngineRun run(v.Image.Path());
    run.Recover(dir.File("out"));
    std::string shortLog = ReadFileBytes(dir.File("out/SavedFilesLog.txt"));
    std::string fullLog = ReadFileBytes(dir.File("out/SavedFilesLog-Full.txt"));

    run.Recover(dir.File("out"));
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
    EXPECT_EQ(run.Engine.fSavedFileCount, 3);
    EXPECT_EQ(ReadFileBytes(dir.File("out/SavedFilesLog.txt")), shortLog);
    EXPECT_EQ(ReadFileBytes(dir.File("out/SavedFilesLog-Full.txt")), fullLog + fullLog);
    // The made-up name starts again at 0; the rename by content finds the first run's file there and
    // leaves the new one under its generated name.
    auto out = ReadTree(dir.File("out"));
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(out["~LostFiles/UnknownFile0"], out["~LostFiles/UnknownFile0.jpg"]);
}

// A volume of many small files in one folder, and a message pump that asks the run to end once the
// short log lists aAfter files (the log line is written before the file's copy, which pumps).
struct ManyFiles {
    explicit ManyFiles(const std::string& aPath) : Image(aPath, FatImage::Options{}) {
        Image.Mkdir("MANY");
        for (int i = 0; i < 24; ++i)
            Image.WriteFile("MANY/F" + std::to_string(i) + ".BIN", PatternBytes(1000 + i, i));
        Image.WriteFile("LATE.TXT", "saved in phase 1 only when the walk gets this far");
        Image.Delete("MANY/F3.BIN");
    }
    FatImage Image;
};

void EndAfterSavedFiles(const std::string& aOutput, size_t aAfter, const std::function<void()>& aEnd) {
    Application().SetMessagePump([aOutput, aAfter, aEnd] {
        std::string log = aOutput + "/SavedFilesLog.txt";
        if (test::PathExists(log) && LogLines(log).size() >= aAfter) aEnd();
    });
}

TEST(RunsAndLogsTest, ATerminationRequestEndsTheRunWithCompleteLogs) {
    TempDir dir;
    ManyFiles volume(dir.File("card.img"));
    EngineRun run(volume.Image.Path());
    EndAfterSavedFiles(dir.File("out"), 5, [] { Application().Terminate(); });
    run.Recover(dir.File("out"));
    Application().SetMessagePump(nullptr);
    bool terminated = Application().Terminated();
    Application().ResetTerminated();

    EXPECT_TRUE(terminated);
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
    EXPECT_FALSE(run.Engine.IsRecovering());
    // The file being copied when the request came is finished; nothing after it is started.
    std::vector<std::string> logged = LogLines(dir.File("out/SavedFilesLog.txt"));
    auto out = ReadTree(dir.File("out"));
    EXPECT_EQ(logged.size(), 5u);
    EXPECT_EQ(out.size(), 5u);
    EXPECT_EQ(run.Engine.fSavedFileCount, 5);
    for (const std::string& line : logged) {
        std::string path = line.substr(1);
        std::replace(path.begin(), path.end(), '\\', '/');
        ASSERT_TRUE(out.count(path)) << line;
        EXPECT_EQ(out[path], volume.Image.ReadFile(path));
    }
    EXPECT_EQ(ReadFileBytes(dir.File("out/SavedFilesLog-Full.txt")).find("LATE.TXT"), std::string::npos);
}

TEST(RunsAndLogsTest, ATerminationRequestBeforeTheRunWritesNothing) {
    TempDir dir;
    ManyFiles volume(dir.File("card.img"));
    EngineRun run(volume.Image.Path());
    Application().Terminate();
    run.Recover(dir.File("out"));
    Application().ResetTerminated();
    EXPECT_TRUE(run.Problems.empty());
    EXPECT_TRUE(test::ListFilesRecursive(dir.File("out")).empty());
    EXPECT_EQ(run.Engine.fSavedFileCount, 0);
}

TEST(RunsAndLogsTest, AStopRequestEndsTheRunAndTheNextRunGoesThrough) {
    TempDir dir;
    ManyFiles volume(dir.File("card.img"));
    EngineRun run(volume.Image.Path());
    EndAfterSavedFiles(dir.File("stopped"), 5, [&run] { run.Engine.RequestStop(); });
    run.Recover(dir.File("stopped"));
    Application().SetMessagePump(nullptr);
    EXPECT_FALSE(Application().Terminated());
    EXPECT_FALSE(run.Engine.StopRequested());
    EXPECT_EQ(ReadTree(dir.File("stopped")).size(), 5u);

    run.Recover(dir.File("again"));
    EXPECT_TRUE(run.Problems.empty()) << run.Problems.front();
    EXPECT_EQ(ReadTree(dir.File("again")).size(), 25u); // 23 live files and LATE.TXT, one deleted
}

TEST(RunsAndLogsTest, AVolumeThatCannotBeMadeUsableEndsTheRunWithOneBox) {
    TempDir dir;
    ManyFiles volume(dir.File("card.img"));
    EngineRun run(volume.Image.Path());
    ASSERT_NE(run.Volume(), nullptr);
    // Mounted, then everything on the medium is gone: no boot record to find, no directory to
    // rebuild one from. The boot record read at mounting is dropped, so the run looks again.
    test::WriteFileBytes(volume.Image.Path(), std::string(16 << 20, '\0'));
    dynamic_cast<TFileSystemFATx&>(*run.Volume()->fFileSystem).ReleaseBootRecord();
    run.Recover(dir.File("out"));
    EXPECT_EQ(run.Boxes,
              std::vector<std::string>{
                  "Sorry, too much damage found: No valid boot sector could be found or recreated!"});
    EXPECT_EQ(run.Problems,
              std::vector<std::string>{"EioFatalError: No valid boot sector could be found or recreated!"});
    EXPECT_EQ(run.Engine.fSavedFileCount, 0);
    EXPECT_FALSE(run.Engine.IsRecovering());
    EXPECT_TRUE(ReadTree(dir.File("out")).empty());
}

TEST(RunsAndLogsTest, AnOutputFolderThatCannotBeMadeLeavesNoRunBehind) {
    TempDir dir;
    ManyFiles volume(dir.File("card.img"));
    test::WriteFileBytes(dir.File("plain-file"), "x");
    EngineRun run(volume.Image.Path());
    try {
        run.Recover(dir.File("plain-file/out"));
        ADD_FAILURE() << "expected \"Cannot create directory!\"";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Cannot create directory!");
    }
    EXPECT_FALSE(run.Engine.IsRecovering());
    EXPECT_EQ(run.Engine.fRecoveredChains, nullptr);

    run.Recover(dir.File("out"));
    EXPECT_EQ(ReadTree(dir.File("out")).size(), 25u);
}

TEST(RunsAndLogsTest, SavedFilesCarryTheLastWriteTimeOfTheirEntry) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    image.Mkdir("DOCS");
    struct Stamp {
        const char* Name;
        const char* Time;
    } stamps[] = {{"DOCS/LIVE.TXT", "2019-06-15 13:45:22"}, {"DOCS/Gone file.txt", "2003-01-31 23:59:58"}};
    for (const Stamp& s : stamps) {
        std::string host = dir.File("host.txt");
        test::WriteFileBytes(host, PatternBytes(2500, 7));
        MustRun("touch -d " + ShellQuote(s.Time) + " " + ShellQuote(host));
        MustRun("MTOOLS_SKIP_CHECK=1 mcopy -m -i " + ShellQuote(image.Path()) + " " + ShellQuote(host) + " " +
                ShellQuote(std::string("::/") + s.Name));
    }
    image.Delete("DOCS/Gone file.txt");

    EngineRun run(image.Path());
    run.Recover(dir.File("out"));
    for (const auto& [path, time] : {std::pair{"out/DOCS/LIVE.TXT", stamps[0].Time},
                                     {"out/~DeletedFiles/DOCS/Gone file.txt", stamps[1].Time}}) {
        std::string probe = dir.File("probe");
        MustRun("touch -d " + ShellQuote(time) + " " + ShellQuote(probe));
        struct stat expected, actual;
        ASSERT_EQ(::stat(probe.c_str(), &expected), 0);
        ASSERT_EQ(::stat(dir.File(path).c_str(), &actual), 0) << path;
        EXPECT_EQ(actual.st_mtime, expected.st_mtime) << path;
    }
}

// Rewrites the 13 characters of the long-name entry that holds aOld (13 characters) with aNew
// (13 UTF-16 units; missing ones become the terminator and padding). Deleted entries too.
void PatchLongName(FatImage& aImage, const std::string& aOld, const std::u16string& aNew) {
    static const size_t slots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::string bytes = aImage.ReadBytes(0, 4 << 20);
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        if (uint8_t(bytes[at + 11]) != 0x0F) continue;
        bool same = true;
        for (size_t i = 0; i < 13 && same; ++i)
            same = bytes[at + slots[i]] == aOld[i] && bytes[at + slots[i] + 1] == 0;
        if (!same) continue;
        std::string entry = bytes.substr(at, 32);
        for (size_t i = 0; i < 13; ++i) {
            char16_t u = i < aNew.size() ? aNew[i] : (i == aNew.size() ? 0 : 0xFFFF);
            entry[slots[i]] = char(u & 0xFF);
            entry[slots[i] + 1] = char(u >> 8);
        }
        aImage.WriteBytes(at, entry);
        return;
    }
    FAIL() << "no long-name entry holds " << aOld;
}

TEST(RunsAndLogsTest, RecoveredNamesNeverLeadOutsideTheOutputFolder) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    image.Mkdir("DOCS");
    image.Mkdir("DOCS/dirnamezzz123");
    const std::string pwn = PatternBytes(900, 1), slash = PatternBytes(800, 2), del = PatternBytes(700, 3),
                      inner = PatternBytes(600, 4);
    image.WriteFile("DOCS/evilnamezz123", pwn);
    image.WriteFile("DOCS/slashnamezz12", slash);
    image.WriteFile("DOCS/deletedzz1234", del);
    image.WriteFile("DOCS/dirnamezzz123/INNER.TXT", inner);
    image.Delete("DOCS/deletedzz1234");
    PatchLongName(image, "evilnamezz123", u"..\\..\\pwn.txt");
    PatchLongName(image, "slashnamezz12", u"a/../../b.txt");
    // A deleted entry keeps its long name only when the name's first character restores the short
    // name's lost first byte.
    PatchLongName(image, "deletedzz1234", u"D\\..\\..\\x.txt");
    PatchLongName(image, "dirnamezzz123", u"..");

    EngineRun run(image.Path());
    run.Recover(dir.File("work/out"));
    for (const char* outside : {"work/pwn.txt", "pwn.txt", "work/b.txt", "b.txt", "work/x.txt", "x.txt"})
        EXPECT_FALSE(test::PathExists(dir.File(outside))) << outside;
    auto out = ReadTree(dir.File("work/out"));
    EXPECT_EQ(out.size(), 4u);
    EXPECT_TRUE(test::SameBytes(out["DOCS/_../_../pwn.txt"], pwn)) << "DOCS/_../_../pwn.txt";
    EXPECT_TRUE(test::SameBytes(out["DOCS/a_.._.._b.txt"], slash)) << "DOCS/a_.._.._b.txt";
    EXPECT_TRUE(test::SameBytes(out["~DeletedFiles/DOCS/D/_../_../x.txt"], del))
        << "~DeletedFiles/DOCS/D/_../_../x.txt";
    // The folder named ".." is never walked as the parent it pretends to be; its clusters still
    // hold a directory, found as a lost one.
    bool innerFound = false;
    for (const auto& [path, bytes] : out) {
        std::string lostDir, rest;
        innerFound |=
            bytes == inner && test::SplitLostDirectoryPath(path, lostDir, rest) && rest == "INNER.TXT";
    }
    EXPECT_TRUE(innerFound);
    EXPECT_EQ(test::ListFilesRecursive(dir.File("work")).size(), 6u); // the four files and the two logs
}

} // namespace
} // namespace qrt
