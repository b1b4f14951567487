#pragma once

#include "FatImage.h"

#include "disk/DiskAccessor.h"
#include "fat/FileSystemFAT.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace qrt::test {

// What mkfs.fat -v reports about the volume it made.
struct MkfsReport {
    uint32_t SectorSize = 0;
    uint32_t TotalSectors = 0;
    uint32_t FatCount = 0;
    uint32_t FatBits = 0;
    uint32_t SectorsPerCluster = 0;
    uint32_t FatSectors = 0;
    uint32_t Clusters = 0;
    uint32_t ReservedSectors = 0;
    uint32_t RootSectors = 0; // 0 on FAT32
};

// Options of a volume: the given width, size (0: 1440 KiB for FAT12, 16 MiB for FAT16, 40000 KiB for
// FAT32), number of FATs and further mkfs.fat arguments.
FatImage::Options VolumeOptions(int aFatBits, uint32_t aSizeKiB = 0, int aFatCount = 2,
                                const std::string& aExtra = "");

// Makes an image of aSizeKiB with "mkfs.fat -C -v <aArgs>" and parses its report.
MkfsReport MakeFatVolume(const std::string& aPath, const std::string& aArgs, uint32_t aSizeKiB);

// An accessor opened read-only on an image file.
std::unique_ptr<TxDiskAccessor> OpenImage(const std::string& aPath);
// A FAT file system of the given width (12, 16, 32) on the disk, owned by it; not mounted.
TFileSystemFATx* AttachFileSystem(TxDiskAccessor* aDisk, int aFatBits);

// Writes an entry into the bytes of a FAT copy.
void PutFATEntry(std::string& aTable, int aFatBits, uint32_t aCluster, uint32_t aValue);

// A FatImage volume with an accessor and a mounted file system of its type. After the image has
// been patched, Remount gives a fresh accessor and file system over it.
class MountedVolume {
public:
    MountedVolume(const std::string& aPath, const FatImage::Options& aOptions);

    FatImage& Image() { return fImage; }
    TxDiskAccessor* Disk() const { return fDisk.get(); }
    TFileSystemFATx* Fs() const { return fFs; }
    int FatBits() const { return fFatBits; }
    uint32_t SectorSize() const { return fSectorSize; }

    void Remount();

    // A whole FAT copy of the image, read and written at the mounted layout.
    std::string ReadFAT(int32_t aCopy) const;
    void WriteFAT(int32_t aCopy, const std::string& aTable);
    // Sets one entry in the given copies of the image (Remount to see it).
    void SetEntry(uint32_t aCluster, uint32_t aValue, std::initializer_list<int32_t> aCopies);

    // The first cluster of a root directory entry given by its 11-byte short name ("DATA    BIN").
    uint32_t RootEntryCluster(const std::string& aShortName);

private:
    FatImage fImage;
    int fFatBits;
    uint32_t fSectorSize;
    std::unique_ptr<TxDiskAccessor> fDisk;
    TFileSystemFATx* fFs = nullptr;
};

} // namespace qrt::test
