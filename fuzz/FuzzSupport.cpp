#include "FuzzSupport.h"

#include "core/Exceptions.h"
#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "fat/FATRegistration.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt::fuzz {

namespace {

uint32_t Le(const uint8_t* p, int aBytes) {
    uint32_t v = 0;
    for (int i = aBytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

int RemoveEntry(const char* aPath, const struct stat*, int, struct FTW*) {
    ::remove(aPath);
    return 0;
}

} // namespace

void PrepareProcess() {
    // QRT_FUZZ_VERBOSE=1 shows what the code under test reports, for reading a finding.
    static const bool verbose = std::getenv("QRT_FUZZ_VERBOSE") != nullptr;
    SetExceptionHandler([](const std::exception& e) {
        if (verbose) std::fprintf(stderr, "reported: %s\n", DescribeException(e).c_str());
        // The boundaries that report exceptions catch every kind; the system's own exceptions are
        // expected on damaged volumes, anything else (out_of_range, bad_alloc, ...) is a fault.
        if (!dynamic_cast<const Exception*>(&e))
            Broken("a foreign exception was reported: " + DescribeException(e));
    });
    SetMessageBoxHandler([](const std::string& aText, const std::string&, uint32_t aFlags) {
        if (verbose) std::fprintf(stderr, "message box: %s\n", aText.c_str());
        return DefaultMessageBoxResult(aFlags);
    });
    RegisterFATFileSystems();
}

void Broken(const std::string& aWhat) {
    std::fprintf(stderr, "\n*** broken promise: %s\n", aWhat.c_str());
    std::abort();
}

// --- TMemoryImage ---------------------------------------------------------------------------------

TMemoryImage::TMemoryImage() {
    fFd = ::memfd_create("qrt-fuzz-image", MFD_CLOEXEC);
    if (fFd < 0) throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
    fPath = "/proc/self/fd/" + std::to_string(fFd);
}

TMemoryImage::~TMemoryImage() {
    if (fFd >= 0) ::close(fFd);
}

void TMemoryImage::Reset(uint64_t aSize) {
    // Truncating to 0 first drops every page, so the new size reads as zeros throughout.
    if (::ftruncate(fFd, 0) != 0 || ::ftruncate(fFd, static_cast<off_t>(aSize)) != 0)
        throw std::runtime_error(std::string("ftruncate: ") + std::strerror(errno));
    fSize = aSize;
}

void TMemoryImage::Write(uint64_t aOffset, const void* aData, size_t aCount) {
    auto* p = static_cast<const uint8_t*>(aData);
    while (aCount > 0) {
        ssize_t n = ::pwrite(fFd, p, aCount, static_cast<off_t>(aOffset));
        if (n <= 0) throw std::runtime_error(std::string("pwrite: ") + std::strerror(errno));
        p += n;
        aOffset += static_cast<uint64_t>(n);
        aCount -= static_cast<size_t>(n);
    }
    if (aOffset > fSize) fSize = aOffset;
}

std::unique_ptr<TxDiskAccessor> OpenDevice(const std::string& aPath) {
    auto disk = std::make_unique<TxDiskAccessor>();
    disk->fParams.DevicePath = aPath;
    disk->Open(true);
    return disk;
}

uint64_t ClaimedVolumeBytes(const uint8_t* aData, size_t aSize) {
    if (aSize < 512) return 0;
    uint64_t bytesPerSector = Le(aData + 11, 2);
    uint64_t total = Le(aData + 19, 2);
    if (total == 0) total = Le(aData + 32, 4);
    return bytesPerSector * total;
}

// --- TScratchFolder -------------------------------------------------------------------------------

TScratchFolder::TScratchFolder() {
    char pattern[] = "/dev/shm/qrt-fuzz-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    fPath = pattern;
}

TScratchFolder::~TScratchFolder() {
    RemoveTree(fPath);
}

void TScratchFolder::Empty() {
    DIR* dir = ::opendir(fPath.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        RemoveTree(fPath + "/" + e->d_name);
    }
    ::closedir(dir);
}

size_t TScratchFolder::CountEntries() const {
    size_t count = 0;
    DIR* dir = ::opendir(fPath.c_str());
    if (!dir) return 0;
    while (dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++count;
    ::closedir(dir);
    return count;
}

void RemoveTree(const std::string& aPath) {
    // Depth first, without following links: a link made inside the tree never leads the removal out.
    ::nftw(aPath.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace qrt::fuzz
