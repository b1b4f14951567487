// The source is never written. A whole recovery runs over an image that can only be read: the file
// is made read-only and, as the tests run as root (who may write to it anyway), the run happens in a
// child process that has given up root for the unprivileged user "nobody". The image must come out
// byte for byte as it went in, with its modification time unchanged.

#include "FatImage.h"
#include "TestUtil.h"

#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "engine/dmMain.h"
#include "fat/FATRegistration.h"
#include "fat/FileSystemFAT.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qrt::test {
namespace {

struct Stamp {
    std::string Bytes;
    timespec Modified;
};

Stamp StampOf(const std::string& aPath) {
    struct stat st {};
    EXPECT_EQ(::stat(aPath.c_str(), &st), 0);
    return {ReadFileBytes(aPath), st.st_mtim};
}

// Recovers the volume of an image as the command line does: a FAT boot record at sector 0, else
// the first partition with a FAT volume, else a boot record rebuilt from the directories. Returns the
// number of files saved (-1 when no volume could be used).
int32_t RecoverImage(const std::string& aImage, const std::string& aOutput) {
    RegisterFATFileSystems();
    TxDiskAccessor disk;
    disk.fParams.DevicePath = aImage;
    disk.Open(true);
    TxDiskAccessor* volume = nullptr;
    if (FindFileSystemClass(&disk)) {
        disk.MountFileSystem();
        volume = &disk;
    } else {
        disk.LoadPartitionTable();
        if (disk.fPartitionTable && disk.fPartitionTable->GetPartitionCount() > 0)
            volume = disk.fPartitionTable->GetPartition(0);
        else if (TFileSystemFATx::MountRebuilt(&disk))
            volume = &disk;
    }
    if (!volume || !volume->fFileSystem) return -1;
    TdmodMain engine;
    engine.SetDisk(volume);
    engine.SetOutputFolder(aOutput);
    engine.RecoverFileSystem(volume->fFileSystem);
    return engine.fSavedFileCount;
}

// Runs aWork in a child process as "nobody" (when the tests run as root) and returns its exit code;
// the child first proves that it cannot open aSource for writing (code 90 otherwise).
int RunAsNobody(const std::string& aSource, const std::function<int()>& aWork) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0) {
            passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0)
                ::_exit(91);
        }
        int fd = ::open(aSource.c_str(), O_RDWR);
        if (fd >= 0 || errno != EACCES) ::_exit(90);
        int code = 92;
        try {
            code = aWork();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ReadOnlySource, AWholeRunLeavesTheImageAsItWas) {
    struct Case {
        const char* Name;
        int FatBits;
        bool Partitioned;
        bool WithoutBootSector; // sector 0 gone: the boot record is rebuilt from the directories
    };
    const Case cases[] = {
        {"FAT12", 12, false, false},
        {"FAT32 behind a partition table", 32, true, false},
        {"FAT16 without boot sector", 16, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        FatImage::Options options;
        options.FatBits = c.FatBits;
        options.SizeKiB = c.FatBits == 12 ? 1440 : c.FatBits == 16 ? 16384 : 40000;
        std::string path = dir.File("card.img");
        FatImage image = c.Partitioned ? FatImage::Partitioned(path, options, 2048) : FatImage(path, options);
        FillSampleCard(image);
        if (c.WithoutBootSector) image.ZeroSectors(0, 1);
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        const std::string out = dir.File("out");
        ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
        ASSERT_EQ(::chmod(out.c_str(), 0777), 0);
        Stamp before = StampOf(path);

        int code = RunAsNobody(path, [&] { return RecoverImage(path, out) >= 4 ? 0 : 93; });
        EXPECT_EQ(code, 0);
        Stamp after = StampOf(path);
        EXPECT_TRUE(after.Bytes == before.Bytes) << "the image changed";
        EXPECT_EQ(after.Modified.tv_sec, before.Modified.tv_sec);
        EXPECT_EQ(after.Modified.tv_nsec, before.Modified.tv_nsec);
        EXPECT_FALSE(ListFilesRecursive(out).empty());
    }
}

} // namespace
} // namespace qrt::test
