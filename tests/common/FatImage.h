#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrt::test {

// A FAT volume image written by the real tools: mkfs.fat makes the file system and mtools fills it.
// Volume paths are given the mtools way, with '/' ("DOCS/A.TXT"); long and non-ASCII names are
// written as long-name entries by mtools.
class FatImage {
public:
    struct Options {
        int FatBits = 16;          // 12, 16 or 32
        uint32_t SizeKiB = 16384;  // size of the volume
        int SectorsPerCluster = 0; // 0 = mkfs.fat's choice
        int SectorSize = 512;
        int FatCount = 2;
        int RootEntries = 0;       // FAT12/16: 0 = mkfs.fat's choice
        std::string Label;         // empty = no label
        std::string ExtraMkfsArgs; // anything else for mkfs.fat
    };

    // Creates the image file aPath (replacing it) holding one FAT volume, without a partition table.
    FatImage(const std::string& aPath, const Options& aOptions);
    // Creates aPath with an MBR and one FAT partition starting at aStartSector (the partition type
    // byte is 0x0C for FAT32, 0x06 otherwise).
    static FatImage Partitioned(const std::string& aPath, const Options& aOptions,
                                uint32_t aStartSector = 2048);

    const std::string& Path() const { return fPath; }
    uint64_t VolumeOffset() const { return fOffset; }

    void Mkdir(const std::string& aVolumePath);
    // Writes a file with the given contents (through a temporary host file and mcopy).
    void WriteFile(const std::string& aVolumePath, const std::string& aContents);
    void CopyIn(const std::string& aHostFile, const std::string& aVolumePath);
    void Delete(const std::string& aVolumePath);
    void DeleteTree(const std::string& aVolumePath);
    // Reads a file back with mcopy.
    std::string ReadFile(const std::string& aVolumePath) const;
    // The clusters of a file or directory in chain order, as mshowfat reports them ("<3-5> <9>" is
    // 3, 4, 5, 9), and the first of them.
    std::vector<uint32_t> Clusters(const std::string& aVolumePath) const;
    uint32_t FirstCluster(const std::string& aVolumePath) const;

    // Raw access to the image bytes at a volume-relative byte offset.
    std::string ReadBytes(uint64_t aVolumeOffset, size_t aCount) const;
    void WriteBytes(uint64_t aVolumeOffset, const std::string& aBytes);
    // Overwrites aCount sectors from aFirstSector (volume-relative, 512-byte units unless the volume's
    // sectors are larger) with zeros.
    void ZeroSectors(uint32_t aFirstSector, uint32_t aCount);

private:
    FatImage(std::string aPath, uint64_t aOffset, int aSectorSize)
        : fPath(std::move(aPath)), fOffset(aOffset), fSectorSize(aSectorSize) {}
    std::string Target(const std::string& aVolumePath) const;
    void Mtools(const std::string& aCommand) const;

    std::string fPath;
    uint64_t fOffset = 0;
    int fSectorSize = 512;
};

// Fills a card with what every phase of a run has something to read in: files, a long name, a
// subdirectory, a deleted file and a deleted directory tree.
void FillSampleCard(FatImage& aImage);

} // namespace qrt::test
