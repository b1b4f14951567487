// qrt-recover run as a program over images written by mkfs.fat and mtools.

#include "FatImage.h"
#include "TestUtil.h"

#include "core/Version.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qrt {
namespace {

using test::FatImage;
using test::PatternBytes;
using test::ReadFileBytes;
using test::ShellQuote;
using test::TempDir;

const std::string kProgram = QRT_BIN_DIR "/qrt-recover";

struct Result {
    int Code = -1;
    std::string Out;
    std::string Err;
};

// Runs qrt-recover with the arguments (each quoted for the shell); stdout and stderr kept apart.
Result RunProgram(const std::vector<std::string>& aArgs, const std::string& aProgram = kProgram) {
    TempDir dir;
    std::string command = ShellQuote(aProgram);
    for (const std::string& a : aArgs)
        command += " " + ShellQuote(a);
    command = "(" + command + " > " + dir.File("out") + " 2> " + dir.File("err") + ")";
    Result r;
    r.Code = test::RunCommand(command);
    r.Out = ReadFileBytes(dir.File("out"));
    r.Err = ReadFileBytes(dir.File("err"));
    return r;
}

std::map<std::string, std::string> Tree(const std::string& aFolder, bool aWithLogs = false) {
    std::map<std::string, std::string> tree;
    for (const std::string& path : test::ListFilesRecursive(aFolder))
        if (aWithLogs || path.rfind("SavedFilesLog", 0) != 0)
            tree[path] = ReadFileBytes(aFolder + "/" + path);
    return tree;
}

void WriteCard(FatImage& aImage) {
    aImage.Mkdir("DCIM");
    aImage.Mkdir("DCIM/100CAMRA");
    aImage.Mkdir("Docs");
    aImage.WriteFile("DCIM/100CAMRA/IMG_0001.JPG", "\xFF\xD8\xFF\xE0" + PatternBytes(30000, 1));
    aImage.WriteFile("Docs/Letter to Anna.txt", PatternBytes(5000, 2));
    aImage.WriteFile("Docs/Old letter.txt", PatternBytes(7000, 3));
    aImage.WriteFile("README.TXT", PatternBytes(300, 4));
    aImage.Delete("Docs/Old letter.txt");
}

TEST(RecoverCommandTest, HelpVersionAndUsageErrors) {
    Result help = RunProgram({"--help"});
    EXPECT_EQ(help.Code, 0);
    EXPECT_EQ(help.Out.rfind("Usage: qrt-recover [options] SOURCE [OUTPUT]\n", 0), 0u);
    Result version = RunProgram({"--version"});
    EXPECT_EQ(version.Code, 0);
    EXPECT_EQ(version.Out, std::string("qrt-recover ") + kVersion + "\n");

    Result none = RunProgram({});
    EXPECT_EQ(none.Code, 2);
    EXPECT_EQ(none.Err, "qrt-recover: missing SOURCE\nTry 'qrt-recover --help' for more information.\n");
    EXPECT_EQ(RunProgram({"--partition", "9", "x.img"}).Code, 2);
    Result missing = RunProgram({"/no/such/card.img", "/tmp/never"});
    EXPECT_EQ(missing.Code, 2);
    EXPECT_EQ(missing.Err, "qrt-recover: cannot open /no/such/card.img: no such file or device\n");
}

TEST(RecoverCommandTest, ACardComesBackWithASummary) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    WriteCard(image);
    Result r = RunProgram({image.Path(), dir.File("out")});
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Err, ""); // stderr is no terminal: no status line, and nothing went wrong
    EXPECT_NE(r.Out.find("Saved 4 files (3 live, 1 deleted, 0 lost) into " + dir.File("out") + "/\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("Problems reported: 0\n"), std::string::npos);
    auto tree = Tree(dir.File("out"));
    EXPECT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree["Docs/Letter to Anna.txt"], image.ReadFile("Docs/Letter to Anna.txt"));
    EXPECT_EQ(tree["~DeletedFiles/Docs/Old letter.txt"], PatternBytes(7000, 3));

    Result quiet = RunProgram({"--quiet", image.Path(), dir.File("quiet")});
    EXPECT_EQ(quiet.Code, 0);
    EXPECT_EQ(quiet.Out, "");
    EXPECT_EQ(Tree(dir.File("quiet")), tree);
}

TEST(RecoverCommandTest, AProgressLineIsDrawnOnATerminal) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    WriteCard(image);
    std::string output;
    // script gives the program a terminal for stdout and stderr.
    int rc = test::RunCommand("script -qec " +
                                  ShellQuote(ShellQuote(kProgram) + " " + ShellQuote(image.Path()) + " " +
                                             ShellQuote(dir.File("out"))) +
                                  " /dev/null",
                              &output);
    if (rc == 127) GTEST_SKIP() << "no script(1)";
    EXPECT_EQ(rc, 0) << output;
    EXPECT_NE(output.find("\r  1% Time elapsed: "), std::string::npos) << output;
    EXPECT_NE(output.find("Starting..."), std::string::npos);
    EXPECT_NE(output.find("\r\033[K"), std::string::npos); // the line is erased before the summary
}

// A card image with a partition table: slot 1 holds no file system, slot 2 a FAT16 volume, slot 3
// a FAT12 one.
struct ThreeSlots {
    explicit ThreeSlots(const TempDir& aDir) : Path(aDir.File("disk.img")) {
        std::string second = aDir.File("second.img"), third = aDir.File("third.img");
        test::MustRun("mkfs.fat -C -F 16 -n SECOND " + ShellQuote(second) + " 16384 > /dev/null");
        test::MustRun("mkfs.fat -C -F 12 -n THIRD " + ShellQuote(third) + " 1440 > /dev/null");
        std::string mbr(512, '\0');
        auto entry = [&](int slot, uint32_t first, uint32_t count) {
            size_t e = 446 + 16 * slot;
            mbr[e + 1] = 1, mbr[e + 2] = 1, mbr[e + 4] = 0x06, mbr[e + 5] = char(0xFE),
                    mbr[e + 6] = char(0xFF), mbr[e + 7] = char(0xFF);
            for (int i = 0; i < 4; ++i) {
                mbr[e + 8 + i] = char(first >> (8 * i));
                mbr[e + 12 + i] = char(count >> (8 * i));
            }
        };
        entry(0, 2048, 2048);
        entry(1, 4096, 32768);
        entry(2, 36864, 2880);
        mbr[510] = 0x55, mbr[511] = char(0xAA);
        test::WriteFileBytes(Path, mbr);
        test::MustRun("truncate -s " + std::to_string(uint64_t(36864 + 2880) * 512) + " " + ShellQuote(Path));
        test::MustRun("dd if=" + ShellQuote(second) + " of=" + ShellQuote(Path) +
                      " bs=512 seek=4096 conv=notrunc status=none");
        test::MustRun("dd if=" + ShellQuote(third) + " of=" + ShellQuote(Path) +
                      " bs=512 seek=36864 conv=notrunc status=none");
        for (auto [offset, name] : {std::pair{4096u, "ON-SECOND.TXT"}, {36864u, "ON-THIRD.TXT"}}) {
            test::WriteFileBytes(aDir.File("f"), name);
            test::MustRun("MTOOLS_SKIP_CHECK=1 mcopy -i " +
                          ShellQuote(Path + "@@" + std::to_string(uint64_t(offset) * 512)) + " " +
                          ShellQuote(aDir.File("f")) + " ::/" + name);
        }
    }
    std::string Path;
};

TEST(RecoverCommandTest, PartitionsAreListedAndChosenBySlot) {
    TempDir dir;
    ThreeSlots disk(dir);
    Result list = RunProgram({"--list", disk.Path});
    EXPECT_EQ(list.Code, 0) << list.Err;
    EXPECT_EQ(list.Out, "Volumes on " + disk.Path +
                            ":\n"
                            "slot  type   size        label\n"
                            "1     -      1.0 MiB\n"
                            "2     FAT16  16.0 MiB    SECOND\n"
                            "3     FAT12  1.4 MiB     THIRD\n");

    // Without --partition the first slot that holds a FAT volume.
    EXPECT_EQ(RunProgram({disk.Path, dir.File("first")}).Code, 0);
    EXPECT_EQ(Tree(dir.File("first")),
              (std::map<std::string, std::string>{{"ON-SECOND.TXT", "ON-SECOND.TXT"}}));
    EXPECT_EQ(RunProgram({"--partition", "3", disk.Path, dir.File("third")}).Code, 0);
    EXPECT_EQ(Tree(dir.File("third")),
              (std::map<std::string, std::string>{{"ON-THIRD.TXT", "ON-THIRD.TXT"}}));

    Result empty = RunProgram({"-p", "4", disk.Path, dir.File("none")});
    EXPECT_EQ(empty.Code, 2);
    EXPECT_EQ(empty.Err, "qrt-recover: slot 4 of the partition table holds no partition\n");
    // Slot 1 holds nothing a FAT volume could be rebuilt from.
    Result broken = RunProgram({"-p", "1", disk.Path, dir.File("broken")});
    EXPECT_EQ(broken.Code, 1);
    EXPECT_EQ(broken.Err,
              "Sorry, too much damage found: No valid boot sector could be found or recreated!\n");
    EXPECT_FALSE(test::PathExists(dir.File("broken")));
}

TEST(RecoverCommandTest, WithSectorsZeroToElevenWipedTheCardComesBackAsIntact) {
    struct Case {
        int FatBits;
        uint32_t SizeKiB;
        int SectorsPerCluster;
        bool Partitioned;
    } cases[] = {{16, 16384, 4, false}, {16, 16384, 4, true}, {32, 40000, 1, false}, {32, 40000, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("FAT" + std::to_string(c.FatBits) + (c.Partitioned ? " with MBR" : ""));
        TempDir dir;
        FatImage::Options o;
        o.FatBits = c.FatBits;
        o.SizeKiB = c.SizeKiB;
        o.SectorsPerCluster = c.SectorsPerCluster;
        FatImage image = c.Partitioned ? FatImage::Partitioned(dir.File("card.img"), o)
                                       : FatImage(dir.File("card.img"), o);
        WriteCard(image);
        ASSERT_EQ(RunProgram({image.Path(), dir.File("intact")}).Code, 0);
        image.ZeroSectors(0, 12);
        Result r = RunProgram({image.Path(), dir.File("wiped")});
        EXPECT_EQ(r.Code, 0) << r.Err;
        EXPECT_EQ(Tree(dir.File("wiped"), true), Tree(dir.File("intact"), true));
    }
}

TEST(RecoverCommandTest, AVolumeBeyondRepairEndsWithExitCodeOne) {
    TempDir dir;
    test::WriteFileBytes(dir.File("blank.img"), std::string(1 << 20, '\0'));
    Result r = RunProgram({dir.File("blank.img"), dir.File("out")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Err, "Sorry, too much damage found: No valid boot sector could be found or recreated!\n");
}

TEST(RecoverCommandTest, TheSignatureDatabaseComesFromBesideTheProgram) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    image.WriteFile("PHOTO.JPG", "\xFF\xD8\xFF\xE0" + PatternBytes(3000, 5));
    // The photo's directory entry is destroyed; its clusters are still allocated.
    test::MustRun("MTOOLS_SKIP_CHECK=1 mattrib -i " + ShellQuote(image.Path()) + " +h ::/PHOTO.JPG");
    std::string boot = image.ReadBytes(0, 512);
    uint32_t root =
        (uint8_t(boot[14]) + uint8_t(boot[16]) * (uint8_t(boot[22]) | uint8_t(boot[23]) << 8)) * 512;
    image.WriteBytes(root, "\xE5" + std::string(31, '\0'));

    EXPECT_EQ(RunProgram({image.Path(), dir.File("with")}).Code, 0);
    EXPECT_TRUE(test::PathExists(dir.File("with/~LostFiles/UnknownFile0.jpg")));

    // A copy of the program without the database beside it names nothing by content.
    std::string lonely = dir.File("bin/qrt-recover");
    test::MustRun("mkdir -p " + ShellQuote(dir.File("bin")) + " && cp " + ShellQuote(kProgram) + " " +
                  ShellQuote(lonely));
    Result r = RunProgram({image.Path(), dir.File("without")}, lonely);
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Err.find("warning: no signature database"), std::string::npos) << r.Err;
    EXPECT_TRUE(test::PathExists(dir.File("without/~LostFiles/UnknownFile0")));
}

TEST(RecoverCommandTest, CtrlCEndsTheRunWithExitCode130AndCompleteLogs) {
    TempDir dir;
    FatImage image(dir.File("card.img"), FatImage::Options{});
    image.Mkdir("DOCS");
    image.WriteFile("DOCS/A.TXT", PatternBytes(200000, 6));
    image.WriteFile("DOCS/B.TXT", PatternBytes(1000, 7));
    image.WriteFile("LATER.TXT", PatternBytes(1000, 8));
    // DOCS/A.TXT is a pipe in the output folder: the program blocks on it until the test reads, so
    // the interrupt arrives in the middle of the run without any timing.
    std::string out = dir.File("out");
    test::MustRun("mkdir -p " + ShellQuote(out + "/DOCS") + " && mkfifo " + ShellQuote(out + "/DOCS/A.TXT"));

    std::string program = kProgram, source = image.Path();
    std::vector<char*> argv = {program.data(), source.data(), out.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, dir.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    int fifo = ::open((out + "/DOCS/A.TXT").c_str(), O_RDONLY); // returns once the program opened it
    ASSERT_GE(fifo, 0);
    ::kill(pid, SIGINT);
    std::string copied;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fifo, buffer, sizeof buffer)) > 0;)
        copied.append(buffer, size_t(n));
    ::close(fifo);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFileBytes(dir.File("stderr"));

    // The file being copied is finished (a pipe keeps the slack of the last cluster, which a file's
    // size would cut off).
    EXPECT_TRUE(copied.substr(0, 200000) == PatternBytes(200000, 6)) << copied.size();
    EXPECT_EQ(ReadFileBytes(out + "/SavedFilesLog.txt"), "\\DOCS\\A.TXT\r\n");
    EXPECT_FALSE(test::PathExists(out + "/LATER.TXT"));
    EXPECT_NE(ReadFileBytes(dir.File("stdout")).find("Interrupted after saving 0 files"), std::string::npos);
}

// Writing onto the device being recovered is refused before it is read. A loop device with a
// mounted file system plays the card; the test needs the rights to set one up.
TEST(RecoverCommandTest, AnOutputOnTheSourceDeviceIsRefused) {
    TempDir dir;
    std::string image = dir.File("card.img"), mnt = dir.File("mnt"), loop;
    test::MustRun("truncate -s 8M " + ShellQuote(image) + " && mkfs.ext2 -q " + ShellQuote(image) +
                  " && mkdir " + ShellQuote(mnt));
    if (test::RunCommand("losetup -f --show " + ShellQuote(image), &loop) != 0 || loop.empty())
        GTEST_SKIP() << "no loop device: " << loop;
    loop.erase(loop.find_last_not_of("\n") + 1);
    if (test::RunCommand("mount " + ShellQuote(loop) + " " + ShellQuote(mnt)) != 0) {
        test::RunCommand("losetup -d " + ShellQuote(loop));
        GTEST_SKIP() << "cannot mount " << loop;
    }
    Result device = RunProgram({loop, mnt + "/out"});
    Result file = RunProgram({image, mnt + "/deeper/out"});
    Result elsewhere = RunProgram({loop, dir.File("elsewhere")});
    test::RunCommand("umount " + ShellQuote(mnt));
    test::RunCommand("losetup -d " + ShellQuote(loop));

    EXPECT_EQ(device.Code, 2);
    EXPECT_EQ(device.Err.rfind("qrt-recover: refusing to write into " + mnt + "/out: it lies on " + loop, 0),
              0u)
        << device.Err;
    EXPECT_EQ(file.Code, 2) << file.Err; // the image file is the loop device's backing file
    EXPECT_NE(file.Err.find("refusing to write into"), std::string::npos);
    EXPECT_FALSE(test::PathExists(mnt + "/out"));
    EXPECT_EQ(elsewhere.Code, 1); // an ext2 volume: no FAT to recover, but the output was allowed
}

} // namespace
} // namespace qrt
