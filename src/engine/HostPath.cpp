#include "engine/HostPath.h"

#include "support/PathUtils.h"

#include <sys/stat.h>

namespace qrt {

namespace {

// The length of the longest prefix of aText that fits into aMax bytes without cutting a UTF-8
// character.
size_t Utf8PrefixLength(const std::string& aText, size_t aMax) {
    if (aText.size() <= aMax) return aText.size();
    size_t n = aMax;
    while (n > 0 && (static_cast<unsigned char>(aText[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::string Shorten(const std::string& aName) {
    if (aName.size() <= kMaxHostNameBytes) return aName;
    std::string ext;
    auto dot = aName.rfind('.');
    if (dot != std::string::npos && dot > 0 && aName.size() - dot <= 16) ext = aName.substr(dot);
    std::string base = aName.substr(0, aName.size() - ext.size());
    return base.substr(0, Utf8PrefixLength(base, kMaxHostNameBytes - ext.size())) + ext;
}

} // namespace

std::string SafeHostName(const std::string& aName) {
    if (aName.empty()) return "_";
    if (aName == "." || aName == "..") return "_" + aName;
    std::string name = aName;
    for (char& c : name)
        if (c == '/' || c == '\0' || c == PathDelim) c = '_';
    return Shorten(name);
}

std::string VolumeToHostPath(const std::string& aRelativePath) {
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t end = aRelativePath.find('\\', start);
        std::string part =
            aRelativePath.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!result.empty()) result += PathDelim;
        result += SafeHostName(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return result;
}

std::string AvoidFileFolderClashes(const std::string& aBase, const std::string& aHostRelative) {
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t end = aHostRelative.find(PathDelim, start);
        bool last = end == std::string::npos;
        const std::string name = aHostRelative.substr(start, last ? std::string::npos : end - start);
        // A folder of the path must not be a file, the file must not be a folder. The underscores
        // go after the name, cut short where the name is as long as the host allows.
        std::string part = name;
        for (size_t n = 1; n <= kMaxHostNameBytes; ++n) {
            struct stat st {};
            if (::lstat((aBase + result + part).c_str(), &st) != 0) break;
            if (last ? !S_ISDIR(st.st_mode) : S_ISDIR(st.st_mode)) break;
            part = name.substr(0, Utf8PrefixLength(name, kMaxHostNameBytes - n)) + std::string(n, '_');
        }
        result += part;
        if (last) return result;
        result += PathDelim;
        start = end + 1;
    }
}

} // namespace qrt
