#pragma once

#include "core/TObject.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qrt {

class TxFileSystem;

// The ordered clusters of one file or directory, with its name, size and link to the directory chain
// it belongs to. A chain always lives on the heap and is created and disposed by the routines below;
// routines that may create, grow or dispose a chain take the pointer by reference.
struct TxClusterChain {
    // Who disposes the chain: a chain list of a file system (a TPointerList), a file system, a disk
    // stream, the engine's list; nullptr = whoever holds the pointer.
    TObject* Owner = nullptr;
    int32_t Length = 0;           // allocated entries of Clusters (capacity); Clusters.size() follows it
    int32_t ItemCount = 0;        // used entries
    int32_t Flags = 0;            // bit 0: the chain comes from a deleted directory entry
    std::string Name;             // the name it was found under; empty when unknown
    int64_t Size = -1;            // bytes of data; -1 = unknown (the clusters define the size)
    int32_t ParentClusterNo = -1; // first cluster of the containing directory; -1 none, 0 root
    TxClusterChain* ParentChain = nullptr; // the parent directory's chain once linked
    std::vector<uint32_t> Clusters;        // the first ItemCount entries are used
};
using PxClusterChain = TxClusterChain*;

// A fresh chain with aCapacity zeroed entries (0 allowed).
void NewClusterChain(PxClusterChain& aChain, int32_t aCapacity);
// Frees the chain and clears the variable, then raises when the chain failed its checks.
void DisposeClusterChain(PxClusterChain& aChain);
// Room for aCount entries (Length grows by the list growth rule); a nil chain becomes a fresh one.
void EnsureChainCapacity(PxClusterChain& aChain, int32_t aCount);
int32_t ChainLength(const TxClusterChain* aChain);
uint32_t FirstCluster(const TxClusterChain* aChain);
uint32_t LastCluster(const TxClusterChain* aChain);
void AddCluster(PxClusterChain& aChain, uint32_t aCluster);
void AppendChain(PxClusterChain& aChain, const TxClusterChain* aOther);
void InsertFirstCluster(PxClusterChain& aChain, uint32_t aCluster);
int32_t IndexOfCluster(const TxClusterChain* aChain, uint32_t aCluster);
bool ChainContains(const TxClusterChain* aChain, uint32_t aCluster);

// The name, "" for a nameless child of the root, or "~#" + first cluster.
std::string ChainName(const TxClusterChain* aChain);
// The path through the linked parents, "?\" in front when the top parent is not a child of the root;
// a named top chain whose parent is a root without chain (parent cluster 0) gets "\" in front, so
// FAT12/16 paths read "\DOCS\A.TXT" as FAT32 paths do below their root chain.
std::string ChainPath(const TxClusterChain* aChain);
// The dump written to the full log and into consistency messages (CR LF line breaks).
std::string ChainToString(const TxClusterChain* aChain);

// Consistency checks of one chain (nothing for nil); aFileSystem nullptr = ChainFileSystem.
void CheckChain(TxFileSystem* aFileSystem, const TxClusterChain* aChain);
void CheckNonEmptyChain(TxFileSystem* aFileSystem, const TxClusterChain* aChain);
// The file system the chain belongs to through its owner (itself, or a chain list of it), or nullptr.
TxFileSystem* ChainFileSystem(const TxClusterChain* aChain);
// Clusters needed for aSize bytes (0 bytes need one cluster).
int32_t ClusterCountForSize(TxFileSystem* aFileSystem, int64_t aSize);

} // namespace qrt
