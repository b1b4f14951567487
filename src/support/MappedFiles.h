#pragma once

#include "core/Exceptions.h"
#include "core/Streams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qrt {

QRT_DECLARE_EXCEPTION(EMapFileError, EFileStreamError)

// Mapping modes.
enum TMapMode : int32_t {
    mmReadOnly = 0,  // read; others may read
    mmReadWrite = 1, // read and write, shared with the file
    mmCopy = 2,      // read and write, changes stay private (copy-on-write)
    mmCreate = 3,    // streams only: the file is created with the requested size, then mmReadWrite
};

// A file mapped into memory as a whole: at most one view at a time.
class TMemoryMappedFile : public TObject {
public:
    QRT_CLASSNAME(TMemoryMappedFile)

    // aSize < 0 maps the file at its current size. In modes 1 and 2 a missing file is created with
    // aSize bytes. Failures: EFOpenError "Sorry, could not open "<name>"!", EMapFileError
    // "Sorry, file "<name>" cannot be mapped!".
    TMemoryMappedFile(const std::string& aFileName, int64_t aSize, int32_t aMode);
    ~TMemoryMappedFile() override;
    TMemoryMappedFile(const TMemoryMappedFile&) = delete;
    TMemoryMappedFile& operator=(const TMemoryMappedFile&) = delete;

    // Maps the whole file on the first call and returns the view.
    void* GetView();
    // Unmaps aView, which must be the current view.
    void ReleaseView(void* aView);

    const std::string& FileName() const { return fFileName; }
    int64_t Size() const { return fSize; }
    void* View() const { return fView; }
    int32_t LockCount() const { return fLockCount; }

private:
    std::string fFileName;
    int64_t fSize = 0;
    int fHandle = -1;
    void* fView = nullptr;
    int fProtection = 0;
    int fViewAccess = 0;
    int32_t fLockCount = 0;
};

// A memory stream whose memory is a mapped file. Reading and seeking are the memory stream's; writing
// goes into the mapping and never grows the stream (SetSize does).
class TMemoryMappedStream : public TCustomMemoryStream {
public:
    QRT_CLASSNAME(TMemoryMappedStream)

    // aSize < 0 maps the file at its current size; an empty file gets no mapping and size 0.
    TMemoryMappedStream(const std::string& aFileName, int64_t aSize, int32_t aMode);
    ~TMemoryMappedStream() override;
    TMemoryMappedStream(const TMemoryMappedStream&) = delete;
    TMemoryMappedStream& operator=(const TMemoryMappedStream&) = delete;

    void Map(int64_t aSize);
    void Unmap();
    bool IsMapped() const { return fMappedFile != nullptr; }

    void SetSize(int64_t aNewSize) override;
    int64_t Write(const void* aBuffer, int64_t aCount) override;

    const std::string& FileName() const { return fFileName; }
    int32_t Mode() const { return fMode; }

private:
    std::unique_ptr<TMemoryMappedFile> fMappedFile;
    std::string fFileName;
    int32_t fMode;
};

} // namespace qrt
