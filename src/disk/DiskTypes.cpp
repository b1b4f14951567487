#include "disk/DiskTypes.h"

#include "core/Assert.h"
#include "platform/DeviceIO.h"
#include "support/ListUtils.h"

QRT_UNIT("Disk\\DiskIO")

namespace qrt {

namespace {
const char* const kDevicePrefix = "\\\\.\\";
const char* const kPhysicalDrivePrefix = "\\\\.\\PhysicalDrive";
} // namespace

TxDiskAddress SectorAddress(int32_t aSector) {
    return TxDiskAddress{0, akSector, aSector};
}

TxDiskAddress ClusterAddress(int32_t aCluster) {
    return TxDiskAddress{0, akCluster, aCluster};
}

bool IsNullAddress(const TxDiskAddress& aAddress) {
    switch (aAddress.Kind) {
    case akSector:
    case akCluster:
        return aAddress.Number == -1;
    default:
        QRT_FAIL("UNIMPLEMENTED!!");
    }
}

bool SameAddress(const TxDiskAddress& a, const TxDiskAddress& b) {
    if (a.Kind != b.Kind) return false;
    if (a.Kind == akSector || a.Kind == akCluster) return a.Number == b.Number;
    return true;
}

void TxDiskAreas::SetLength(int32_t aLength) {
    QRT_ASSERT(aLength >= 0, "WTF?");
    if (!fItems) {
        fItems = std::make_shared<std::vector<TxDiskArea>>();
    } else if (fItems.use_count() > 1) {
        fItems = std::make_shared<std::vector<TxDiskArea>>(*fItems);
    }
    auto wanted = static_cast<uint32_t>(aLength);
    if (wanted > fItems->capacity()) fItems->reserve(Grow(static_cast<uint32_t>(fItems->capacity()), wanted));
    fItems->resize(wanted);
}

void InitDriveParams(TxDriveParams& aParams) {
    aParams = TxDriveParams{};
}

bool IsValidDriveParams(const TxDriveParams& aParams) {
    const std::string& path = aParams.DevicePath;
    if (path.empty()) return false;
    switch (path.size()) {
    case 2:
        if (path == "@:") return aParams.DriveNo == -1;
        break;
    case 6:
        if (path.rfind(kDevicePrefix, 0) == 0 && path[5] == ':') return aParams.DriveNo < 128;
        break;
    case 18:
    case 19:
    case 20:
        if (path.rfind(kPhysicalDrivePrefix, 0) == 0 && path[17] >= '0' && path[17] <= '9')
            return aParams.DriveNo >= 128;
        break;
    default:
        break;
    }
    return DeviceFileExists(path);
}

char DriveLetterOf(const TxDriveParams& aParams) {
    const std::string& path = aParams.DevicePath;
    char result = '\0';
    if (path == "@:") {
        result = '@';
    } else if (path.size() >= 6 && path.rfind(kDevicePrefix, 0) == 0 && path[5] == ':') {
        result = path[4];
    }
    if (result >= 'A' && result <= 'Z') QRT_ASSERT(aParams.DriveNo == -1, "Assertion failure");
    return result;
}

bool IsRemovableMedia(const TxDriveParams& aParams) {
    return (aParams.MediaKind & mkRemovable) == mkRemovable;
}

bool HasGeometry(const TxDriveParams& aParams) {
    return aParams.TotalSectors != 0;
}

} // namespace qrt
