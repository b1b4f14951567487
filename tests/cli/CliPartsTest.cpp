// The parts of qrt-recover that need no volume: the command line, the status line and the mount
// table reader.

#include "TestUtil.h"

#include "cli/CliOptions.h"
#include "cli/ConsoleView.h"
#include "platform/MountInfo.h"

#include <string>
#include <vector>

namespace qrt {
namespace {

TEST(CliOptionsTest, ArgumentsAndTheirErrors) {
    struct Case {
        std::vector<std::string> Args;
        bool Ok;
        const char* Source;
        const char* Output;
        int32_t Partition;
        const char* Error;
    } cases[] = {
        {{"card.img"}, true, "card.img", "", 0, ""},
        {{"/dev/sdb", "out"}, true, "/dev/sdb", "out", 0, ""},
        {{"-p", "2", "card.img", "out"}, true, "card.img", "out", 2, ""},
        {{"card.img", "--partition=4"}, true, "card.img", "", 4, ""},
        {{"--partition", "3", "--quiet", "--", "-odd name", "out"}, true, "-odd name", "out", 3, ""},
        {{}, false, "", "", 0, "missing SOURCE"},
        {{"a", "b", "c"}, false, "", "", 0, "too many arguments (c)"},
        {{"--partition", "5", "a"}, false, "", "", 0, "invalid partition slot '5' (1 to 4)"},
        {{"--partition=0", "a"}, false, "", "", 0, "invalid partition slot '0' (1 to 4)"},
        {{"a", "--partition"}, false, "", "", 0, "option --partition needs a partition slot (1 to 4)"},
        {{"--frobnicate", "a"}, false, "", "", 0, "unknown option --frobnicate"},
        {{"--list", "a", "b"}, false, "", "", 0, "--list takes no OUTPUT"},
        {{"a", ""}, false, "", "", 0, "OUTPUT is empty"},
    };
    for (const Case& c : cases) {
        TCliOptions options;
        std::string error;
        std::string trace;
        for (const std::string& a : c.Args)
            trace += "[" + a + "]";
        SCOPED_TRACE(trace);
        EXPECT_EQ(ParseCliOptions(c.Args, options, error), c.Ok);
        EXPECT_EQ(error, c.Error);
        if (!c.Ok) continue;
        EXPECT_EQ(options.Source, c.Source);
        EXPECT_EQ(options.Output, c.Output);
        EXPECT_EQ(options.Partition, c.Partition);
    }
    TCliOptions help;
    std::string error;
    EXPECT_TRUE(ParseCliOptions({"--help"}, help, error));
    EXPECT_TRUE(help.Help);
    EXPECT_TRUE(ParseCliOptions({"-V"}, help, error));
    EXPECT_TRUE(help.Version);
}

TEST(ConsoleViewTest, TheStatusLineFitsTheTerminalAndKeepsTheEndOfThePath) {
    TConsoleView view(false);
    view.SetDirectoryText("\\DCIM\\100CAMRA");
    view.SetFileText("IMG_0001.JPG");
    view.SetElapsedText("Time elapsed: 0:00:01.50");
    view.SetPercent(42);
    EXPECT_EQ(view.StatusLine(200), " 42% Time elapsed: 0:00:01.50  \\DCIM\\100CAMRA  IMG_0001.JPG");
    std::string narrow = view.StatusLine(50);
    EXPECT_EQ(narrow.size(), 49u);
    EXPECT_EQ(narrow, " 42% Time elapsed: 0:00:01.50  ...A  IMG_0001.JPG");
    EXPECT_EQ(view.StatusLine(10).size(), 9u);
    EXPECT_EQ(OneLine("a\r\n  Fragment #1:\r\n    5,6\r\n]"), "a   Fragment #1:     5,6 ]");
}

TEST(MountInfoTest, LinesOfTheMountTableAndTheMountHoldingAPath) {
    const std::string text = "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
                             "28 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "40 28 8:17 / /media/card rw,relatime - vfat /dev/sdb1 rw\n"
                             "41 28 7:0 / /mnt/with\\040blank rw - ext2 /dev/loop0 rw\n"
                             "42 40 8:18 / /media/card/inner rw - vfat /dev/sdb2 rw\n"
                             "broken line\n";
    std::vector<TMountEntry> mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[1].Source, "/dev/sda1");
    EXPECT_EQ(mounts[2].Major, 8u);
    EXPECT_EQ(mounts[2].Minor, 17u);
    EXPECT_EQ(mounts[3].MountPoint, "/mnt/with blank");
    struct Case {
        const char* Path;
        const char* Source;
    } cases[] = {
        {"/home/user/out", "/dev/sda1"},      {"/media/card", "/dev/sdb1"},
        {"/media/card/DCIM", "/dev/sdb1"},    {"/media/cardigan", "/dev/sda1"},
        {"/media/card/inner/x", "/dev/sdb2"}, {"/mnt/with blank/a", "/dev/loop0"},
    };
    for (const Case& c : cases) {
        const TMountEntry* m = FindMountOf(mounts, c.Path);
        ASSERT_NE(m, nullptr) << c.Path;
        EXPECT_EQ(m->Source, c.Source) << c.Path;
    }
}

TEST(MountInfoTest, AnImageFileIsNeverTheDeviceOfAnOrdinaryFolder) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("card.img"), std::string(4096, '\0'));
    EXPECT_FALSE(OutputLiesOnSource(dir.File("out"), dir.File("card.img")));
    EXPECT_FALSE(OutputLiesOnSource(dir.File("out"), dir.File("missing.img")));
}

} // namespace
} // namespace qrt
