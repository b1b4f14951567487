#include "RepoTestSupport.h"

#include "TestUtil.h"

#include <cstring>
#include <fstream>
#include <grp.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace qrt::test {

namespace {

bool HasMarker(TxDiskAccessor* aDisk, size_t aOffset, const char* aMarker) {
    uint32_t bytesPerSector = aDisk->fParams.BytesPerSector;
    if (bytesPerSector < 512) return false;
    std::vector<uint8_t> sector(bytesPerSector);
    if (aDisk->Read(SectorAddress(0), sector.data(), bytesPerSector) != bytesPerSector) return false;
    return std::memcmp(sector.data() + aOffset, aMarker, std::strlen(aMarker)) == 0;
}

template <const char* Name, size_t Offset, const char* Marker> bool CanMountMarker(TxDiskAccessor* aDisk) {
    CanMountLog().push_back(Name);
    return Marker != nullptr && HasMarker(aDisk, Offset, Marker);
}

template <const char* Name> TxFileSystem* CreateMarker(TxDiskAccessor* aDisk) {
    return new TMarkerFileSystem(aDisk, Name);
}

constexpr char kMkfs[] = "MkfsMarker";
constexpr char kFat16[] = "Fat16Marker";
constexpr char kFat32[] = "Fat32Marker";
constexpr char kNever[] = "Never";
constexpr char kMkfsText[] = "mkfs.fat";
constexpr char kFat16Text[] = "FAT16   ";
constexpr char kFat32Text[] = "FAT32   ";
constexpr const char* kNoText = nullptr;

} // namespace

const TxFileSystemClass MkfsMarkerClass{kMkfs, CanMountMarker<kMkfs, 3, kMkfsText>, CreateMarker<kMkfs>};
const TxFileSystemClass Fat16MarkerClass{kFat16, CanMountMarker<kFat16, 54, kFat16Text>,
                                         CreateMarker<kFat16>};
const TxFileSystemClass Fat32MarkerClass{kFat32, CanMountMarker<kFat32, 82, kFat32Text>,
                                         CreateMarker<kFat32>};
const TxFileSystemClass NeverClass{kNever, CanMountMarker<kNever, 0, kNoText>, CreateMarker<kNever>};

std::vector<std::string>& CanMountLog() {
    static std::vector<std::string> log;
    return log;
}

std::string MountedBy(const TxDiskAccessor* aDisk) {
    auto* fs = dynamic_cast<TMarkerFileSystem*>(aDisk->fFileSystem);
    return fs ? fs->MarkerClass : "";
}

FatImage::Options FatOptions(int aFatBits, uint32_t aSizeKiB, int aSectorSize, const std::string& aLabel) {
    FatImage::Options options;
    options.FatBits = aFatBits;
    options.SizeKiB = aSizeKiB;
    options.SectorSize = aSectorSize;
    options.Label = aLabel;
    return options;
}

TMbrEntry UsableEntry(uint32_t aFirstSector, uint32_t aSectorCount, uint8_t aType) {
    TMbrEntry e;
    e.StartHead = 1;
    e.StartSector = 1;
    e.Type = aType;
    e.EndHead = 254;
    e.EndSector = 0xFF;
    e.EndCylinder = 0xFF;
    e.FirstSector = aFirstSector;
    e.SectorCount = aSectorCount;
    return e;
}

std::string MakeMbr(const std::array<TMbrEntry, 4>& aEntries, bool aSignature) {
    std::string mbr(512, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            mbr[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    for (size_t slot = 0; slot < 4; ++slot) {
        const TMbrEntry& e = aEntries[slot];
        size_t at = 446 + slot * 16;
        mbr[at + 1] = static_cast<char>(e.StartHead);
        mbr[at + 2] = static_cast<char>(e.StartSector);
        mbr[at + 3] = static_cast<char>(e.StartCylinder);
        mbr[at + 4] = static_cast<char>(e.Type);
        mbr[at + 5] = static_cast<char>(e.EndHead);
        mbr[at + 6] = static_cast<char>(e.EndSector);
        mbr[at + 7] = static_cast<char>(e.EndCylinder);
        put32(at + 8, e.FirstSector);
        put32(at + 12, e.SectorCount);
    }
    if (aSignature) {
        mbr[510] = 0x55;
        mbr[511] = static_cast<char>(0xAA);
    }
    return mbr;
}

void WriteDiskImage(const std::string& aPath, const std::string& aSector0, uint64_t aTotalBytes) {
    std::string bytes(aTotalBytes, '\0');
    bytes.replace(0, aSector0.size(), aSector0);
    WriteFileBytes(aPath, bytes);
}

int RunUnprivileged(const std::function<int()>& aWork) {
    if (::geteuid() != 0) return aWork();
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const gid_t nobodyGroup = 65534;
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobody) != 0) ::_exit(250);
        int result = 255;
        try {
            result = aWork();
        } catch (...) {
            result = 254;
        }
        ::_exit(result);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) throw std::runtime_error("child failed");
    return WEXITSTATUS(status);
}

} // namespace qrt::test
