// Allocation tables: the choice of a FAT copy, chain walks (GetClusterChain), the chain catalogue
// and CollectClusters with filters, over tables made of fuzz data.
//
// Input: a mode byte, 16 bytes of parameters for the CollectClusters calls, then the entries of FAT
// copy 0 from cluster 2 on.
//   mode bits 0-1: FAT12 (0), FAT16 (1 and 2), FAT32 (3)       bits 2-3: 1, 2, 4 or 8 sectors per cluster
//   bit 4: copy 1 is the same as copy 0 (else empty)  bit 5: three copies, copy 2 the same as copy 0
//   bit 6: FAT32 mirroring off with copy 1 active

#include "FuzzSupport.h"
#include "FuzzVolume.h"

#include "core/Exceptions.h"
#include "disk/ClusterChain.h"
#include "disk/DiskAccessor.h"
#include "fat/FATxStream.h"
#include "fat/FileSystemFAT.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace qrt;
using namespace qrt::fuzz;

namespace {

// A chain a walk or a collection returns: data clusters only, none twice.
void CheckChainClusters(TFileSystemFATx* aFs, const TxClusterChain* aChain) {
    if (!aChain) return;
    Expect(aChain->ItemCount >= 0 && aChain->ItemCount <= aChain->Length, "chain count within its capacity");
    Expect(aChain->ItemCount <= static_cast<int32_t>(aFs->ClusterCount), "chain no longer than the volume");
    std::vector<uint32_t> clusters(aChain->Clusters.begin(), aChain->Clusters.begin() + aChain->ItemCount);
    for (uint32_t c : clusters)
        Expect(c >= 2 && c < aFs->ClusterCount, "chain holds only data clusters");
    std::sort(clusters.begin(), clusters.end());
    Expect(std::adjacent_find(clusters.begin(), clusters.end()) == clusters.end(),
           "no cluster twice in a chain");
}

void Dispose(PxClusterChain& aChain) {
    if (aChain && !aChain->Owner) DisposeClusterChain(aChain);
}

void CollectWith(TFileSystemFATx* aFs, TInputReader& aParams) {
    uint16_t start = aParams.U16();
    uint8_t kind = aParams.Byte();
    uint8_t count = aParams.Byte();
    uint8_t state = kind & 7; // 0 any, 2..5 the states; 1, 6, 7 match nothing
    uint32_t calls = 0;
    uint32_t stride = (kind >> 5) + 1;
    TxClusterFilter filter;
    switch ((kind >> 3) & 3) {
    case 1: // every other cluster
        filter = [](uint32_t aCluster, uint8_t, int32_t, int64_t&) { return (aCluster & 1) != 0; };
        break;
    case 2: // the scan ends after some calls, as the lost-directory filter ends it
        filter = [&calls, count](uint32_t, uint8_t, int32_t, int64_t& aPosition) {
            if (++calls > count / 4u) {
                aPosition = -1;
                return false;
            }
            return true;
        };
        break;
    case 3: // the filter moves the scan, forwards or anywhere
        filter = [&calls, stride, start](uint32_t aCluster, uint8_t, int32_t, int64_t& aPosition) {
            aPosition = (++calls % 3 == 0) ? int64_t{start} - 7 : int64_t{aCluster} + stride;
            return (calls & 1) != 0;
        };
        break;
    default:
        break;
    }
    int64_t wanted = count == 255 ? -1 : count;
    int64_t from = start == 0xFFFF ? -1 : start;
    PxClusterChain chain = aFs->CollectClusters(from, state, filter, wanted);
    CheckChainClusters(aFs, chain);
    if (chain && wanted > 0) Expect(chain->ItemCount <= wanted, "no more clusters collected than asked for");
    if (chain && chain->ItemCount > 0) {
        // Growing a chain by the clusters that follow it, as a lost directory grows.
        aFs->AppendNextClusters(chain, csFree, filter, wanted);
        Expect(chain->ItemCount <= static_cast<int32_t>(2 * aFs->ClusterCount), "appending stays bounded");
    }
    Dispose(chain);
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
    TInputReader params(input.Rest(), std::min<size_t>(input.RestSize(), 16));
    for (int i = 0; i < 16; ++i)
        input.Byte();

    int bits = (mode & 3) == 0 ? 12 : (mode & 3) == 3 ? 32 : 16;
    TFuzzVolume volume = TFuzzVolume::Make(bits, 1u << ((mode >> 2) & 3), (mode & 0x20) ? 3 : 2);
    std::array<uint8_t, 512> boot = volume.BootSector();
    if (bits == 32 && (mode & 0x40)) boot[40] = 0x81;

    std::vector<uint8_t> table = volume.EmptyFAT();
    size_t entry2 = bits == 12 ? 3 : bits == 16 ? 4 : 8;
    size_t n = std::min(input.RestSize(), table.size() - entry2);
    std::memcpy(table.data() + entry2, input.Rest(), n);

    image.Reset(volume.ImageBytes());
    image.Write(0, boot.data(), boot.size());
    image.Write(volume.FATOffset(0), table.data(), table.size());
    if (mode & 0x10) image.Write(volume.FATOffset(1), table.data(), table.size());
    if (volume.FATCount > 2) image.Write(volume.FATOffset(2), table.data(), table.size());

    std::unique_ptr<TxDiskAccessor> disk = OpenDevice(image.Path());
    try {
        disk->MountFileSystem();
        auto* fs = dynamic_cast<TFileSystemFATx*>(disk->fFileSystem);
        Expect(fs != nullptr && fs->GetFATBits() == bits, "the built volume mounts as its type");
        Expect(fs->ClusterCount == volume.Clusters + 2, "cluster bound of the built volume");

        Expect(fs->ChooseFATCopy(), "a readable copy is always chosen");
        for (int32_t i = 0; i < fs->fFATCount; ++i) {
            int32_t problem = 0;
            uint32_t problems = 0;
            uint8_t result = fs->CheckFATCopy(i, problem, problems);
            Expect((result == 5) == (problems == 0 && problem == 0),
                   "a copy is sound exactly without problems");
            if (i > 0) fs->SameFATCopies(0, i);
        }

        // Entry readers and chain walks over the clusters the input describes (and a few beyond).
        uint32_t covered = static_cast<uint32_t>(std::min<uint64_t>(
            fs->ClusterCount, 2 + (n * 8 + static_cast<size_t>(bits) - 1) / static_cast<size_t>(bits) + 8));
        covered = std::min<uint32_t>(covered, 600);
        TxDiskStream* current = fs->GetCurrentFAT();
        current->LoadData();
        {
            TxFATDataLock lock(current);
            for (uint32_t c = 2; c < covered; ++c) {
                uint8_t state = 0;
                uint32_t value = fs->ReadFATEntryState(lock.Data(), c, state);
                Expect(value == fs->ReadFATEntry(lock.Data(), c), "the two readers agree");
                Expect(value == fs->GetNextCluster(c), "GetNextCluster reads the current copy");
                uint8_t again = 0;
                fs->GetClusterState(c, again);
                Expect(state == again, "GetClusterState classifies as the reader does");
                Expect(state >= csFree && state <= csBad, "a state of the four");
            }
        }
        for (uint32_t c = 2; c < covered; ++c) {
            PxClusterChain chain = fs->GetClusterChain(c, (c & 1) ? -1 : int64_t{c} * 1000);
            CheckChainClusters(fs, chain);
            Expect(chain && chain->ItemCount > 0 && chain->Clusters[0] == c, "a walk starts at its cluster");
            Dispose(chain);
        }

        // The catalogue: chains filed by the clusters they start at, then relinked.
        for (uint32_t c = 2; c < std::min<uint32_t>(covered, 96); c += 1 + (c % 3)) {
            PxClusterChain chain = nullptr;
            fs->FindFileChain(c, chain, 1);
            CheckChainClusters(fs, chain);
        }
        fs->_relinkChains();
        fs->CheckChainList(fs->fFileChains);

        for (int i = 0; i < 4; ++i)
            CollectWith(fs, params);
    } catch (const Exception&) {
        // Consistency failures and read errors are the system's answer to a table it cannot use.
    }
    return 0;
}
