#include "FatImage.h"

#include "TestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace qrt::test {

namespace {

std::string MkfsCommand(const std::string& aPath, const FatImage::Options& o) {
    std::string cmd = "mkfs.fat -C -F " + std::to_string(o.FatBits) + " -f " + std::to_string(o.FatCount);
    if (o.SectorsPerCluster > 0) cmd += " -s " + std::to_string(o.SectorsPerCluster);
    if (o.SectorSize != 512) cmd += " -S " + std::to_string(o.SectorSize);
    if (o.RootEntries > 0) cmd += " -r " + std::to_string(o.RootEntries);
    if (!o.Label.empty()) cmd += " -n " + ShellQuote(o.Label);
    if (!o.ExtraMkfsArgs.empty()) cmd += " " + o.ExtraMkfsArgs;
    return cmd + " " + ShellQuote(aPath) + " " + std::to_string(o.SizeKiB);
}

void Check(int rc, const std::string& aCommand, const std::string& aOutput) {
    if (rc != 0) throw std::runtime_error("command failed: " + aCommand + "\n" + aOutput);
}

void RunOrThrow(const std::string& aCommand) {
    std::string output;
    Check(RunCommand(aCommand, &output), aCommand, output);
}

} // namespace

FatImage::FatImage(const std::string& aPath, const Options& aOptions)
    : fPath(aPath), fOffset(0), fSectorSize(aOptions.SectorSize) {
    ::unlink(aPath.c_str());
    RunOrThrow(MkfsCommand(aPath, aOptions));
}

FatImage FatImage::Partitioned(const std::string& aPath, const Options& aOptions, uint32_t aStartSector) {
    std::string volume = aPath + ".volume";
    ::unlink(volume.c_str());
    RunOrThrow(MkfsCommand(volume, aOptions));
    uint64_t offset = uint64_t(aStartSector) * 512;
    uint64_t volumeBytes = uint64_t(aOptions.SizeKiB) * 1024;
    uint32_t sectorCount = static_cast<uint32_t>(volumeBytes / 512);
    // An MBR with one entry: CHS fields filled so that the end key is above the start key.
    std::string mbr(512, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            mbr[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    size_t e = 446;
    mbr[e + 1] = 1; // start head
    mbr[e + 2] = 1; // start sector
    mbr[e + 3] = 0; // start cylinder
    mbr[e + 4] = static_cast<char>(aOptions.FatBits == 32 ? 0x0C : 0x06);
    mbr[e + 5] = static_cast<char>(0xFE); // end head
    mbr[e + 6] = static_cast<char>(0xFF); // end sector and cylinder bits
    mbr[e + 7] = static_cast<char>(0xFF); // end cylinder
    put32(e + 8, aStartSector);
    put32(e + 12, sectorCount);
    mbr[510] = 0x55;
    mbr[511] = static_cast<char>(0xAA);
    {
        std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
        out.write(mbr.data(), 512);
    }
    RunOrThrow("dd if=" + ShellQuote(volume) + " of=" + ShellQuote(aPath) +
               " bs=512 seek=" + std::to_string(aStartSector) + " conv=notrunc status=none");
    ::unlink(volume.c_str());
    return FatImage(aPath, offset, aOptions.SectorSize);
}

std::string FatImage::Target(const std::string& aVolumePath) const {
    std::string image = fOffset ? fPath + "@@" + std::to_string(fOffset) : fPath;
    return "-i " + ShellQuote(image) + " " + ShellQuote("::/" + aVolumePath);
}

void FatImage::Mtools(const std::string& aCommand) const {
    RunOrThrow("MTOOLS_SKIP_CHECK=1 " + aCommand);
}

void FatImage::Mkdir(const std::string& aVolumePath) {
    Mtools("mmd " + Target(aVolumePath));
}

void FatImage::WriteFile(const std::string& aVolumePath, const std::string& aContents) {
    std::string host = fPath + ".in";
    WriteFileBytes(host, aContents);
    CopyIn(host, aVolumePath);
    ::unlink(host.c_str());
}

void FatImage::CopyIn(const std::string& aHostFile, const std::string& aVolumePath) {
    Mtools("mcopy -o " + std::string("-i ") +
           ShellQuote(fOffset ? fPath + "@@" + std::to_string(fOffset) : fPath) + " " +
           ShellQuote(aHostFile) + " " + ShellQuote("::/" + aVolumePath));
}

void FatImage::Delete(const std::string& aVolumePath) {
    Mtools("mdel " + Target(aVolumePath));
}

void FatImage::DeleteTree(const std::string& aVolumePath) {
    Mtools("mdeltree " + Target(aVolumePath));
}

std::string FatImage::ReadFile(const std::string& aVolumePath) const {
    std::string host = fPath + ".out";
    ::unlink(host.c_str());
    Mtools("mcopy -n " + Target(aVolumePath) + " " + ShellQuote(host));
    std::string bytes = ReadFileBytes(host);
    ::unlink(host.c_str());
    return bytes;
}

std::vector<uint32_t> FatImage::Clusters(const std::string& aVolumePath) const {
    std::string out;
    if (RunCommand("MTOOLS_SKIP_CHECK=1 mshowfat " + Target(aVolumePath), &out) != 0)
        throw std::runtime_error("mshowfat: " + out);
    std::vector<uint32_t> clusters;
    const char* p = out.c_str();
    while ((p = std::strchr(p, '<')) != nullptr) {
        char* end = nullptr;
        uint32_t first = static_cast<uint32_t>(std::strtoul(p + 1, &end, 10)), last = first;
        if (end == p + 1) throw std::runtime_error("mshowfat: " + out);
        if (*end == '-') last = static_cast<uint32_t>(std::strtoul(end + 1, &end, 10));
        for (uint32_t c = first; c <= last; ++c)
            clusters.push_back(c);
        p = end;
    }
    return clusters;
}

uint32_t FatImage::FirstCluster(const std::string& aVolumePath) const {
    std::vector<uint32_t> clusters = Clusters(aVolumePath);
    if (clusters.empty()) throw std::runtime_error("mshowfat: no clusters for " + aVolumePath);
    return clusters.front();
}

std::string FatImage::ReadBytes(uint64_t aVolumeOffset, size_t aCount) const {
    std::ifstream in(fPath, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(fOffset + aVolumeOffset));
    std::string bytes(aCount, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(aCount));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

void FatImage::WriteBytes(uint64_t aVolumeOffset, const std::string& aBytes) {
    std::fstream out(fPath, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(fOffset + aVolumeOffset));
    out.write(aBytes.data(), static_cast<std::streamsize>(aBytes.size()));
    if (!out) throw std::runtime_error("cannot patch " + fPath);
}

void FatImage::ZeroSectors(uint32_t aFirstSector, uint32_t aCount) {
    WriteBytes(uint64_t(aFirstSector) * fSectorSize, std::string(size_t(aCount) * fSectorSize, '\0'));
}

void FillSampleCard(FatImage& aImage) {
    aImage.Mkdir("DOCS");
    aImage.Mkdir("DOCS/Deeper");
    aImage.WriteFile("DOCS/A letter with a long name.txt", PatternBytes(3000, 1));
    aImage.WriteFile("DOCS/Deeper/B.BIN", PatternBytes(9000, 2));
    aImage.WriteFile("PHOTO.JPG", "\xff\xd8\xff\xe0" + PatternBytes(5000, 3));
    aImage.Mkdir("OLD");
    aImage.WriteFile("OLD/GONE.TXT", "deleted with its folder");
    aImage.DeleteTree("OLD");
    aImage.WriteFile("LOST.TXT", "deleted");
    aImage.Delete("LOST.TXT");
}

} // namespace qrt::test
