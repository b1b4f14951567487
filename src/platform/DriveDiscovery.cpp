#include "platform/DriveDiscovery.h"

#include "platform/DeviceIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <sys/stat.h>

namespace qrt {

namespace fs = std::filesystem;

namespace {

struct TDiscoverySettings {
    bool Enabled = true;
    bool Discovered = false;
    TDiscoveryRoots Roots;
};

TDiscoverySettings& Settings() {
    static TDiscoverySettings settings;
    return settings;
}

// The first line of a small sysfs attribute, without surrounding blanks; empty when unreadable.
std::string ReadAttribute(const std::string& aPath) {
    std::ifstream in(aPath);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    const char* blanks = " \t\r\n";
    size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

bool NodeExists(const std::string& aPath) {
    struct stat st {};
    return ::stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int IsLowerLetter(int c) {
    return c >= 'a' && c <= 'z';
}
int IsDecimalDigit(int c) {
    return c >= '0' && c <= '9';
}

// True when aText is aPrefix followed by one or more characters that aIsPart accepts.
bool IsPrefixedRun(std::string_view aText, std::string_view aPrefix, int (*aIsPart)(int)) {
    if (aText.size() <= aPrefix.size() || aText.substr(0, aPrefix.size()) != aPrefix) return false;
    return std::all_of(aText.begin() + aPrefix.size(), aText.end(),
                       [&](char c) { return aIsPart(static_cast<unsigned char>(c)) != 0; });
}

// sdX, vdX, mmcblkN and nvmeNnM name whole disks; their partitions and other devices have other names.
bool IsWholeDiskName(std::string_view aName) {
    if (IsPrefixedRun(aName, "sd", IsLowerLetter) || IsPrefixedRun(aName, "vd", IsLowerLetter) ||
        IsPrefixedRun(aName, "mmcblk", IsDecimalDigit))
        return true;
    size_t n = aName.find('n', 4);
    return n != std::string_view::npos && IsPrefixedRun(aName.substr(0, n), "nvme", IsDecimalDigit) &&
           IsPrefixedRun(aName.substr(n), "n", IsDecimalDigit);
}

bool IsWholeDisk(const std::string& aName, const std::string& aFolder) {
    if (ReadAttribute(aFolder + "/hidden") == "1") return false; // e.g. nvme multipath paths
    if (IsWholeDiskName(aName)) return true;
    // A loop device counts only while it is bound to a file.
    return IsPrefixedRun(aName, "loop", IsDecimalDigit) && fs::exists(aFolder + "/loop/backing_file");
}

} // namespace

bool SysfsDiskIsRemovable(const std::string& aDiskFolder) {
    if (ReadAttribute(aDiskFolder + "/removable") == "1") return true;
    std::string name = aDiskFolder.substr(aDiskFolder.rfind('/') + 1);
    return name.rfind("mmcblk", 0) == 0 && ReadAttribute(aDiskFolder + "/device/type") == "SD";
}

namespace {

// The partitions of a disk: its sysfs subfolders that carry a "partition" number, in that order.
std::vector<std::string> PartitionsOf(const std::string& aFolder) {
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(aFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string number = ReadAttribute(it->path().string() + "/partition");
        if (number.empty()) continue;
        found.emplace_back(std::strtol(number.c_str(), nullptr, 10), it->path().filename().string());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : DiskNameLess(a.second, b.second);
    });
    std::vector<std::string> names;
    for (auto& [number, name] : found)
        names.push_back(name);
    return names;
}

// The known family prefix of a device name, else its leading letters.
std::string FamilyOf(const std::string& aName) {
    for (const char* family : {"mmcblk", "loop", "nvme", "fd", "sd", "vd"})
        if (aName.rfind(family, 0) == 0) return family;
    size_t end = 0;
    while (end < aName.size() && std::isalpha(static_cast<unsigned char>(aName[end])))
        ++end;
    return aName.substr(0, end);
}

// Splits a text into runs of digits and runs of anything else.
std::vector<std::string> RunsOf(const std::string& aText) {
    std::vector<std::string> runs;
    for (char c : aText) {
        bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        if (runs.empty() || (std::isdigit(static_cast<unsigned char>(runs.back()[0])) != 0) != digit)
            runs.emplace_back();
        runs.back() += c;
    }
    return runs;
}

int CompareRuns(const std::string& a, const std::string& b) {
    bool digitsA = std::isdigit(static_cast<unsigned char>(a[0])) != 0;
    bool digitsB = std::isdigit(static_cast<unsigned char>(b[0])) != 0;
    if (digitsA != digitsB) return digitsA ? -1 : 1;
    std::string x = a, y = b;
    if (digitsA) {
        x.erase(0, std::min(x.find_first_not_of('0'), x.size() - 1));
        y.erase(0, std::min(y.find_first_not_of('0'), y.size() - 1));
    }
    // Numbers by value, letters as the kernel counts them (z, aa, ab, ...): shorter first.
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
}

// udev writes characters that are unsafe in a file name as \xNN.
std::string UnescapeUdevName(const std::string& aName) {
    std::string result;
    for (size_t i = 0; i < aName.size(); ++i) {
        if (aName[i] == '\\' && i + 3 < aName.size() && aName[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(aName[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(aName[i + 3]))) {
            result += static_cast<char>(std::stoi(aName.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            result += aName[i];
        }
    }
    return result;
}

bool LabelFromByLabel(const std::string& aDevRoot, const std::string& aNode, std::string& aLabel) {
    std::error_code ec;
    fs::path node = fs::canonical(aNode, ec);
    if (ec) return false;
    for (fs::directory_iterator it(aDevRoot + "/disk/by-label", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkError;
        fs::path target = fs::canonical(it->path(), linkError);
        if (!linkError && target == node) {
            aLabel = UnescapeUdevName(it->path().filename().string());
            return true;
        }
    }
    return false;
}

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool IsPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

} // namespace

bool DiskNameLess(const std::string& a, const std::string& b) {
    std::string familyA = FamilyOf(a), familyB = FamilyOf(b);
    if (familyA != familyB) return familyA < familyB;
    std::vector<std::string> runsA = RunsOf(a.substr(familyA.size())),
                             runsB = RunsOf(b.substr(familyB.size()));
    for (size_t i = 0; i < runsA.size() && i < runsB.size(); ++i) {
        int order = CompareRuns(runsA[i], runsB[i]);
        if (order != 0) return order < 0;
    }
    if (runsA.size() != runsB.size()) return runsA.size() < runsB.size();
    return a < b;
}

TDriveDiscoveryResult DiscoverDrives(const TDiscoveryRoots& aRoots) {
    TDriveDiscoveryResult result;
    for (int n = 0; n < 2; ++n) {
        std::string name = "fd" + std::to_string(n);
        std::string node = aRoots.Dev + "/" + name;
        if (NodeExists(node)) result.Disks.push_back({name, node, n, false, {}});
    }

    std::string blockRoot = aRoots.Sysfs + "/block";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(blockRoot, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (IsWholeDisk(name, blockRoot + "/" + name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), DiskNameLess);

    int driveNo = 128;
    for (const std::string& name : names) {
        if (driveNo > 255) break;
        std::string node = aRoots.Dev + "/" + name;
        if (!NodeExists(node)) continue;
        std::string folder = blockRoot + "/" + name;
        result.Disks.push_back({name, node, driveNo++, SysfsDiskIsRemovable(folder), PartitionsOf(folder)});
    }

    char letter = FirstVolumeLetter;
    for (const TDiscoveredDisk& disk : result.Disks) {
        if (disk.DriveNo < 128 || !disk.Removable) continue;
        std::vector<std::string> volumes =
            disk.Partitions.empty() ? std::vector<std::string>{disk.Name} : disk.Partitions;
        for (const std::string& volume : volumes) {
            std::string node = aRoots.Dev + "/" + volume;
            if (letter > 'Z') return result;
            if (NodeExists(node)) result.Volumes.push_back({letter++, node});
        }
    }
    return result;
}

void InstallDeviceTable(const TDriveDiscoveryResult& aFound) {
    DeviceTableClear();
    for (const TDiscoveredDisk& disk : aFound.Disks) {
        if (disk.DriveNo == 0 || disk.DriveNo == 1)
            DeviceTableSet(std::string("\\\\.\\") + static_cast<char>('A' + disk.DriveNo) + ":", disk.Node);
        else
            DeviceTableSet("\\\\.\\PhysicalDrive" + std::to_string(disk.DriveNo - 128), disk.Node);
    }
    for (const TDiscoveredVolume& volume : aFound.Volumes)
        DeviceTableSet(std::string("\\\\.\\") + volume.Letter + ":", volume.Node);
}

void SetDriveDiscovery(bool aEnabled, const TDiscoveryRoots& aRoots) {
    Settings().Enabled = aEnabled;
    Settings().Roots = aRoots;
    Settings().Discovered = false;
}

bool DriveDiscoveryEnabled() {
    return Settings().Enabled;
}

const TDiscoveryRoots& DriveDiscoveryRoots() {
    return Settings().Roots;
}

void RefreshDeviceTable() {
    if (!Settings().Enabled) return;
    InstallDeviceTable(DiscoverDrives(Settings().Roots));
    Settings().Discovered = true;
}

void EnsureDeviceTable() {
    if (!Settings().Discovered) RefreshDeviceTable();
}

uint32_t GetLogicalDrives() {
    uint32_t mask = 0;
    for (const auto& [name, target] : DeviceTableEntries()) {
        if (name.size() == 6 && IsDeviceTableName(name) && name[5] == ':' && name[4] >= 'A' &&
            name[4] <= 'Z' && !target.empty())
            mask |= 1u << (name[4] - 'A');
    }
    return mask;
}

bool FatBootRecordLabel(const uint8_t* aSector, size_t aSize, std::string& aLabel) {
    aLabel.clear();
    if (aSize < 512) return false;
    const uint8_t* s = aSector;
    bool jump = s[0] == 0xEB || s[0] == 0xE9;
    uint32_t bytesPerSector = Le16(s + 11);
    bool sound = jump && Le16(s + 510) == 0xAA55 && IsPowerOfTwo(bytesPerSector) && bytesPerSector >= 512 &&
                 bytesPerSector <= 4096 && IsPowerOfTwo(s[13]) && s[16] != 0;
    if (!sound) return false;
    // FAT32 has no root-directory entry count and no 16-bit FAT size; its extended fields sit further on.
    bool fat32 = Le16(s + 17) == 0 && Le16(s + 22) == 0;
    size_t signature = fat32 ? 66 : 38;
    if (s[signature] != 0x29) return true; // an old boot record without a label field
    std::string label(reinterpret_cast<const char*>(s + signature + 5), 11);
    label = label.substr(0, label.find('\0'));
    label.erase(label.find_last_not_of(' ') + 1);
    if (label == "NO NAME") label.clear();
    aLabel = label;
    return true;
}

bool GetVolumeInformation(char aLetter, std::string& aLabel) {
    aLabel.clear();
    if (aLetter < 'A' || aLetter > 'Z') return false;
    std::string name = std::string("\\\\.\\") + aLetter + ":";
    std::string node = DeviceResolve(name);
    if (node.empty()) return false;
    if (LabelFromByLabel(Settings().Roots.Dev, node, aLabel)) return true;

    TDeviceHandle handle = DeviceOpen(name);
    if (handle == InvalidDeviceHandle) return false;
    uint8_t sector[512];
    int64_t got = DeviceRead(handle, sector, sizeof sector);
    DeviceClose(handle);
    return got == static_cast<int64_t>(sizeof sector) && FatBootRecordLabel(sector, sizeof sector, aLabel);
}

bool IsAccessDeniedError(int aError) {
    return aError == EACCES || aError == EPERM;
}

} // namespace qrt
