#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qrt {
class TxDiskAccessor;
}

namespace qrt::fuzz {

// Makes the code under test quiet: the crash reporter and the message boxes keep nothing and show
// nothing (a fuzz run reports thousands of damaged volumes a second). Registers the FAT classes.
void PrepareProcess();

// Stops the run with a message when a property the code promises does not hold: the fuzzer then
// reports a crash with the input that broke it.
[[noreturn]] void Broken(const std::string& aWhat);
inline void Expect(bool aCondition, const char* aWhat) {
    if (!aCondition) Broken(aWhat);
}

// A device image in memory: an anonymous file (memfd) that the disk layer opens by its /proc path,
// read-only like any device. Bytes not written read as zeros, so a volume of many megabytes costs
// only what the input holds.
class TMemoryImage {
public:
    TMemoryImage();
    ~TMemoryImage();
    TMemoryImage(const TMemoryImage&) = delete;
    TMemoryImage& operator=(const TMemoryImage&) = delete;

    // Empties the image and gives it aSize bytes of zeros.
    void Reset(uint64_t aSize);
    // Writes bytes at an offset (growing the image when they reach beyond its end).
    void Write(uint64_t aOffset, const void* aData, size_t aCount);
    uint64_t Size() const { return fSize; }
    const std::string& Path() const { return fPath; }

private:
    int fFd = -1;
    uint64_t fSize = 0;
    std::string fPath;
};

// An accessor opened read-only on a path, as the front ends open a device; its geometry is learned.
std::unique_ptr<TxDiskAccessor> OpenDevice(const std::string& aPath);

// The size in bytes that a FAT boot record at the start of aData claims for its volume (total
// sectors times bytes per sector, whichever total field is set); 0 when the bytes hold none.
uint64_t ClaimedVolumeBytes(const uint8_t* aData, size_t aSize);

// A fresh folder below /dev/shm (memory, so the many small files of a run cost no disk), removed
// with everything in it on destruction.
class TScratchFolder {
public:
    TScratchFolder();
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Path() const { return fPath; }
    // Removes everything inside the folder.
    void Empty();
    // The names directly inside the folder.
    size_t CountEntries() const;

private:
    std::string fPath;
};

// Removes a folder with everything below it; symbolic links are removed, never followed.
void RemoveTree(const std::string& aPath);

// Reads the input as a sequence of small numbers (the parameters of the operations a target calls);
// once the bytes run out every number is 0.
class TInputReader {
public:
    TInputReader(const uint8_t* aData, size_t aSize) : fData(aData), fSize(aSize) {}

    uint8_t Byte() { return fPos < fSize ? fData[fPos++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    // The bytes not read yet.
    const uint8_t* Rest() const { return fData + (fPos < fSize ? fPos : fSize); }
    size_t RestSize() const { return fPos < fSize ? fSize - fPos : 0; }

private:
    const uint8_t* fData;
    size_t fSize;
    size_t fPos = 0;
};

} // namespace qrt::fuzz
