#include "support/IniReader.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const char* aBegin, const char* aEnd) {
    while (aBegin < aEnd && IsBlank(*aBegin))
        ++aBegin;
    while (aEnd > aBegin && IsBlank(aEnd[-1]))
        --aEnd;
    return std::string(aBegin, aEnd);
}

std::string LowerAscii(std::string aText) {
    for (char& c : aText)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return aText;
}

// What identifies one version of a file.
struct TFileStamp {
    dev_t Device;
    ino_t Inode;
    off_t Size;
    timespec Modified;
    timespec Changed;

    explicit TFileStamp(const struct stat& s)
        : Device(s.st_dev), Inode(s.st_ino), Size(s.st_size), Modified(s.st_mtim), Changed(s.st_ctim) {}
    bool operator==(const TFileStamp& o) const {
        return Device == o.Device && Inode == o.Inode && Size == o.Size &&
               Modified.tv_sec == o.Modified.tv_sec && Modified.tv_nsec == o.Modified.tv_nsec &&
               Changed.tv_sec == o.Changed.tv_sec && Changed.tv_nsec == o.Changed.tv_nsec;
    }
};

struct TCacheEntry {
    TFileStamp Stamp;
    std::shared_ptr<const TIniReader> Reader;
};

// A handful of files is read over and over (the signature database); more are not kept.
constexpr size_t kMaxCachedFiles = 16;

std::mutex gCacheLock;
std::map<std::string, TCacheEntry> gCache;

bool ReadWhole(int aFd, off_t aSize, std::string& aText) {
    aText.resize(static_cast<size_t>(aSize));
    size_t done = 0;
    while (done < aText.size()) {
        ssize_t n = ::read(aFd, aText.data() + done, aText.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    aText.resize(done);
    return true;
}

} // namespace

TIniReader::TIniReader(const std::string& aText) {
    const char* p = aText.data();
    const char* end = p + aText.size();
    if (end - p >= 3 && p[0] == '\xEF' && p[1] == '\xBB' && p[2] == '\xBF') p += 3; // UTF-8 byte order mark
    TSection* section = nullptr;
    while (p < end) {
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        const char* s = p;
        while (s < lineEnd && IsBlank(*s))
            ++s;
        if (s < lineEnd && *s == '[') {
            const char* close = s + 1;
            while (close < lineEnd && *close != ']')
                ++close;
            section = &fSections[LowerAscii(Trim(s + 1, close))];
        } else if (s < lineEnd && *s != ';' && section) {
            const char* eq = s;
            while (eq < lineEnd && *eq != '=')
                ++eq;
            if (eq < lineEnd) {
                std::string key = LowerAscii(Trim(s, eq));
                if (!key.empty()) section->try_emplace(std::move(key), Trim(eq + 1, lineEnd));
            }
        }
        p = lineEnd;
        if (p < end && *p == '\r') ++p;
        if (p < end && *p == '\n') ++p;
    }
}

const std::string* TIniReader::Find(const std::string& aSection, const std::string& aKey) const {
    auto section = fSections.find(LowerAscii(aSection));
    if (section == fSections.end()) return nullptr;
    auto value = section->second.find(LowerAscii(aKey));
    return value == section->second.end() ? nullptr : &value->second;
}

std::shared_ptr<const TIniReader> TIniReader::LoadFile(const std::string& aFileName) {
    int fd;
    do {
        fd = ::open(aFileName.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;

    struct stat before;
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(gCacheLock);
        auto cached = gCache.find(aFileName);
        if (cached != gCache.end() && cached->second.Stamp == TFileStamp(before)) {
            ::close(fd);
            return cached->second.Reader;
        }
    }

    std::string text;
    bool ok = ReadWhole(fd, before.st_size, text);
    struct stat after;
    // A file that changed while it was read is used once but not kept.
    bool stable = ok && ::fstat(fd, &after) == 0 && TFileStamp(after) == TFileStamp(before);
    ::close(fd);
    if (!ok) return nullptr;

    auto reader = std::make_shared<const TIniReader>(text);
    std::lock_guard<std::mutex> lock(gCacheLock);
    if (stable) {
        if (gCache.size() >= kMaxCachedFiles && gCache.find(aFileName) == gCache.end()) gCache.clear();
        gCache.insert_or_assign(aFileName, TCacheEntry{TFileStamp(before), reader});
    } else {
        gCache.erase(aFileName);
    }
    return reader;
}

void TIniReader::ClearCache() {
    std::lock_guard<std::mutex> lock(gCacheLock);
    gCache.clear();
}

} // namespace qrt
