#include "support/PathUtils.h"

#include "core/Assert.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

QRT_UNIT("WinUtils\\PathUtils")

namespace qrt {

namespace {

// Index of the last folder or drive delimiter, or npos.
size_t LastDelimiter(const std::string& aPath) {
    for (size_t i = aPath.size(); i-- > 0;)
        if (IsPathDelimiter(aPath[i])) return i;
    return std::string::npos;
}

// Index of the extension's '.', or npos.
size_t ExtensionStart(const std::string& aFileName) {
    size_t last = LastDelimiter(aFileName);
    size_t nameStart = last == std::string::npos ? 0 : last + 1;
    size_t dot = aFileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return std::string::npos;
    return dot;
}

bool StatPath(const std::string& aPath, struct stat& aInfo) {
    return !aPath.empty() && ::stat(aPath.c_str(), &aInfo) == 0;
}

// Creates aPath after its missing parents; aError keeps the first failure.
void ForceDirectoryStep(const std::string& aPath, int& aError) {
    std::string parent = ExcludeTrailingBackslash(ExtractFilePath(aPath));
    // An empty parent is the root or the current folder: there is nothing above it to create.
    if (!parent.empty() && parent.size() < aPath.size() && !DirectoryExists(parent))
        ForceDirectoryStep(parent, aError);
    if (aError != 0) return;
    if (::mkdir(aPath.c_str(), 0777) != 0) {
        int error = errno;
        // A folder that is already there is what was asked for; a file in the way is a failure.
        if (!(error == EEXIST && DirectoryExists(aPath))) aError = error;
    }
}

} // namespace

bool IsPathDelimiter(char aChar) {
#ifdef _WIN32
    return aChar == '\\' || aChar == ':';
#else
    return aChar == PathDelim;
#endif
}

std::string IncludeTrailingBackslash(const std::string& aPath) {
    if (aPath.empty() || aPath.back() == PathDelim) return aPath;
    return aPath + PathDelim;
}

std::string ExcludeTrailingBackslash(const std::string& aPath) {
    QRT_ASSERT(!aPath.empty(), "WTF?");
    if (aPath.back() == PathDelim) return aPath.substr(0, aPath.size() - 1);
    return aPath;
}

std::string ExtractFilePath(const std::string& aFileName) {
    size_t last = LastDelimiter(aFileName);
    return last == std::string::npos ? std::string() : aFileName.substr(0, last + 1);
}

std::string ExtractFileExt(const std::string& aFileName) {
    QRT_ASSERT(!aFileName.empty(), "WTF? aFileName = \"\"!!");
    size_t dot = ExtensionStart(aFileName);
    return dot == std::string::npos ? std::string() : aFileName.substr(dot);
}

std::string RemoveFileExt(const std::string& aFileName) {
    size_t dot = ExtensionStart(aFileName);
    return dot == std::string::npos ? aFileName : aFileName.substr(0, dot);
}

std::string ChangeFileExt(const std::string& aFileName, const std::string& aExt) {
    QRT_ASSERT(aExt.empty() || aExt[0] == '.', "WTF?");
    return RemoveFileExt(aFileName) + aExt;
}

std::string ChangeFileNamePart(const std::string& aFileName, const std::string& aNewName) {
    return ExtractFilePath(aFileName) + aNewName + ExtractFileExt(aFileName);
}

std::string ReplaceFileNameChars(const std::string& aText, char aChar) {
    static const std::string kForbidden = "\"*/:<>?\\|";
    std::string result = aText;
    for (char& c : result)
        if (kForbidden.find(c) != std::string::npos) c = aChar;
    return result;
}

bool FileExists(const std::string& aFileName) {
    struct stat info;
    return StatPath(aFileName, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& aPath) {
    struct stat info;
    return StatPath(aPath, info) && S_ISDIR(info.st_mode);
}

int64_t GetFileSize64(const std::string& aFileName) {
    struct stat info;
    if (!StatPath(aFileName, info)) return -1;
    return S_ISDIR(info.st_mode) ? 0 : static_cast<int64_t>(info.st_size);
}

bool ForceDirectories(const std::string& aPath) {
    QRT_ASSERT(!aPath.empty(), "WTF?");
    QRT_ASSERT(aPath.back() != PathDelim, "WTF? aPath=" + aPath);
    if (aPath.find(PathDelim) == std::string::npos) return true;
    int error = 0;
    ForceDirectoryStep(aPath, error);
    return error == 0;
}

} // namespace qrt
