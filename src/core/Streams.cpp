#include "core/Streams.h"

#include "core/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace qrt {

// --- TStream ---------------------------------------------------------------------------------------

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* aBuffer, int64_t aCount) {
    if (aCount != 0 && Read(aBuffer, aCount) != aCount) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* aBuffer, int64_t aCount) {
    if (aCount != 0 && Write(aBuffer, aCount) != aCount) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& aSource, int64_t aCount) {
    if (aCount == 0) {
        aSource.SetPosition(0);
        aCount = aSource.GetSize();
    }
    const int64_t kBufferSize = 256 * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(aCount, kBufferSize)));
    int64_t left = aCount;
    while (left > 0) {
        int64_t n = std::min(left, kBufferSize);
        aSource.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return aCount;
}

// --- THandleStream ---------------------------------------------------------------------------------

THandleStream::~THandleStream() {
    if (fHandle >= 0) ::close(fHandle);
}

int64_t THandleStream::Read(void* aBuffer, int64_t aCount) {
    if (aCount <= 0 || fHandle < 0) return 0;
    auto* p = static_cast<uint8_t*>(aBuffer);
    int64_t done = 0;
    while (done < aCount) {
        ssize_t n = ::read(fHandle, p + done, static_cast<size_t>(aCount - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Write(const void* aBuffer, int64_t aCount) {
    if (aCount <= 0 || fHandle < 0) return 0;
    auto* p = static_cast<const uint8_t*>(aBuffer);
    int64_t done = 0;
    while (done < aCount) {
        ssize_t n = ::write(fHandle, p + done, static_cast<size_t>(aCount - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t aOffset, int aOrigin) {
    int whence = aOrigin == soBeginning ? SEEK_SET : aOrigin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(fHandle, static_cast<off_t>(aOffset), whence);
    return result < 0 ? -1 : static_cast<int64_t>(result);
}

void THandleStream::SetSize(int64_t aNewSize) {
    Seek(aNewSize, soBeginning);
    if (::ftruncate(fHandle, static_cast<off_t>(aNewSize)) != 0) RaiseLastOSError();
}

// --- TFileStream -----------------------------------------------------------------------------------

namespace {
int OpenForMode(const std::string& aFileName, uint32_t aMode) {
    if (aMode == fmCreate) return ::open(aFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int access = (aMode & 3) == fmOpenWrite ? O_WRONLY : (aMode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    return ::open(aFileName.c_str(), access | O_CLOEXEC);
}
} // namespace

TFileStream::TFileStream(const std::string& aFileName, uint32_t aMode)
    : THandleStream(OpenForMode(aFileName, aMode)), fFileName(aFileName) {
    if (fHandle < 0) {
        std::string reason = SysErrorMessage(errno);
        if (aMode == fmCreate) throw EFCreateError("Cannot create file \"" + aFileName + "\". " + reason);
        throw EFOpenError("Cannot open file \"" + aFileName + "\". " + reason);
    }
}

// --- TCustomMemoryStream ---------------------------------------------------------------------------

void TCustomMemoryStream::SetPointer(void* aMemory, int64_t aSize) {
    fMemory = static_cast<uint8_t*>(aMemory);
    fSize = aSize;
}

int64_t TCustomMemoryStream::Read(void* aBuffer, int64_t aCount) {
    if (fPosition < 0 || aCount <= 0 || fPosition >= fSize) return 0;
    int64_t n = std::min(aCount, fSize - fPosition);
    std::memcpy(aBuffer, fMemory + fPosition, static_cast<size_t>(n));
    fPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Write(const void*, int64_t) {
    throw EAbstractError("Abstract Error");
}

int64_t TCustomMemoryStream::Seek(int64_t aOffset, int aOrigin) {
    switch (aOrigin) {
    case soBeginning:
        fPosition = aOffset;
        break;
    case soCurrent:
        fPosition += aOffset;
        break;
    default:
        fPosition = fSize + aOffset;
        break;
    }
    return fPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& aStream) {
    if (fSize != 0) aStream.WriteBuffer(fMemory, fSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& aFileName) {
    TFileStream file(aFileName, fmCreate);
    SaveToStream(file);
}

// --- TMemoryStream ---------------------------------------------------------------------------------

TMemoryStream::~TMemoryStream() {
    std::free(fMemory);
}

void TMemoryStream::SetCapacity(int64_t aNewCapacity) {
    if (aNewCapacity == fCapacity) return;
    if (aNewCapacity == 0) {
        std::free(fMemory);
        fMemory = nullptr;
    } else {
        void* p = std::realloc(fMemory, static_cast<size_t>(aNewCapacity));
        if (!p) throw std::bad_alloc();
        fMemory = static_cast<uint8_t*>(p);
    }
    fCapacity = aNewCapacity;
}

void TMemoryStream::SetSize(int64_t aNewSize) {
    int64_t old = fSize;
    if (aNewSize > fCapacity) SetCapacity((aNewSize + 8191) & ~int64_t(8191));
    if (aNewSize > old) std::memset(fMemory + old, 0, static_cast<size_t>(aNewSize - old));
    fSize = aNewSize;
    if (fPosition > aNewSize) fPosition = aNewSize;
}

int64_t TMemoryStream::Write(const void* aBuffer, int64_t aCount) {
    if (fPosition < 0 || aCount <= 0) return 0;
    int64_t end = fPosition + aCount;
    if (end > fSize) {
        if (end > fCapacity) SetCapacity(std::max(end, fCapacity + fCapacity / 4 + 8192));
        fSize = end;
    }
    std::memcpy(fMemory + fPosition, aBuffer, static_cast<size_t>(aCount));
    fPosition = end;
    return aCount;
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    fSize = 0;
    fPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& aStream) {
    aStream.SetPosition(0);
    int64_t count = aStream.GetSize();
    SetSize(count);
    if (count != 0) aStream.ReadBuffer(fMemory, count);
    fPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& aFileName) {
    TFileStream file(aFileName, fmOpenRead);
    LoadFromStream(file);
}

} // namespace qrt
