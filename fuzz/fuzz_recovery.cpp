// A whole recovery run over an image made of fuzz data, into a scratch folder: the volume is found
// as the command line finds it (a FAT boot record at sector 0, else the first partition that
// mounts, else a boot record rebuilt from directory clusters), then RecoverFileSystem runs its
// mount sequence and all six phases.
//
// Input: the image from sector 0 on. The image is as large as its boot record (or the first entry
// of its partition table) claims, at most 8 MiB, the rest reading as zeros; or as the input when
// that is larger. Seeds are small mkfs.fat/mtools volumes with their trailing zeros cut off.
//
// Besides the sanitizers the target checks that the run writes nothing outside its output folder
// and creates no symbolic links, whatever names the volume holds.

#include "FuzzSupport.h"

#include "core/Exceptions.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "engine/dmMain.h"
#include "fat/FileSystemFAT.h"
#include "recognition/HeaderMatching.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

using namespace qrt;
using namespace qrt::fuzz;

namespace {

// FAT32 volumes claim at least 33 MB; on a smaller image their geometry is held to the device, so
// the FAT32 paths are still taken while a run stays short.
constexpr uint64_t kMaxDevice = 8 << 20;

uint64_t ClaimedDeviceBytes(const uint8_t* aData, size_t aSize) {
    uint64_t claimed = ClaimedVolumeBytes(aData, aSize);
    if (aSize >= 512 && aData[510] == 0x55 && aData[511] == 0xAA) {
        // The first partition-table entry: start and length in 512-byte sectors.
        const uint8_t* e = aData + 446;
        uint64_t start = e[8] | (e[9] << 8) | (e[10] << 16) | (uint64_t(e[11]) << 24);
        uint64_t count = e[12] | (e[13] << 8) | (e[14] << 16) | (uint64_t(e[15]) << 24);
        claimed = std::max(claimed, (start + count) * 512);
    }
    return std::min(claimed, kMaxDevice);
}

// The volume to recover on the device, mounted; nullptr when none can be made usable.
TxDiskAccessor* FindVolume(TxDiskAccessor* aDisk) {
    if (FindFileSystemClass(aDisk)) {
        aDisk->MountFileSystem();
        return aDisk->fFileSystem ? aDisk : nullptr;
    }
    aDisk->LoadPartitionTable();
    if (TxPartitionTable* table = aDisk->fPartitionTable) {
        for (int32_t i = 0; i < table->GetPartitionCount(); ++i)
            if (TxDiskAccessor* part = table->GetPartition(i); part && part->fFileSystem) return part;
        return nullptr;
    }
    return TFileSystemFATx::MountRebuilt(aDisk) ? aDisk : nullptr;
}

int gLinks = 0;

int NoteLink(const char*, const struct stat*, int aType, struct FTW*) {
    if (aType == FTW_SL || aType == FTW_SLN) ++gLinks;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareProcess();
    // A small signature database, so that lost files are named by their content as in a real run
    // without trying every shipped type on each of them.
    static TScratchFolder database;
    std::string ids = database.Path() + "/FileIds.ini";
    std::string checks = database.Path() + "/FileIdChecks.ini";
    FILE* f = std::fopen(ids.c_str(), "w");
    std::fputs("[!!version+etc]\nversion=7\n[Main]\nItems=JPEG,ZIP\n[JPEG]\nItems=hexJpegStart\n"
               "FileExtensions=jpg,jpeg\n[ZIP]\nItems=hexZipLocal/hexZipEnd\nFileExtensions=zip\n",
               f);
    std::fclose(f);
    f = std::fopen(checks.c_str(), "w");
    std::fputs("[!!version+etc]\nversion=7\n[!hexJpegStart]\n0=0:FFD8FF\n[!hexZipLocal]\n0=0:504B0304\n"
               "[!hexZipEnd]\n0=0:504B0506\n",
               f);
    std::fclose(f);
    FileRecognizers().LoadFromIni(ids);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
    static TMemoryImage image;
    static TScratchFolder scratch;
    uint64_t device = std::max<uint64_t>(ClaimedDeviceBytes(aData, aSize), aSize);
    image.Reset(device);
    image.Write(0, aData, aSize);

    // Two levels down, so that a path that climbed out of the output folder would show up above it.
    const std::string level = scratch.Path() + "/level";
    const std::string output = level + "/out";
    {
        std::unique_ptr<TxDiskAccessor> disk = OpenDevice(image.Path());
        if (disk->IsClosed()) return 0;
        TxDiskAccessor* volume = nullptr;
        try {
            volume = FindVolume(disk.get());
        } catch (const Exception&) {
            volume = nullptr;
        }
        if (!volume) return 0;
        TdmodMain engine;
        engine.SetDisk(volume);
        try {
            engine.SetOutputFolder(output);
            engine.RecoverFileSystem(volume->fFileSystem);
        } catch (const Exception&) {
            // Only a run that cannot start raises (no output folder); everything else is reported.
        }
        Expect(!engine.IsRecovering(), "the run has ended");
    }
    Expect(scratch.CountEntries() <= 1, "nothing is written beside the output folder");
    size_t beside = 0;
    if (DIR* dir = ::opendir(level.c_str())) {
        while (dirent* e = ::readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != ".." &&
                std::string(e->d_name) != "out")
                ++beside;
        ::closedir(dir);
    }
    Expect(beside == 0, "nothing is written beside the output folder");
    gLinks = 0;
    ::nftw(output.c_str(), NoteLink, 16, FTW_PHYS);
    Expect(gLinks == 0, "a run creates no symbolic links");
    scratch.Empty();
    return 0;
}
