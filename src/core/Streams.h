#pragma once

#include "core/TObject.h"

#include <cstdint>
#include <string>

namespace qrt {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Byte stream base. Read and Write return how many bytes were moved; ReadBuffer and WriteBuffer
// move exactly the count asked for or raise EReadError / EWriteError.
class TStream : public TObject {
public:
    QRT_CLASSNAME(TStream)

    virtual int64_t Read(void* aBuffer, int64_t aCount) = 0;
    virtual int64_t Write(const void* aBuffer, int64_t aCount) = 0;
    virtual int64_t Seek(int64_t aOffset, int aOrigin) = 0;
    // The size by seeking to the end and back.
    virtual int64_t GetSize();
    virtual void SetSize(int64_t aNewSize);

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t aPosition) { Seek(aPosition, soBeginning); }

    void ReadBuffer(void* aBuffer, int64_t aCount);
    void WriteBuffer(const void* aBuffer, int64_t aCount);
    // Copies aCount bytes (all from position 0 when aCount is 0) from aSource; returns the count.
    int64_t CopyFrom(TStream& aSource, int64_t aCount);
};

// Stream over a POSIX file descriptor, which it owns.
class THandleStream : public TStream {
public:
    QRT_CLASSNAME(THandleStream)

    explicit THandleStream(int aHandle) : fHandle(aHandle) {}
    ~THandleStream() override;
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    int64_t Read(void* aBuffer, int64_t aCount) override;
    int64_t Write(const void* aBuffer, int64_t aCount) override;
    int64_t Seek(int64_t aOffset, int aOrigin) override;
    void SetSize(int64_t aNewSize) override;

    int Handle() const { return fHandle; }

protected:
    int fHandle;
};

// File open modes. Sharing modes of other platforms have no meaning here and are not offered.
enum TFileMode : uint32_t { fmOpenRead = 0, fmOpenWrite = 1, fmOpenReadWrite = 2, fmCreate = 0xFF00 };

// A file as a stream: fmCreate creates (or empties) the file, the other modes open an existing one.
// Failures raise EFCreateError "Cannot create file "%s". %s" or EFOpenError "Cannot open file "%s". %s".
class TFileStream : public THandleStream {
public:
    QRT_CLASSNAME(TFileStream)

    TFileStream(const std::string& aFileName, uint32_t aMode);
    const std::string& FileName() const { return fFileName; }

private:
    std::string fFileName;
};

// Memory stream over a block set from outside (SetPointer); reading and seeking only.
class TCustomMemoryStream : public TStream {
public:
    QRT_CLASSNAME(TCustomMemoryStream)

    int64_t Read(void* aBuffer, int64_t aCount) override;
    int64_t Write(const void* aBuffer, int64_t aCount) override;
    int64_t Seek(int64_t aOffset, int aOrigin) override;
    int64_t GetSize() override { return fSize; }

    void* Memory() const { return fMemory; }
    void SaveToStream(TStream& aStream);
    void SaveToFile(const std::string& aFileName);

protected:
    void SetPointer(void* aMemory, int64_t aSize);

    uint8_t* fMemory = nullptr;
    int64_t fSize = 0;
    int64_t fPosition = 0;
};

// Memory stream that owns and grows its block.
class TMemoryStream : public TCustomMemoryStream {
public:
    QRT_CLASSNAME(TMemoryStream)

    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Write(const void* aBuffer, int64_t aCount) override;
    void SetSize(int64_t aNewSize) override;
    void Clear();
    void LoadFromStream(TStream& aStream);
    void LoadFromFile(const std::string& aFileName);

private:
    void SetCapacity(int64_t aNewCapacity);

    int64_t fCapacity = 0;
};

} // namespace qrt
