#pragma once

#include "engine/dmMain.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qrt {
class TxDiskAccessor;
}

namespace qrt::test {

// A file of a test volume: its path the mtools way ("DOCS/A.TXT") and its bytes.
struct TreeFile {
    std::string Path;
    std::string Bytes;
};

// Runs the recovery engine over an image file the way a front end does: the image is opened
// read-only, its volume mounted (the first partition when it has a partition table), and everything
// the run reports to the crash reporter and in message boxes is kept.
class EngineRun {
public:
    explicit EngineRun(const std::string& aImage);
    ~EngineRun();
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

    // The mounted volume (nullptr when no file system could be mounted).
    TxDiskAccessor* Volume() const { return fVolume; }
    // RecoverFileSystem into aOutput.
    void Recover(const std::string& aOutput);

    TdmodMain Engine;
    std::vector<std::string> Problems; // "Class: message" of every reported exception
    std::vector<std::string> Boxes;    // the texts of the message boxes shown

private:
    std::unique_ptr<TxDiskAccessor> fDisk;
    TxDiskAccessor* fVolume = nullptr;
};

// Equality of two byte strings that reports the sizes and the first difference, not the bytes.
::testing::AssertionResult SameBytes(const std::string& aActual, const std::string& aExpected);
// The same for two trees of files.
::testing::AssertionResult SameTree(const std::map<std::string, std::string>& aActual,
                                    const std::map<std::string, std::string>& aExpected);

// For a path "~LostFiles/~#N/REST": true with aLostDir "~#N" and aRest "REST".
bool SplitLostDirectoryPath(const std::string& aPath, std::string& aLostDir, std::string& aRest);

// The size of a file in bytes (-1 when it cannot be read), without reading it.
int64_t FileSize(const std::string& aFileName);

// Every file below aFolder (relative path with '/' -> bytes), the two logs left out.
std::map<std::string, std::string> ReadTree(const std::string& aFolder);
// The lines of a log (CR LF separated; the text after the last CR LF must be empty).
std::vector<std::string> LogLines(const std::string& aFileName);

} // namespace qrt::test
