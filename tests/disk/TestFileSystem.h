#pragma once

#include "disk/DiskAccessor.h"
#include "disk/FileSystem.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qrt::test {

// A file system for the tests of the disk layer. Its allocation table lives in memory (Table: the
// next cluster of each cluster, 0 = free), set up by the test or read from the first FAT of a
// FAT16 volume; its directory probes answer from a table the test fills.
class TTestFileSystem : public TxFileSystem {
public:
    QRT_CLASSNAME(TTestFileSystem)

    static constexpr uint32_t EndOfChain = 0xFFFFFFFF;
    static constexpr uint32_t BadCluster = 0xFFFFFFF7;

    // Geometry given by the test; the first cluster is 2, the table holds aClusterCount entries.
    TTestFileSystem(TxDiskAccessor* aDisk, uint32_t aSectorsPerCluster, uint32_t aClusterZeroSector,
                    uint32_t aClusterCount);
    // Geometry, table and root directory from the FAT16 boot record at sector 0 of the disk.
    static TTestFileSystem* MountFat16(TxDiskAccessor* aDisk);

    // Links the clusters in order, the last one ending the chain.
    void Link(std::initializer_list<uint32_t> aClusters);

    struct Entry {
        std::string Name; // "NAME.EXT"
        uint32_t FirstCluster;
        uint32_t Size;
    };
    // The live entries of a FAT16 root directory (files only).
    std::vector<Entry> RootEntries();
    Entry RootEntry(const std::string& aName);

    struct Probe {
        uint8_t Status;
        TxDiskAddress Self;
        TxDiskAddress Parent;
    };
    // Answers of ProbeDirectory by (kind, number); any other address probes as status 0.
    std::map<std::pair<int32_t, int32_t>, Probe> Probes;
    int32_t ProbeCalls = 0;
    int32_t LastProbeFlag = -1;
    int32_t GetClusterChainCalls = 0;

    std::vector<uint32_t> Table;
    uint32_t RootDirSector = 0;
    uint32_t RootDirSectors = 0;

    uint32_t GetFirstClusterNo() override { return 2; }
    PxClusterChain GetClusterChain(uint32_t aFirstCluster, int64_t aSize) override;
    PxClusterChain CollectClusters(int64_t aStart, uint8_t aState, const TxClusterFilter& aFilter,
                                   int64_t aCount) override;
    const TxAccessorClass* GetAccessorClass(int32_t aKind) override;
    uint8_t ProbeDirectory(const TxDiskAddress& aAddress, int32_t& aCode, int32_t aFlag,
                           int32_t& aSoundEntries, TxDiskAddress& aSelf, TxDiskAddress& aParent) override;
    TxDirectoryAccessor* GetRootDirectory() override { return nullptr; }
    uint32_t ClusterToSector(uint32_t aCluster) override {
        return aCluster * fSectorsPerCluster + fClusterZeroSector;
    }
    uint32_t GetNextCluster(uint32_t aCluster) override { return Table.at(aCluster); }
    void GetClusterState(uint32_t aCluster, uint8_t& aState) override;
};

// An accessor opened read-only on an image file.
std::unique_ptr<TxDiskAccessor> OpenImage(const std::string& aPath);
// An accessor on an image with a test file system mounted by hand.
std::unique_ptr<TxDiskAccessor> OpenImageWithFileSystem(const std::string& aPath, uint32_t aSectorsPerCluster,
                                                        uint32_t aClusterZeroSector, uint32_t aClusterCount);
// A chain of the given clusters, owned by nobody.
PxClusterChain MakeChain(std::initializer_list<uint32_t> aClusters);

} // namespace qrt::test
