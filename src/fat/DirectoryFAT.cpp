#include "fat/DirectoryFAT.h"

#include "core/Assert.h"
#include "disk/DiskStream.h"
#include "disk/FileSystem.h"
#include "platform/TextConv.h"

#include <cstring>

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

namespace {

TxDirectoryAccessor* CreateFATDirectory(TxDiskAccessor* aDisk) {
    return new TDirectoryFATx(aDisk);
}

// Byte 0 of a deleted short entry as its long name gives it: the first character, upper case (short
// names are), when a short name can hold it; "@" otherwise.
uint8_t RestoredFirstByte(const std::string& aLongName) {
    if (aLongName.empty()) return '@';
    auto lead = static_cast<uint8_t>(aLongName[0]);
    if (lead < 0x80) {
        if (lead >= 'a' && lead <= 'z') lead = static_cast<uint8_t>(lead - 'a' + 'A');
        return IsShortNameChar(lead) ? lead : '@';
    }
    size_t length = 1;
    while (length < aLongName.size() && (static_cast<uint8_t>(aLongName[length]) & 0xC0) == 0x80)
        ++length;
    uint8_t oem = Utf8CharToOem(aLongName.substr(0, length));
    return oem != 0 && IsShortNameChar(oem) ? oem : '@';
}

// ".", or "..", followed by blanks.
bool IsDotEntryName(const TFATDirEntry& e) {
    size_t dots = e[1] == '.' ? 2 : 1;
    if (e[0] != '.') return false;
    for (size_t i = dots; i < 11; ++i)
        if (e[i] != ' ') return false;
    return true;
}

} // namespace

const TxAccessorClass TDirectoryFATxClass{"TDirectoryFATx", CreateFATDirectory};

std::unique_ptr<TDirectoryFATx> TDirectoryFATx::CreateOnStream(std::unique_ptr<TxDiskStream> aStream) {
    QRT_ASSERT(aStream != nullptr, "WTF?");
    auto dir = std::make_unique<TDirectoryFATx>(aStream->fDisk);
    dir->OpenStream(std::move(aStream));
    return dir;
}

bool TDirectoryFATx::ReservedOperation() {
    QRT_FAIL("UNFINISHED!!");
}

void TDirectoryFATx::GetRawEntry(int32_t aIndex, TFATDirEntry& aEntry) {
    if (!fData) {
        EnsureLoaded();
        fLastRawIndex = static_cast<int32_t>(fStream->GetSize() / 32) - 1;
    }
    QRT_ASSERT(aIndex >= 0 && aIndex <= fLastRawIndex, "WTF?");
    std::memcpy(aEntry.data(), fData + size_t(aIndex) * 32, 32);
}

void TDirectoryFATx::LoadEntries(int32_t aIndex) {
    if (aIndex <= 0) {
        MaxEntryIndex = 0;
        fEntryCount = 0;
    } else {
        QRT_ASSERT(aIndex == MaxEntryIndex + 1, "WTF?");
        MaxEntryIndex = aIndex;
    }
    QRT_ASSERT(fStream != nullptr, "WTF?");
    fLastRawIndex = static_cast<int32_t>(fStream->GetSize() / 32) - 1;
    if (fLastRawIndex < 0) {
        MaxEntryIndex = -1;
        return;
    }
    TFATDirEntry entry;
    while (true) {
        GetRawEntry(MaxEntryIndex, entry);
        if (entry[0] == 0) {
            --MaxEntryIndex;
            return;
        }
        if (IsLongNameEntry(entry) && (entry[0] & 0x40)) {
            // Over the run of long-name entries to the entry after it, which the loop then takes as
            // any other (an end marker right after a run ends the directory there).
            while (true) {
                if (MaxEntryIndex >= fLastRawIndex) return;
                GetRawEntry(MaxEntryIndex, entry);
                ++MaxEntryIndex;
                if ((entry[0] & 0x3F) == 1) break;
                GetRawEntry(MaxEntryIndex, entry);
                if (!IsLongNameEntry(entry) || entry[12] != 0) break;
            }
            continue;
        }
        ++fEntryCount;
        if (MaxEntryIndex >= fLastRawIndex) return;
        ++MaxEntryIndex;
    }
}

int32_t TDirectoryFATx::ReadEntry(int32_t aRawIndex, TxSearchRec& aRec) {
    aRec.Name.clear();
    if (MaxEntryIndex < 0) {
        LoadEntries(0);
        if (MaxEntryIndex < 0) return -1;
    }
    if (aRawIndex < 0 || aRawIndex > MaxEntryIndex)
        QRT_FAIL("WTF? aRawIndex=" + std::to_string(aRawIndex) + ", MaxEntryIndex=" +
                 std::to_string(MaxEntryIndex) + " @ " + std::to_string(GetFirstCluster()));
    int32_t next = aRawIndex + 1 > MaxEntryIndex ? -1 : aRawIndex + 1;
    QRT_ASSERT(aRec.FindHandle != nullptr, "WTF?");
    TxSearchState& state = *aRec.FindHandle;
    state.Deleted = false;

    TFATDirEntry entry;
    GetRawEntry(aRawIndex, entry);
    std::string longName;
    if (IsLongNameEntry(entry)) {
        std::u16string units;
        int32_t expected = -1;
        while (true) {
            // A run cut by the end of the directory yields nothing.
            if (next <= 0 || next > MaxEntryIndex) return -1;
            units = LongNamePart(entry) + units;
            expected = entry[13];
            bool lastPart = (entry[0] & 0x3F) == 1;
            GetRawEntry(next++, entry);
            if (lastPart) break;
            if (!IsLongNameEntry(entry)) {
                // An incomplete run belongs to a live entry only by accident.
                if (entry[0] != 0xE5) expected = -1;
                break;
            }
        }
        if (next > MaxEntryIndex) next = -1;
        longName = Utf16ToUtf8(units);
        if (entry[0] == 0xE5) {
            state.Deleted = true;
            TFATDirEntry restored = entry;
            restored[0] = RestoredFirstByte(longName);
            if (ShortNameChecksum(restored) == expected)
                entry = restored;
            else
                longName.clear();
        } else if (ShortNameChecksum(entry) != expected) {
            longName.clear();
        }
    }

    // The entry as its name shows: a deleted entry whose long name could not restore its first byte
    // starts with "@"; 0x05 stands for a name that really starts with 0xE5.
    TFATDirEntry shown = entry;
    switch (entry[0]) {
    case 0x00:
        QRT_ASSERT(aRec.Name.empty(), "WTF?");
        return -1;
    case 0x05:
        shown[0] = 0xE5;
        break;
    case 0xE5:
        state.Deleted = true;
        shown[0] = '@';
        break;
    default:
        break;
    }
    // A slot whose name is no short name (free space, damaged data) has no usable entry; "." and ".."
    // are the names of the dot entries.
    if (!IsDotEntryName(shown) && (shown[0] == ' ' || !IsValidShortEntryName(shown))) {
        state.Deleted = false;
        return next;
    }
    std::string shortName = ShortNameToString(shown);
    if (longName.empty()) {
        QRT_ASSERT(!shortName.empty(), "WTF?");
        FillRecord(entry, shortName, std::string(), aRec);
    } else {
        // The alternate name is the 8.3 name as stored, without the case flags.
        shown[12] = 0;
        FillRecord(entry, longName, ShortNameToString(shown), aRec);
    }
    return next > MaxEntryIndex ? -1 : next;
}

void TDirectoryFATx::FillRecord(const TFATDirEntry& aEntry, const std::string& aName,
                                const std::string& aAlternate, TxSearchRec& aRec) {
    TxFindData& data = aRec.FindData;
    data.cFileName = aName;
    data.cAlternateFileName = aAlternate;
    data.dwFileAttributes = EntryAttr(aEntry);
    data.ftCreationTime = DosDateTimeToFileTime(EntryWord(aEntry, 16), EntryWord(aEntry, 14));
    data.ftLastAccessTime = DosDateTimeToFileTime(EntryWord(aEntry, 18), 0);
    data.ftLastWriteTime = DosDateTimeToFileTime(EntryWord(aEntry, 24), EntryWord(aEntry, 22));
    data.nFileSizeHigh = 0;
    data.nFileSizeLow = EntryFileSize(aEntry);
    data.dwReserved0 = 0;
    data.dwReserved1 = 0;
    aRec.FindHandle->FirstCluster = EntryFirstCluster(aEntry);
    aRec.Time = static_cast<int32_t>(FileTimeToDosDateTime(data.ftLastWriteTime));
    aRec.Attr = EntryAttr(aEntry);
    aRec.Size = EntryFileSize(aEntry);
    aRec.ExcludeAttr = 0;
    aRec.Name = aName;
}

bool TDirectoryFATx::IsValidEntryName(const std::string& aName) {
    return IsValidLongName(aName);
}

bool TDirectoryFATx::IsValidAlternateName(const std::string& aName) {
    return IsValidShortName(aName);
}

} // namespace qrt
