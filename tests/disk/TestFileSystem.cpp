#include "TestFileSystem.h"

#include "disk/DiskStream.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qrt::test {

namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

std::vector<uint8_t> ReadSectors(TxDiskAccessor* aDisk, uint32_t aSector, uint32_t aCount) {
    std::vector<uint8_t> data(size_t{aCount} * aDisk->fParams.BytesPerSector);
    uint32_t got = aDisk->Read(SectorAddress(static_cast<int32_t>(aSector)), data.data(),
                               static_cast<uint32_t>(data.size()));
    if (got != data.size()) throw std::runtime_error("short read of the test volume");
    return data;
}

} // namespace

TTestFileSystem::TTestFileSystem(TxDiskAccessor* aDisk, uint32_t aSectorsPerCluster,
                                 uint32_t aClusterZeroSector, uint32_t aClusterCount)
    : TxFileSystem(aDisk) {
    fSectorsPerCluster = aSectorsPerCluster;
    fClusterZeroSector = aClusterZeroSector;
    ClusterCount = aClusterCount;
    Table.assign(aClusterCount, 0);
}

TTestFileSystem* TTestFileSystem::MountFat16(TxDiskAccessor* aDisk) {
    std::vector<uint8_t> boot = ReadSectors(aDisk, 0, 1);
    uint32_t bytesPerSector = Le16(&boot[11]);
    uint32_t sectorsPerCluster = boot[13];
    uint32_t reserved = Le16(&boot[14]);
    uint32_t fatCount = boot[16];
    uint32_t rootEntries = Le16(&boot[17]);
    uint32_t totalSectors = Le16(&boot[19]) ? Le16(&boot[19]) : Le32(&boot[32]);
    uint32_t fatSectors = Le16(&boot[22]);
    uint32_t rootSectors = (rootEntries * 32 + bytesPerSector - 1) / bytesPerSector;
    uint32_t dataStart = reserved + fatCount * fatSectors + rootSectors;
    uint32_t clusterCount = (totalSectors - dataStart) / sectorsPerCluster + 2;

    auto* fs = new TTestFileSystem(aDisk, sectorsPerCluster, dataStart - 2 * sectorsPerCluster, clusterCount);
    fs->RootDirSector = reserved + fatCount * fatSectors;
    fs->RootDirSectors = rootSectors;
    fs->fRootAddress = SectorAddress(static_cast<int32_t>(fs->RootDirSector));
    std::vector<uint8_t> fat = ReadSectors(aDisk, reserved, fatSectors);
    for (uint32_t c = 2; c < clusterCount; ++c) {
        uint32_t next = Le16(&fat[size_t{c} * 2]);
        fs->Table[c] = next >= 0xFFF8 ? EndOfChain : next == 0xFFF7 ? BadCluster : next;
    }
    return fs;
}

void TTestFileSystem::Link(std::initializer_list<uint32_t> aClusters) {
    const uint32_t* prev = nullptr;
    for (const uint32_t& c : aClusters) {
        if (prev) Table.at(*prev) = c;
        prev = &c;
    }
    if (prev) Table.at(*prev) = EndOfChain;
}

std::vector<TTestFileSystem::Entry> TTestFileSystem::RootEntries() {
    std::vector<uint8_t> dir = ReadSectors(fDisk, RootDirSector, RootDirSectors);
    std::vector<Entry> entries;
    for (size_t at = 0; at + 32 <= dir.size(); at += 32) {
        const uint8_t* e = &dir[at];
        if (e[0] == 0) break;
        uint8_t attr = e[11];
        if (e[0] == 0xE5 || attr == 0x0F || (attr & 0x18) != 0) continue;
        std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e) + 8, 3);
        base.erase(base.find_last_not_of(' ') + 1);
        ext.erase(ext.find_last_not_of(' ') + 1);
        entries.push_back({ext.empty() ? base : base + "." + ext, Le16(e + 26), Le32(e + 28)});
    }
    return entries;
}

TTestFileSystem::Entry TTestFileSystem::RootEntry(const std::string& aName) {
    for (const Entry& e : RootEntries())
        if (e.Name == aName) return e;
    throw std::runtime_error("no root entry " + aName);
}

PxClusterChain TTestFileSystem::GetClusterChain(uint32_t aFirstCluster, int64_t aSize) {
    ++GetClusterChainCalls;
    PxClusterChain chain = nullptr;
    if (aSize > 0) NewClusterChain(chain, static_cast<int32_t>(aSize / GetBytesPerCluster()));
    // The walk stops at a free entry, an end or bad marker, and at a cluster met before.
    for (uint32_t c = aFirstCluster; c >= 2 && c < ClusterCount; c = Table[c]) {
        if (chain && chain->ItemCount > 0 && ChainContains(chain, c)) break;
        AddCluster(chain, c);
    }
    return chain;
}

PxClusterChain TTestFileSystem::CollectClusters(int64_t aStart, uint8_t aState,
                                                const TxClusterFilter& aFilter, int64_t aCount) {
    if (aCount == 0) return nullptr;
    PxClusterChain chain = nullptr;
    NewClusterChain(chain, 16);
    int64_t remaining = aCount;
    int64_t c = aStart == -1 ? GetFirstClusterNo() : aStart;
    const int64_t first = c;
    do {
        uint8_t state = 0;
        GetClusterState(static_cast<uint32_t>(c), state);
        uint32_t cluster = static_cast<uint32_t>(c);
        if (aState == 0 || state == aState) {
            bool take = !aFilter || aFilter(cluster, state, 0, c);
            if (take) {
                AddCluster(chain, cluster);
                if (--remaining == 0) break;
            }
            if (c == -1) break;
        }
        c = c + 1 == ClusterCount ? GetFirstClusterNo() : c + 1;
    } while (c != first);
    return chain;
}

const TxAccessorClass* TTestFileSystem::GetAccessorClass(int32_t aKind) {
    if (aKind == 2) return &TxFileStreamClass;
    if (aKind >= 3 && aKind <= 5) return &TxDiskStreamClass;
    return nullptr;
}

uint8_t TTestFileSystem::ProbeDirectory(const TxDiskAddress& aAddress, int32_t& aCode, int32_t aFlag,
                                        int32_t&, TxDiskAddress& aSelf, TxDiskAddress& aParent) {
    ++ProbeCalls;
    LastProbeFlag = aFlag;
    aCode = 0;
    auto it = Probes.find({aAddress.Kind, aAddress.Number});
    if (it == Probes.end()) return 0;
    aSelf = it->second.Self;
    aParent = it->second.Parent;
    return it->second.Status;
}

void TTestFileSystem::GetClusterState(uint32_t aCluster, uint8_t& aState) {
    uint32_t next = Table.at(aCluster);
    aState = next == 0 ? csFree : next == EndOfChain ? csEndOfChain : next == BadCluster ? csBad : csInUse;
}

std::unique_ptr<TxDiskAccessor> OpenImage(const std::string& aPath) {
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DevicePath = aPath;
    disk->Open(true);
    EXPECT_FALSE(disk->IsClosed()) << aPath;
    return disk;
}

std::unique_ptr<TxDiskAccessor> OpenImageWithFileSystem(const std::string& aPath, uint32_t aSectorsPerCluster,
                                                        uint32_t aClusterZeroSector, uint32_t aClusterCount) {
    auto disk = OpenImage(aPath);
    disk->fFileSystem =
        new TTestFileSystem(disk.get(), aSectorsPerCluster, aClusterZeroSector, aClusterCount);
    return disk;
}

PxClusterChain MakeChain(std::initializer_list<uint32_t> aClusters) {
    PxClusterChain chain = nullptr;
    for (uint32_t c : aClusters)
        AddCluster(chain, c);
    return chain;
}

} // namespace qrt::test
