#include "support/MappedFiles.h"

#include "core/Assert.h"
#include "core/Hooks.h"
#include "support/FileUtils.h"
#include "support/PathUtils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

QRT_UNIT("Streams\\MappedFiles")

namespace qrt {

namespace {

std::string Quoted(const std::string& aFileName) {
    return "\"" + aFileName + "\"";
}

int OpenFile(const std::string& aFileName, int aAccess) {
    int fd;
    do {
        fd = ::open(aFileName.c_str(), aAccess | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Exceptions cannot leave a destructor: a failure there goes to the crash reporter.
template <typename F> void ReportFailures(F&& aAction) {
    try {
        aAction();
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

} // namespace

// --- TMemoryMappedFile -----------------------------------------------------------------------------

TMemoryMappedFile::TMemoryMappedFile(const std::string& aFileName, int64_t aSize, int32_t aMode)
    : fFileName(aFileName) {
    int access = O_RDWR;
    switch (aMode) {
    case mmReadOnly:
        access = O_RDONLY;
        fProtection = PROT_READ;
        fViewAccess = MAP_SHARED;
        break;
    case mmReadWrite:
        fProtection = PROT_READ | PROT_WRITE;
        fViewAccess = MAP_SHARED;
        break;
    case mmCopy:
        fProtection = PROT_READ | PROT_WRITE;
        fViewAccess = MAP_PRIVATE;
        break;
    default:
        QRT_FAIL("WTF?");
    }

    fSize = aSize >= 0 ? aSize : GetFileSize64(aFileName);
    fHandle = OpenFile(aFileName, access);
    if (fHandle < 0) {
        if (aMode == mmReadOnly) throw EFOpenError("Sorry, could not open " + Quoted(aFileName) + "!");
        QRT_ASSERT(!FileExists(aFileName) && !DirectoryExists(aFileName), "WTF? File *DOES* exist!!");
        QRT_ASSERT(fSize >= 0, "Must specify a valid aSize if file doesn't exist!!");
        CreateFileOfSize(aFileName, fSize);
        fHandle = OpenFile(aFileName, access);
        if (fHandle < 0) throw EFOpenError("Sorry, could not open " + Quoted(aFileName) + "!");
    }

    try {
        // The mapping covers exactly fSize bytes of a regular file. Pages beyond the end of the file
        // would fault on access, so a shorter file is grown where the mapping may write (as a
        // writable mapping of a larger size does elsewhere) and refused otherwise.
        struct stat info;
        bool mappable = ::fstat(fHandle, &info) == 0 && S_ISREG(info.st_mode) && fSize > 0 &&
                        static_cast<uint64_t>(fSize) <= std::numeric_limits<size_t>::max();
        if (mappable && fSize > static_cast<int64_t>(info.st_size))
            mappable = aMode == mmReadWrite && ::ftruncate(fHandle, static_cast<off_t>(fSize)) == 0;
        if (!mappable) throw EMapFileError("Sorry, file " + Quoted(aFileName) + " cannot be mapped!");
    } catch (...) {
        ::close(fHandle);
        fHandle = -1;
        throw;
    }
}

TMemoryMappedFile::~TMemoryMappedFile() {
    if (fView) ReportFailures([this] { ReleaseView(fView); });
    if (fLockCount != 0)
        ReportFailures(
            [] { QRT_FAIL("Unmatched Lock/Unlock calls!! in MappedFiles.TMemoryMappedFile.Destroy!!"); });
    if (fHandle >= 0) ::close(fHandle);
}

void* TMemoryMappedFile::GetView() {
    if (fView) return fView;
    void* view = ::mmap(nullptr, static_cast<size_t>(fSize), fProtection, fViewAccess, fHandle, 0);
    if (view == MAP_FAILED)
        throw EMapFileError("Cannot get a view of mapped file " + Quoted(fFileName) + "!");
    fView = view;
    ++fLockCount;
    return fView;
}

void TMemoryMappedFile::ReleaseView(void* aView) {
    QRT_ASSERT(aView == fView, "UNIMPLEMENTED!!");
    if (!fView) return;
    if (::munmap(fView, static_cast<size_t>(fSize)) != 0)
        throw EMapFileError("Sorry, file " + Quoted(fFileName) + " cannot be unmapped!");
    fView = nullptr;
    --fLockCount;
}

// --- TMemoryMappedStream ---------------------------------------------------------------------------

TMemoryMappedStream::TMemoryMappedStream(const std::string& aFileName, int64_t aSize, int32_t aMode)
    : fFileName(aFileName), fMode(aMode) {
    QRT_ASSERT(!aFileName.empty(), "WTF?");
    Map(aSize);
}

TMemoryMappedStream::~TMemoryMappedStream() {
    ReportFailures([this] { Unmap(); });
}

void TMemoryMappedStream::Map(int64_t aSize) {
    QRT_ASSERT(!fMappedFile, "Already mapped!!");
    if (fMode == mmReadOnly && !FileExists(fFileName)) throw EFOpenError("File not found");
    if (fMode == mmCreate) {
        CreateFileOfSize(fFileName, aSize);
        fMode = mmReadWrite;
    }
    QRT_ASSERT(fMode >= mmReadOnly && fMode <= mmCopy, "WTF?");

    // Nothing to map: an empty file taken at its size, or a size of 0 asked for (a missing file is
    // still created then, as a mapping in a writable mode would do).
    bool empty = aSize == 0 || (aSize < 0 && GetFileSize64(fFileName) == 0);
    if (empty) {
        if (aSize == 0 && fMode != mmReadOnly && !FileExists(fFileName)) CreateFileOfSize(fFileName, 0);
        SetPointer(nullptr, 0);
        return;
    }
    auto file = std::make_unique<TMemoryMappedFile>(fFileName, aSize, fMode);
    void* view = file->GetView();
    SetPointer(view, file->Size());
    fMappedFile = std::move(file);
}

void TMemoryMappedStream::Unmap() {
    SetPointer(nullptr, 0);
    if (!fMappedFile) return;
    std::unique_ptr<TMemoryMappedFile> file = std::move(fMappedFile);
    if (void* view = file->View()) file->ReleaseView(view);
}

void TMemoryMappedStream::SetSize(int64_t aNewSize) {
    // A read-only stream must leave its file as it is.
    QRT_ASSERT(fMode != mmReadOnly && aNewSize >= 0, "WTF?");
    QRT_ASSERT(aNewSize < 0xFFFFFFFFLL, "Such size is not supported (Size >4GB)");
    if (fMappedFile) {
        Unmap();
        TruncateFile(fFileName, aNewSize);
    }
    Map(aNewSize);
    fPosition = aNewSize;
}

int64_t TMemoryMappedStream::Write(const void* aBuffer, int64_t aCount) {
    QRT_ASSERT(fMode != mmReadOnly, "WTF?");
    if (!fMappedFile) {
        if (FileExists(fFileName)) {
            QRT_ASSERT(GetFileSize64(fFileName) == 0, "WTF?");
            QRT_FAIL("You must call SetSize if you want to write to 0-sized files!!");
        }
        QRT_FAIL("You must call SetSize for non-existant files!!");
    }
    int64_t finalPos;
    if (__builtin_add_overflow(fPosition, aCount, &finalPos)) finalPos = std::numeric_limits<int64_t>::max();
    if (aCount < 0 || finalPos == 0) return 0;
    QRT_ASSERT(finalPos <= fSize,
               "Writing beyond buffer limits, call SetSize to expand stream!! (wFinalPos=" +
                   std::to_string(finalPos) + ", Stream.Size=" + std::to_string(fSize) + ")");
    if (fPosition < 0) return 0; // would write in front of the view
    if (aCount > 0) std::memcpy(fMemory + fPosition, aBuffer, static_cast<size_t>(aCount));
    fPosition = finalPos;
    return aCount;
}

} // namespace qrt
