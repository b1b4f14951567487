#include "platform/MountInfo.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qrt {

namespace {

// The kernel writes blanks, tabs, newlines and backslashes in paths as \ooo.
bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

std::string DecodeOctalEscapes(const std::string& aText) {
    std::string out;
    for (size_t i = 0; i < aText.size(); ++i) {
        if (aText[i] == '\\' && i + 3 < aText.size() && IsOctal(aText[i + 1]) && IsOctal(aText[i + 2]) &&
            IsOctal(aText[i + 3])) {
            out += static_cast<char>((aText[i + 1] - '0') * 64 + (aText[i + 2] - '0') * 8 +
                                     (aText[i + 3] - '0'));
            i += 3;
        } else {
            out += aText[i];
        }
    }
    return out;
}

std::vector<std::string> SplitFields(const std::string& aLine) {
    std::vector<std::string> fields;
    std::istringstream in(aLine);
    std::string field;
    while (in >> field)
        fields.push_back(field);
    return fields;
}

std::string ReadTextFile(const std::string& aPath) {
    std::ifstream in(aPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Trim(const std::string& aText) {
    size_t b = aText.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = aText.find_last_not_of(" \t\r\n");
    return aText.substr(b, e - b + 1);
}

std::string DevName(dev_t aDev) {
    return std::to_string(major(aDev)) + ":" + std::to_string(minor(aDev));
}

// The whole disk a partition belongs to, from sysfs; the device itself when it is no partition.
dev_t WholeDiskOf(dev_t aDev) {
    std::string base = "/sys/dev/block/" + DevName(aDev);
    struct stat st;
    if (::stat((base + "/partition").c_str(), &st) != 0) return aDev;
    std::string parent = Trim(ReadTextFile(base + "/../dev"));
    unsigned maj = 0, min = 0;
    if (std::sscanf(parent.c_str(), "%u:%u", &maj, &min) != 2) return aDev;
    return makedev(maj, min);
}

// The loop devices whose backing file is aFile.
std::set<dev_t> LoopDevicesBackedBy(const std::string& aFile) {
    std::set<dev_t> devices;
    DIR* dir = ::opendir("/sys/block");
    if (!dir) return devices;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.rfind("loop", 0) != 0) continue;
        std::string backing = Trim(ReadTextFile("/sys/block/" + name + "/loop/backing_file"));
        if (backing.empty()) continue;
        char resolved[PATH_MAX];
        if (!::realpath(backing.c_str(), resolved) || aFile != resolved) continue;
        std::string dev = Trim(ReadTextFile("/sys/block/" + name + "/dev"));
        unsigned maj = 0, min = 0;
        if (std::sscanf(dev.c_str(), "%u:%u", &maj, &min) == 2) devices.insert(makedev(maj, min));
    }
    ::closedir(dir);
    return devices;
}

// The nearest existing folder at or above aPath, resolved.
std::string ExistingAncestor(const std::string& aPath) {
    std::string path = aPath;
    for (;;) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) return resolved;
        auto slash = path.find_last_of('/');
        if (slash == std::string::npos)
            path = ".";
        else if (slash == 0)
            path = "/";
        else
            path = path.substr(0, slash);
        if (path == "/" || path == ".") {
            if (::realpath(path.c_str(), resolved)) return resolved;
            return path;
        }
    }
}

} // namespace

std::vector<TMountEntry> ParseMountInfo(const std::string& aText) {
    std::vector<TMountEntry> mounts;
    std::istringstream in(aText);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = SplitFields(line);
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        size_t dash = 0;
        for (size_t i = 6; i < f.size(); ++i)
            if (f[i] == "-") {
                dash = i;
                break;
            }
        if (f.size() < 7 || dash == 0 || dash + 2 >= f.size()) continue;
        TMountEntry entry;
        if (std::sscanf(f[2].c_str(), "%u:%u", &entry.Major, &entry.Minor) != 2) continue;
        entry.MountPoint = DecodeOctalEscapes(f[4]);
        entry.Source = DecodeOctalEscapes(f[dash + 2]);
        mounts.push_back(entry);
    }
    return mounts;
}

std::vector<TMountEntry> ParseProcMounts(const std::string& aText) {
    std::vector<TMountEntry> mounts;
    std::istringstream in(aText);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = SplitFields(line);
        if (f.size() < 2) continue;
        TMountEntry entry;
        entry.Source = DecodeOctalEscapes(f[0]);
        entry.MountPoint = DecodeOctalEscapes(f[1]);
        struct stat st;
        if (::stat(entry.Source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            entry.Major = major(st.st_rdev);
            entry.Minor = minor(st.st_rdev);
        }
        mounts.push_back(entry);
    }
    return mounts;
}

const TMountEntry* FindMountOf(const std::vector<TMountEntry>& aMounts, const std::string& aPath) {
    const TMountEntry* best = nullptr;
    size_t bestLength = 0;
    for (const TMountEntry& m : aMounts) {
        const std::string& mp = m.MountPoint;
        bool contains =
            mp == "/" || aPath == mp ||
            (aPath.size() > mp.size() && aPath.compare(0, mp.size(), mp) == 0 && aPath[mp.size()] == '/');
        if (contains && mp.size() >= bestLength) {
            best = &m;
            bestLength = mp.size();
        }
    }
    return best;
}

bool OutputLiesOnSource(const std::string& aOutputPath, const std::string& aSourcePath,
                        std::string* aReason) {
    struct stat src;
    if (::stat(aSourcePath.c_str(), &src) != 0) return false;
    std::set<dev_t> sourceDevices;
    if (S_ISBLK(src.st_mode)) {
        sourceDevices.insert(src.st_rdev);
    } else if (S_ISREG(src.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(aSourcePath.c_str(), resolved)) sourceDevices = LoopDevicesBackedBy(resolved);
    }
    if (sourceDevices.empty()) return false;

    // The devices the output folder lies on: that of its nearest existing folder, and the device the
    // mount holding it was made from (which differs on file systems with their own device numbers).
    std::string folder = ExistingAncestor(aOutputPath);
    std::set<dev_t> outputDevices;
    struct stat out;
    if (::stat(folder.c_str(), &out) == 0) outputDevices.insert(out.st_dev);
    std::string text = ReadTextFile("/proc/self/mountinfo");
    std::vector<TMountEntry> mounts =
        text.empty() ? ParseProcMounts(ReadTextFile("/proc/mounts")) : ParseMountInfo(text);
    if (const TMountEntry* m = FindMountOf(mounts, folder)) {
        if (m->Major != 0 || m->Minor != 0) outputDevices.insert(makedev(m->Major, m->Minor));
        struct stat dev;
        if (::stat(m->Source.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode)) outputDevices.insert(dev.st_rdev);
    }

    for (dev_t d : outputDevices) {
        if (sourceDevices.count(d) || sourceDevices.count(WholeDiskOf(d))) {
            if (aReason) *aReason = "block device " + DevName(d);
            return true;
        }
    }
    return false;
}

} // namespace qrt
