#include "platform/HostFiles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt {

namespace {

// FILETIME of 1970-01-01 00:00 UTC.
constexpr TFileTime kUnixEpoch = 116444736000000000ULL;

} // namespace

bool SetFileModificationTime(const std::string& aFileName, TFileTime aTime) {
    if (aTime == 0) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    auto since = static_cast<int64_t>(aTime) - static_cast<int64_t>(kUnixEpoch);
    int64_t seconds = since / 10000000;
    int64_t rest = since % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    return ::utimensat(AT_FDCWD, aFileName.c_str(), times, 0) == 0;
}

TFileTime GetFileModificationTime(const std::string& aFileName) {
    struct stat st;
    if (::stat(aFileName.c_str(), &st) != 0) return 0;
    int64_t ticks = static_cast<int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
    return static_cast<TFileTime>(ticks + static_cast<int64_t>(kUnixEpoch));
}

bool RenameFileNoReplace(const std::string& aOldName, const std::string& aNewName) {
    if (::renameat2(AT_FDCWD, aOldName.c_str(), AT_FDCWD, aNewName.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The target's file system does not know the flag: a hard link fails when the new name exists.
    if (::link(aOldName.c_str(), aNewName.c_str()) == 0) {
        if (::unlink(aOldName.c_str()) == 0) return true;
        ::unlink(aNewName.c_str());
        return false;
    }
    if (errno == EEXIST) return false;
    // Nor hard links (FAT and exFAT drives): test first, then rename.
    struct stat st;
    if (::lstat(aNewName.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(aOldName.c_str(), aNewName.c_str()) == 0;
}

} // namespace qrt
