#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrt {

// Which block devices a folder lies on, so that a recovery never writes onto the device it reads.

// One line of /proc/self/mountinfo: the device numbers of the mounted file system, where it is
// mounted and what was mounted (a device node such as /dev/sdb1, or a name such as "tmpfs").
struct TMountEntry {
    uint32_t Major = 0;
    uint32_t Minor = 0;
    std::string MountPoint;
    std::string Source;
};

// The entries of a mountinfo text (the kernel's octal escapes in paths decoded); malformed lines
// are skipped.
std::vector<TMountEntry> ParseMountInfo(const std::string& aText);
// The entries of a /proc/mounts text ("source mountpoint type options ..."); the device numbers are
// taken from the source when it is a block device, else left 0.
std::vector<TMountEntry> ParseProcMounts(const std::string& aText);
// The last entry whose mount point contains aPath (an absolute path without symbolic links), as the
// mount seen there is the one mounted last; nullptr when none does.
const TMountEntry* FindMountOf(const std::vector<TMountEntry>& aMounts, const std::string& aPath);

// Whether writing below aOutputPath (it need not exist yet) would write onto the device aSourcePath
// names: the same block device, one of its partitions, or, for an image file, a loop device backed by
// that file (and its partitions). The folder's device is learned from its nearest existing ancestor
// and from the mount that holds it. False for a source that is neither a block device nor a file.
// aReason receives the device the output lies on when the answer is true.
bool OutputLiesOnSource(const std::string& aOutputPath, const std::string& aSourcePath,
                        std::string* aReason = nullptr);

} // namespace qrt
