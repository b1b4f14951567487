// qrt-recover never writes to its SOURCE. Two views of the same promise:
//   - the program, run as the unprivileged user "nobody" (the tests run as root, who may write to
//     any file), recovers a read-only image and leaves it byte for byte as it was;
//   - every open of the image that the program makes, as strace sees it, is read-only (no write
//     access, no creation, no truncation), on each way a volume is found.

#include "FatImage.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qrt {
namespace {

using test::FatImage;
using test::ShellQuote;
using test::TempDir;

const std::string kProgram = QRT_BIN_DIR "/qrt-recover";

// The cards of the tests: a plain volume, a partitioned one, one whose boot sector is gone.
struct Card {
    const char* Name;
    int FatBits;
    bool Partitioned;
    bool WithoutBootSector;
};
const Card kCards[] = {
    {"FAT12", 12, false, false},
    {"FAT32 behind a partition table", 32, true, false},
    {"FAT16 without boot sector", 16, false, true},
};

std::string MakeCard(const TempDir& aDir, const Card& aCard) {
    FatImage::Options options;
    options.FatBits = aCard.FatBits;
    options.SizeKiB = aCard.FatBits == 12 ? 1440 : aCard.FatBits == 16 ? 16384 : 40000;
    std::string path = aDir.File("card.img");
    FatImage image = aCard.Partitioned ? FatImage::Partitioned(path, options, 2048) : FatImage(path, options);
    test::FillSampleCard(image);
    if (aCard.WithoutBootSector) image.ZeroSectors(0, 1);
    return path;
}

TEST(ReadOnlySourceCli, ARunAsNobodyLeavesTheReadOnlyImageAsItWas) {
    const bool root = ::getuid() == 0;
    for (const Card& card : kCards) {
        SCOPED_TRACE(card.Name);
        TempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        std::string image = MakeCard(dir, card);
        ASSERT_EQ(::chmod(image.c_str(), 0444), 0);
        std::string out = dir.File("out");
        ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
        ASSERT_EQ(::chmod(out.c_str(), 0777), 0);
        struct stat before {};
        ASSERT_EQ(::stat(image.c_str(), &before), 0);
        std::string bytes = test::ReadFileBytes(image);

        std::string as = root ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
        if (root) {
            // The unprivileged user really cannot write to the image.
            std::string probe;
            ASSERT_NE(test::RunCommand(as + "sh -c " + ShellQuote(": >> " + ShellQuote(image)), &probe), 0);
        }
        std::string output;
        int code = test::RunCommand(
            as + ShellQuote(kProgram) + " -q " + ShellQuote(image) + " " + ShellQuote(out), &output);
        EXPECT_EQ(code, 0) << output;
        EXPECT_GE(test::ListFilesRecursive(out).size(), 4u) << output;

        struct stat after {};
        ASSERT_EQ(::stat(image.c_str(), &after), 0);
        EXPECT_TRUE(test::ReadFileBytes(image) == bytes) << "the image changed";
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
}

TEST(ReadOnlySourceCli, EveryOpenOfTheImageIsReadOnly) {
    if (test::RunCommand("strace -o /dev/null true") != 0) GTEST_SKIP() << "strace cannot trace here";
    for (const Card& card : kCards) {
        SCOPED_TRACE(card.Name);
        TempDir dir;
        std::string image = MakeCard(dir, card);
        std::string trace = dir.File("trace");
        std::string output;
        // The leak checker of a sanitizer build cannot run under ptrace: it is off for this run.
        int code = test::RunCommand(
            "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=open,openat,openat2,creat,truncate -o " +
                ShellQuote(trace) + " " + ShellQuote(kProgram) + " -q " + ShellQuote(image) + " " +
                ShellQuote(dir.File("out")),
            &output);
        EXPECT_EQ(code, 0) << output;

        int opens = 0;
        std::string text = test::ReadFileBytes(trace);
        std::istringstream lines(text);
        for (std::string call; std::getline(lines, call);) {
            if (call.find("\"" + image + "\"") == std::string::npos) continue;
            ++opens;
            EXPECT_NE(call.find("O_RDONLY"), std::string::npos) << call;
            for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"})
                EXPECT_EQ(call.find(flag), std::string::npos) << call;
            EXPECT_EQ(call.find("truncate("), std::string::npos) << call;
            EXPECT_EQ(call.find("creat("), std::string::npos) << call;
        }
        // The image is opened at all (the whole device, and a partition or the volume).
        EXPECT_GE(opens, 1) << text;
    }
}

} // namespace
} // namespace qrt
