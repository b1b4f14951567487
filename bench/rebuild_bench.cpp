// Times the boot record rebuild of a FAT32 volume whose boot sectors are gone against a plain
// sequential read of the same volume. The volume holds only two directories, so the rebuild reads it
// to its end (its worst case).
//
//   rebuild_bench [image folder] [size in MiB]   (defaults: the system's temporary folder, 512)
//
// Needs mkfs.fat and mtools. Each way is timed warm (the image in the page cache: the rebuild's own
// work) and cold (the cache dropped before every run: the medium's speed).

#include "BenchUtil.h"

#include "disk/DiskAccessor.h"
#include "fat/BootRecordRebuild.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace qrt;
using qrt::bench::DropCache;
using qrt::bench::Seconds;

namespace {

double PlainRead(const std::string& aPath) {
    auto start = std::chrono::steady_clock::now();
    int fd = ::open(aPath.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 20);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
    return Seconds(start);
}

double Rebuild(const std::string& aPath, bool& aOk) {
    TxDiskAccessor disk;
    disk.fParams.DevicePath = aPath;
    disk.Open(true);
    auto start = std::chrono::steady_clock::now();
    TxBootRecordRebuild rebuild(&disk);
    aOk = rebuild.Run() && rebuild.FatBits == 32;
    return Seconds(start);
}

int Run(const std::string& aCommand) {
    return std::system(aCommand.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    int mib = argc > 2 ? std::atoi(argv[2]) : 512;
    std::string image = folder + "/qrt-rebuild-bench.img";
    std::string quoted = "'" + image + "'";
    ::unlink(image.c_str());
    if (Run("mkfs.fat -C -F 32 " + quoted + " " + std::to_string(mib * 1024) + " >/dev/null") != 0 ||
        Run("MTOOLS_SKIP_CHECK=1 mmd -i " + quoted + " ::/One ::/One/Two") != 0 ||
        Run("dd if=/dev/zero of=" + quoted + " bs=512 count=12 conv=notrunc status=none") != 0) {
        std::fprintf(stderr, "cannot make the image\n");
        return 1;
    }
    const int kRuns = 3;
    for (bool cold : {false, true}) {
        double bestPlain = 1e9, bestRebuild = 1e9;
        bool ok = true;
        if (!cold) PlainRead(image);
        for (int run = 0; run < kRuns; ++run) {
            if (cold) DropCache(image);
            bestPlain = std::min(bestPlain, PlainRead(image));
            if (cold) DropCache(image);
            bool built = false;
            bestRebuild = std::min(bestRebuild, Rebuild(image, built));
            ok = ok && built;
        }
        std::printf("%s cache, %d MiB: plain sequential read %.3f s, rebuild %.3f s (%.2f times)%s\n",
                    cold ? "cold" : "warm", mib, bestPlain, bestRebuild, bestRebuild / bestPlain,
                    ok ? "" : "  REBUILD FAILED");
    }
    ::unlink(image.c_str());
    return 0;
}
