#include "EngineTestSupport.h"

#include "TestUtil.h"

#include "core/Application.h"
#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "disk/FileSystemRegistry.h"
#include "disk/PartitionTable.h"
#include "fat/FATRegistration.h"
#include "recognition/HeaderMatching.h"

#include <sys/stat.h>

namespace qrt::test {

EngineRun::EngineRun(const std::string& aImage) {
    RegisterFATFileSystems();
    // The shipped signature database lies beside the test executable, as beside the programs.
    static bool loaded = false;
    if (!loaded) {
        FileRecognizers().LoadFromIni(TApplication::ExeFolder() + "FileIds.ini");
        loaded = true;
    }
    fDisk = std::make_unique<TxDiskAccessor>();
    fDisk->fParams.DevicePath = aImage;
    fDisk->Open(true);
    if (FindFileSystemClass(fDisk.get())) {
        fDisk->MountFileSystem();
        fVolume = fDisk.get();
    } else {
        fDisk->LoadPartitionTable();
        if (fDisk->fPartitionTable && fDisk->fPartitionTable->GetPartitionCount() > 0)
            fVolume = fDisk->fPartitionTable->GetPartition(0);
    }
    if (fVolume && !fVolume->fFileSystem) fVolume = nullptr;
    Engine.SetDisk(fVolume);
    SetExceptionHandler([this](const std::exception& e) { Problems.push_back(DescribeException(e)); });
    SetMessageBoxHandler([this](const std::string& aText, const std::string&, uint32_t aFlags) {
        Boxes.push_back(aText);
        return DefaultMessageBoxResult(aFlags);
    });
}

EngineRun::~EngineRun() {
    SetExceptionHandler(nullptr);
    SetMessageBoxHandler(nullptr);
}

void EngineRun::Recover(const std::string& aOutput) {
    Engine.SetOutputFolder(aOutput);
    Engine.RecoverFileSystem(fVolume ? fVolume->fFileSystem : nullptr);
}

::testing::AssertionResult SameBytes(const std::string& aActual, const std::string& aExpected) {
    if (aActual == aExpected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < aActual.size() && at < aExpected.size() && aActual[at] == aExpected[at])
        ++at;
    return ::testing::AssertionFailure() << aActual.size() << " bytes where " << aExpected.size()
                                         << " were expected, first difference at byte " << at;
}

::testing::AssertionResult SameTree(const std::map<std::string, std::string>& aActual,
                                    const std::map<std::string, std::string>& aExpected) {
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    bool ok = true;
    std::string report;
    for (const auto& [path, bytes] : aExpected) {
        auto it = aActual.find(path);
        if (it == aActual.end()) {
            ok = false;
            report += "\n  missing: " + path;
        } else if (auto same = SameBytes(it->second, bytes); !same) {
            ok = false;
            report += "\n  differs: " + path + ": " + same.message();
        }
    }
    for (const auto& [path, bytes] : aActual)
        if (!aExpected.count(path)) {
            ok = false;
            report += "\n  unexpected: " + path + " (" + std::to_string(bytes.size()) + " bytes)";
        }
    if (ok) return result;
    return ::testing::AssertionFailure() << report;
}

bool SplitLostDirectoryPath(const std::string& aPath, std::string& aLostDir, std::string& aRest) {
    const std::string prefix = "~LostFiles/~#";
    if (aPath.rfind(prefix, 0) != 0) return false;
    size_t end = prefix.size();
    while (end < aPath.size() && aPath[end] >= '0' && aPath[end] <= '9')
        ++end;
    if (end == prefix.size() || end >= aPath.size() || aPath[end] != '/') return false;
    aLostDir = aPath.substr(prefix.size() - 2, end - prefix.size() + 2);
    aRest = aPath.substr(end + 1);
    return true;
}

int64_t FileSize(const std::string& aFileName) {
    struct stat st;
    return ::stat(aFileName.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

std::map<std::string, std::string> ReadTree(const std::string& aFolder) {
    std::map<std::string, std::string> tree;
    for (const std::string& path : ListFilesRecursive(aFolder)) {
        if (path == "SavedFilesLog.txt" || path == "SavedFilesLog-Full.txt") continue;
        tree[path] = ReadFileBytes(aFolder + "/" + path);
    }
    return tree;
}

std::vector<std::string> LogLines(const std::string& aFileName) {
    std::string text = ReadFileBytes(aFileName);
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last line break in " << aFileName;
    return lines;
}

} // namespace qrt::test
