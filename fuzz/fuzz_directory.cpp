// FAT directories: the directory reader TDirectoryFATx (long names, deleted entries, the end
// marker), the entry check, the directory probes, subdirectories opened from entries, and the
// live-tree scan that catalogues the tree, over directory bytes made of fuzz data.
//
// Input: a mode byte, a run-length byte, then the volume's bytes from its root directory on: on
// FAT12/16 the fixed root area and then the data clusters from cluster 2, on FAT32 the data clusters
// from cluster 2 (the root directory's chain starts there).
//   mode bits 0-1: FAT12 (0), FAT16 (1 and 2), FAT32 (3)   bits 2-3: 1, 2, 4 or 8 sectors per cluster
// The allocation table chains the clusters the input covers in runs of (run-length byte % 16) + 1
// consecutive clusters, each run ending with an end-of-chain entry.

#include "FuzzSupport.h"
#include "FuzzVolume.h"

#include "core/Exceptions.h"
#include "disk/DirectoryAccessor.h"
#include "disk/DiskAccessor.h"
#include "fat/DirectoryFAT.h"
#include "fat/FileSystemFAT.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace qrt;
using namespace qrt::fuzz;

namespace {

constexpr int kMaxDepth = 3;
constexpr int kMaxEntries = 2000;

struct TWalk {
    TFileSystemFATx* Fs;
    int Entries = 0;
};

void ReadDirectory(TWalk& aWalk, TxDirectoryAccessor* aDir, int aDepth) {
    TxSearchRec rec;
    std::vector<TxSearchRec> subdirectories;
    std::vector<std::string> names;
    if (aDir->FindFirst("*.*", faAnyFile, sfLive | sfDeleted, rec) == kFindOk) {
        try {
            do {
                Expect(!rec.Name.empty(), "a returned entry has a name");
                Expect(rec.Name == rec.FindData.cFileName, "the search record and its find data agree");
                Expect(rec.Name.find('\0') == std::string::npos, "no NUL inside a name");
                if (auto* fat = dynamic_cast<TDirectoryFATx*>(aDir)) {
                    TFATDirEntry raw{};
                    fat->GetRawEntry(rec.FindHandle->CurrentIndex, raw);
                    int32_t problem = 0;
                    aWalk.Fs->CheckDirEntry(std::span<const uint8_t, 32>(raw.data(), 32), problem, true);
                    aWalk.Fs->CheckDirEntry(std::span<const uint8_t, 32>(raw.data(), 32), problem, false);
                }
                if ((rec.Attr & faDirectory) && rec.Name != "." && rec.Name != ".." &&
                    subdirectories.size() < 4) {
                    TxSearchRec copy;
                    copy.Name = rec.Name;
                    copy.Attr = rec.Attr;
                    copy.Size = rec.Size;
                    copy.FindData = rec.FindData;
                    copy.FindHandle = std::make_unique<TxSearchState>(*rec.FindHandle);
                    subdirectories.push_back(std::move(copy));
                }
                if (names.size() < 4) names.push_back(rec.Name);
            } while (++aWalk.Entries < kMaxEntries && aDir->FindNext(rec) == kFindOk);
        } catch (...) {
            aDir->FindClose(rec);
            throw;
        }
        aDir->FindClose(rec);
    }
    for (const std::string& name : names) {
        TxSearchRec found;
        if (aDir->FindEntry(name, faAnyFile, sfLive | sfDeleted, found) == kFindOk) aDir->FindClose(found);
    }
    if (aDepth >= kMaxDepth) return;
    for (const TxSearchRec& sub : subdirectories) {
        try {
            std::unique_ptr<TxDirectoryAccessor> child = aDir->OpenSubdirectoryEntry(sub);
            ReadDirectory(aWalk, child.get(), aDepth + 1);
        } catch (const Exception&) {
            // A subdirectory entry that leads nowhere usable; its siblings are still read.
        }
    }
}

void Probe(TFileSystemFATx* aFs, uint32_t aCluster) {
    int32_t code = 0;
    int32_t sound = 0;
    TxDiskAddress self;
    TxDiskAddress parent;
    for (int32_t deep = 0; deep < 2; ++deep) {
        uint8_t result = aFs->ProbeDirectory(ClusterAddress(static_cast<int32_t>(aCluster)), code, deep,
                                             sound, self, parent);
        Expect(result <= crSound, "a probe result of the scale");
        // A directory start names itself and its parent as its dot entries give them; a cluster
        // number of 0xFFFFFFFF there reads as none, so callers check the addresses themselves.
        if (result == crSound && !IsNullAddress(self))
            Expect(!IsNullAddress(parent), "a sound directory start names its parent");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
    static TMemoryImage image;
    TInputReader input(aData, aSize);
    uint8_t mode = input.Byte();
    uint32_t run = (input.Byte() % 16u) + 1;
    int bits = (mode & 3) == 0 ? 12 : (mode & 3) == 3 ? 32 : 16;
    TFuzzVolume volume =
        TFuzzVolume::Make(bits, bits == 32 ? 1u << ((mode >> 2) & 1) : 1u << ((mode >> 2) & 3));

    uint64_t dataStart = bits == 32 ? volume.ClusterOffset(2) : volume.RootOffset();
    uint64_t inCluster = volume.DataOffset() < dataStart + input.RestSize()
                             ? dataStart + input.RestSize() - volume.DataOffset()
                             : 0;
    uint32_t clusters = static_cast<uint32_t>(
        std::min<uint64_t>((inCluster + volume.ClusterBytes() - 1) / volume.ClusterBytes(), volume.Clusters));
    if (bits == 32) clusters = std::max<uint32_t>(clusters, 1);

    std::vector<uint8_t> table = volume.EmptyFAT();
    for (uint32_t i = 0; i < clusters; ++i) {
        uint32_t c = 2 + i;
        bool last = (i + 1) % run == 0 || i + 1 == clusters;
        volume.PutEntry(table, c, last ? volume.EndOfChain() : c + 1);
    }
    std::array<uint8_t, 512> boot = volume.BootSector();
    image.Reset(volume.ImageBytes());
    image.Write(0, boot.data(), boot.size());
    for (uint32_t copy = 0; copy < volume.FATCount; ++copy)
        image.Write(volume.FATOffset(copy), table.data(), table.size());
    image.Write(dataStart, input.Rest(), input.RestSize());

    std::unique_ptr<TxDiskAccessor> disk = OpenDevice(image.Path());
    try {
        disk->MountFileSystem();
        auto* fs = dynamic_cast<TFileSystemFATx*>(disk->fFileSystem);
        Expect(fs != nullptr && fs->GetFATBits() == bits, "the built volume mounts as its type");

        TWalk walk{fs};
        TxDirectoryAccessor* root = fs->GetRootDirectory();
        Expect(root != nullptr, "a mounted volume has a root directory");
        std::unique_ptr<TxDirectoryAccessor> view = root->CreateSibling();
        view->Assign(root);
        ReadDirectory(walk, view.get(), 0);
        // A view over a catalogued chain must not outlive the catalogue the scan below rebuilds.
        view.reset();

        int32_t code = 0;
        fs->ProbeRoot(code, 0);
        for (uint32_t c = 2; c < 2 + std::min<uint32_t>(clusters, 64); ++c)
            Probe(fs, c);
        fs->FindRootDirectory(-1);

        // The live-tree scan catalogues what the tree reaches; a second scan starts afresh.
        fs->TxFileSystem::Scan();
        fs->CheckChainList(fs->fDirectoryChains);
        fs->CheckChainList(fs->fFileChains);
        fs->TxFileSystem::Scan();
    } catch (const Exception&) {
        // Consistency failures are the system's answer to entries it cannot use.
    }
    return 0;
}
