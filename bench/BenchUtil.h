#pragma once

// Timing helpers shared by the benchmarks.

#include <chrono>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace qrt::bench {

// Drops the page cache of a file, so that the next read comes from the medium.
inline void DropCache(const std::string& aPath) {
    int fd = ::open(aPath.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

inline double Seconds(std::chrono::steady_clock::time_point aStart) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

} // namespace qrt::bench
