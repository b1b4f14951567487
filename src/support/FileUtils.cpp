#include "support/FileUtils.h"

#include "core/Assert.h"
#include "support/StreamUtils.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

QRT_UNIT("misc\\FileUtils")

namespace qrt {

namespace {

// Closes a descriptor when it goes out of scope.
struct TFdGuard {
    int fd;
    ~TFdGuard() {
        if (fd >= 0) ::close(fd);
    }
};

int OpenRetrying(const char* aPath, int aFlags) {
    int fd;
    do {
        fd = ::open(aPath, aFlags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool SetEndOfFile(int aFd, int64_t aSize) {
    int rc;
    do {
        rc = ::ftruncate(aFd, static_cast<off_t>(aSize));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

} // namespace

void CreateFileOfSize(const std::string& aFileName, int64_t aSize) {
    TFdGuard file{OpenRetrying(aFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC)};
    if (file.fd < 0) throw EFCreateError("Sorry, could not create \"" + aFileName + "\"!");
    if (aSize >= 0 && !SetEndOfFile(file.fd, aSize))
        throw EWriteError("Sorry, could not write to \"" + aFileName + "\"!");
}

void TruncateFile(const std::string& aFileName, int64_t aSize) {
    QRT_ASSERT(aSize >= 0, "WTF?");
    TFdGuard file{OpenRetrying(aFileName.c_str(), O_RDWR)};
    if (file.fd < 0) throw EFOpenError("Sorry, could not open \"" + aFileName + "\" for writing!");
    if (!SetEndOfFile(file.fd, aSize)) throw EWriteError("Sorry, could not write to \"" + aFileName + "\"!");
}

std::unique_ptr<TFileStream> OpenFileStream(const std::string& aFileName) {
    return std::make_unique<TFileStream>(aFileName, fmOpenReadWrite);
}

std::unique_ptr<TFileStream> CreateFileStream(const std::string& aFileName) {
    return std::make_unique<TFileStream>(aFileName, fmCreate);
}

std::unique_ptr<TFileStream> OpenFileForAppend(const std::string& aFileName) {
    std::unique_ptr<TFileStream> stream;
    try {
        stream = OpenFileStream(aFileName);
    } catch (const EFOpenError&) {
        stream = CreateFileStream(aFileName);
    }
    stream->Seek(0, soEnd);
    return stream;
}

void SaveStringToFile(const std::string& aFileName, const std::string& aText) {
    std::unique_ptr<TFileStream> stream = CreateFileStream(aFileName);
    WriteString(stream.get(), aText);
}

} // namespace qrt
