#include "engine/HostPath.h"

#include "support/PathUtils.h"

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

} // namespace qrt
