#include "platform/DeviceIO.h"

#include "platform/DriveDiscovery.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <map>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qrt {

namespace {

thread_local int gLastError = 0;

int Fail(int aError) {
    gLastError = aError;
    return aError;
}

std::map<std::string, std::string>& DeviceTable() {
    static std::map<std::string, std::string> table;
    return table;
}

// Unreadable ranges by the name a device is opened under, and by the handles opened since.
std::map<std::string, std::vector<TDeviceBadRange>>& BadRangesByName() {
    static std::map<std::string, std::vector<TDeviceBadRange>> ranges;
    return ranges;
}

std::map<TDeviceHandle, std::vector<TDeviceBadRange>>& BadRangesByHandle() {
    static std::map<TDeviceHandle, std::vector<TDeviceBadRange>> ranges;
    return ranges;
}

// How many of aCount bytes from the handle's position can be read before a bad range; -1 when the
// position lies inside one.
int64_t ReadableBeforeBadRange(TDeviceHandle aHandle, uint32_t aCount) {
    auto it = BadRangesByHandle().find(aHandle);
    if (it == BadRangesByHandle().end()) return aCount;
    off_t at = ::lseek(aHandle, 0, SEEK_CUR);
    if (at < 0) return aCount;
    uint64_t position = static_cast<uint64_t>(at);
    uint64_t readable = aCount;
    for (const TDeviceBadRange& r : it->second) {
        if (position >= r.Offset && position - r.Offset < r.Length) return -1;
        if (r.Offset > position) readable = std::min<uint64_t>(readable, r.Offset - position);
    }
    return static_cast<int64_t>(readable);
}

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Sector size of an image: 512 unless sector 0 holds a FAT boot record that declares a larger one.
uint32_t ImageSectorSize(int aHandle) {
    unsigned char sector[512];
    ssize_t got = pread(aHandle, sector, sizeof sector, 0);
    if (got != static_cast<ssize_t>(sizeof sector)) return 512;
    bool bootRecord = Le16(sector + 510) == 0xAA55 && (sector[0] == 0xEB || sector[0] == 0xE9);
    uint16_t declared = Le16(sector + 11);
    if (bootRecord && (declared == 1024 || declared == 2048 || declared == 4096)) return declared;
    return 512;
}

// Whether the disk behind a block device is removable, from /sys/dev/block/MAJ:MIN (a partition's
// own folder has no "removable"; its disk's folder, one level up, has).
bool SysfsRemovable(dev_t aDevice) {
    std::string base =
        "/sys/dev/block/" + std::to_string(major(aDevice)) + ":" + std::to_string(minor(aDevice));
    char resolved[PATH_MAX];
    if (!realpath(base.c_str(), resolved)) return false;
    std::string folder = resolved;
    if (access((folder + "/partition").c_str(), F_OK) == 0) folder = folder.substr(0, folder.rfind('/'));
    return SysfsDiskIsRemovable(folder);
}

} // namespace

TDeviceHandle DeviceOpen(const std::string& aName) {
    std::string target = DeviceResolve(aName);
    if (target.empty()) {
        Fail(ENOENT);
        return InvalidDeviceHandle;
    }
    int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return InvalidDeviceHandle;
    }
    BadRangesByHandle().erase(fd);
    auto bad = BadRangesByName().find(aName);
    if (bad != BadRangesByName().end()) BadRangesByHandle()[fd] = bad->second;
    return fd;
}

void DeviceClose(TDeviceHandle aHandle) {
    if (aHandle < 0) return;
    BadRangesByHandle().erase(aHandle);
    ::close(aHandle);
}

bool DeviceSeek(TDeviceHandle aHandle, uint64_t aOffset) {
    if (aOffset > static_cast<uint64_t>(INT64_MAX)) {
        Fail(EINVAL);
        return false;
    }
    if (::lseek(aHandle, static_cast<off_t>(aOffset), SEEK_SET) == static_cast<off_t>(-1)) {
        Fail(errno);
        return false;
    }
    return true;
}

int64_t DeviceRead(TDeviceHandle aHandle, void* aBuffer, uint32_t aCount) {
    if (!BadRangesByHandle().empty()) {
        int64_t readable = ReadableBeforeBadRange(aHandle, aCount);
        if (readable < 0) {
            Fail(EIO);
            return -1;
        }
        aCount = static_cast<uint32_t>(readable);
    }
    for (;;) {
        ssize_t got = ::read(aHandle, aBuffer, aCount);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        Fail(errno);
        return -1;
    }
}

bool DeviceGetGeometry(TDeviceHandle aHandle, TDeviceGeometry& aGeometry) {
    struct stat st {};
    if (fstat(aHandle, &st) != 0) {
        Fail(errno);
        return false;
    }
    TDeviceGeometry g;
    g.TracksPerCylinder = 255;
    g.SectorsPerTrack = 63;
    if (S_ISBLK(st.st_mode)) {
        int sectorSize = 0;
        uint64_t size = 0;
        if (ioctl(aHandle, BLKSSZGET, &sectorSize) != 0 || ioctl(aHandle, BLKGETSIZE64, &size) != 0) {
            Fail(errno);
            return false;
        }
        if (sectorSize <= 0) {
            Fail(EINVAL);
            return false;
        }
        struct hd_geometry geo {};
        if (ioctl(aHandle, HDIO_GETGEO, &geo) == 0 && geo.heads != 0 && geo.sectors != 0) {
            g.TracksPerCylinder = geo.heads;
            g.SectorsPerTrack = geo.sectors;
        }
        g.BytesPerSector = static_cast<uint32_t>(sectorSize);
        g.DiskSize = static_cast<int64_t>(size);
        g.MediaType = SysfsRemovable(st.st_rdev) ? DeviceMediaRemovable : DeviceMediaFixed;
    } else if (S_ISREG(st.st_mode)) {
        g.BytesPerSector = ImageSectorSize(aHandle);
        g.DiskSize = st.st_size;
        g.MediaType = DeviceMediaRemovable;
    } else {
        Fail(ENOTBLK);
        return false;
    }
    int64_t cylinderBytes = int64_t{g.TracksPerCylinder} * g.SectorsPerTrack * g.BytesPerSector;
    g.Cylinders = g.DiskSize / cylinderBytes;
    aGeometry = g;
    return true;
}

bool DeviceCheckVerify(TDeviceHandle aHandle) {
    struct stat st {};
    if (fstat(aHandle, &st) != 0) {
        Fail(errno);
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    if (!S_ISBLK(st.st_mode)) {
        Fail(ENOTBLK);
        return false;
    }
    uint64_t size = 0;
    if (ioctl(aHandle, BLKGETSIZE64, &size) != 0) {
        Fail(errno);
        return false;
    }
    if (size == 0) {
        Fail(ENOMEDIUM);
        return false;
    }
    return true;
}

int DeviceLastError() {
    return gLastError;
}

bool DeviceFileExists(const std::string& aPath) {
    struct stat st {};
    return !aPath.empty() && ::stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDeviceTableName(const std::string& aName) {
    return aName.rfind("\\\\.\\", 0) == 0;
}

void DeviceTableSet(const std::string& aName, const std::string& aTarget) {
    DeviceTable()[aName] = aTarget;
}

void DeviceTableRemove(const std::string& aName) {
    DeviceTable().erase(aName);
}

void DeviceTableClear() {
    DeviceTable().clear();
}

std::vector<std::pair<std::string, std::string>> DeviceTableEntries() {
    return {DeviceTable().begin(), DeviceTable().end()};
}

void DeviceSetBadRanges(const std::string& aName, const std::vector<TDeviceBadRange>& aRanges) {
    if (aRanges.empty())
        BadRangesByName().erase(aName);
    else
        BadRangesByName()[aName] = aRanges;
}

void DeviceClearBadRanges() {
    BadRangesByName().clear();
}

std::string DeviceResolve(const std::string& aName) {
    if (!IsDeviceTableName(aName)) return aName;
    auto it = DeviceTable().find(aName);
    return it == DeviceTable().end() ? std::string() : it->second;
}

} // namespace qrt
