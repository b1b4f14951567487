// Copies a 256 MiB contiguous chain from an image file through TxDiskStream::CopyToStream and
// compares its speed with a plain sequential read of the same bytes.
//
//   disk_copy_bench [image folder]     (default: the system's temporary folder)
//
// Each way is timed warm (the image in the page cache: the layer's own overhead) and cold (the
// cache dropped for the image before every run: the medium's speed).

#include "BenchUtil.h"

#include "disk/DiskAccessor.h"
#include "disk/DiskStream.h"
#include "disk/FileSystem.h"

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

constexpr uint32_t kSectorsPerCluster = 64; // 32 KiB clusters
constexpr uint32_t kClusterBytes = kSectorsPerCluster * 512;
constexpr uint32_t kChainBytes = 256u * 1024 * 1024;
constexpr uint32_t kClusters = kChainBytes / kClusterBytes;
constexpr uint32_t kFirst = 2;

// Cluster c starts at sector 64 × c; the chain is clusters 2 .. 2 + kClusters - 1.
class BenchFileSystem : public TxFileSystem {
public:
    explicit BenchFileSystem(TxDiskAccessor* aDisk) : TxFileSystem(aDisk) {
        fSectorsPerCluster = kSectorsPerCluster;
        ClusterCount = kFirst + kClusters;
    }
    PxClusterChain GetClusterChain(uint32_t, int64_t) override { return nullptr; }
    PxClusterChain CollectClusters(int64_t, uint8_t, const TxClusterFilter&, int64_t) override {
        return nullptr;
    }
    const TxAccessorClass* GetAccessorClass(int32_t) override { return nullptr; }
    uint8_t ProbeDirectory(const TxDiskAddress&, int32_t&, int32_t, int32_t&, TxDiskAddress&,
                           TxDiskAddress&) override {
        return 0;
    }
    TxDirectoryAccessor* GetRootDirectory() override { return nullptr; }
    uint32_t ClusterToSector(uint32_t aCluster) override { return aCluster * kSectorsPerCluster; }
    uint32_t GetNextCluster(uint32_t) override { return 0; }
    void GetClusterState(uint32_t, uint8_t& aState) override { aState = 0; }
};

// A destination that only counts what it is given.
class NullStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t aCount) override {
        fWritten += aCount;
        return aCount;
    }
    int64_t Seek(int64_t aOffset, int) override { return aOffset; }
    void SetSize(int64_t) override {}
    int64_t fWritten = 0;
};

double PlainRead(const std::string& aPath) {
    auto start = std::chrono::steady_clock::now();
    int fd = ::open(aPath.c_str(), O_RDONLY);
    ::lseek(fd, off_t{kFirst} * kClusterBytes, SEEK_SET);
    std::vector<char> buffer(262144);
    uint64_t left = kChainBytes, sum = 0;
    while (left > 0) {
        ssize_t got = ::read(fd, buffer.data(), std::min<uint64_t>(left, buffer.size()));
        if (got <= 0) break;
        sum += static_cast<unsigned char>(buffer[0]);
        left -= static_cast<uint64_t>(got);
    }
    ::close(fd);
    double s = Seconds(start);
    if (left != 0)
        std::fprintf(stderr, "plain read came back short (%llu)\n", static_cast<unsigned long long>(sum));
    return s;
}

double ChainCopy(TxDiskAccessor* aDisk) {
    PxClusterChain chain = nullptr;
    NewClusterChain(chain, static_cast<int32_t>(kClusters));
    for (uint32_t i = 0; i < kClusters; ++i)
        AddCluster(chain, kFirst + i);
    auto start = std::chrono::steady_clock::now();
    auto stream = TxDiskStream::CreateOnChain(aDisk, -1, chain); // the stream disposes the chain
    NullStream sink;
    stream->CopyToStream(sink);
    double s = Seconds(start);
    if (sink.fWritten != kChainBytes) std::fprintf(stderr, "copy came back short\n");
    return s;
}

double MBps(double aSeconds) {
    return kChainBytes / (1024.0 * 1024.0) / aSeconds;
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    std::string image = folder + "/qrt-disk-copy-bench.img";
    {
        int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            std::perror(image.c_str());
            return 1;
        }
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + 7);
        for (uint64_t written = 0; written < uint64_t{kFirst} * kClusterBytes + kChainBytes;
             written += block.size())
            if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) return 1;
        ::fsync(fd);
        ::close(fd);
    }

    TxDiskAccessor disk;
    disk.fParams.DevicePath = image;
    disk.Open(true);
    disk.fFileSystem = new BenchFileSystem(&disk);

    const int kRuns = 5;
    for (bool cold : {false, true}) {
        double bestPlain = 1e9, bestCopy = 1e9;
        if (!cold) PlainRead(image); // warm the cache
        for (int run = 0; run < kRuns; ++run) {
            if (cold) DropCache(image);
            bestPlain = std::min(bestPlain, PlainRead(image));
            if (cold) DropCache(image);
            bestCopy = std::min(bestCopy, ChainCopy(&disk));
        }
        std::printf("%s cache: plain sequential read %8.1f MB/s, chain CopyToStream %8.1f MB/s (%.0f%%)\n",
                    cold ? "cold" : "warm", MBps(bestPlain), MBps(bestCopy), 100.0 * bestPlain / bestCopy);
    }
    ::unlink(image.c_str());
    return 0;
}
