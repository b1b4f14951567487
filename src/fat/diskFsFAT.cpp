#include "fat/diskFsFAT.h"

#include "core/Assert.h"
#include "platform/TextConv.h"

#include <cstring>

QRT_UNIT("Disk\\diskFsFAT")

namespace qrt {

namespace {

// Checks one blank-padded part of the name: a run of short-name characters, then only spaces.
bool IsValidNamePart(const TFATDirEntry& e, size_t aFirst, size_t aEnd) {
    size_t i = aFirst;
    while (i < aEnd && IsShortNameChar(e[i]))
        ++i;
    while (i < aEnd && e[i] == ' ')
        ++i;
    return i == aEnd;
}

std::string NamePart(const TFATDirEntry& e, size_t aFirst, size_t aEnd, bool aLowerCase) {
    std::string part;
    for (size_t i = aFirst; i < aEnd && e[i] != ' '; ++i) {
        uint8_t c = e[i];
        if (aLowerCase && c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        part += OemCharToUtf8(c);
    }
    return part;
}

} // namespace

bool IsLongNameEntry(const TFATDirEntry& e) {
    return e[0] != 0 && EntryWord(e, 26) == 0 && (EntryAttr(e) & kLongNameAttr) == kLongNameAttr;
}

std::u16string LongNamePart(const TFATDirEntry& e) {
    static constexpr size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::u16string part;
    for (size_t at : kOffsets) {
        char16_t unit = static_cast<char16_t>(EntryWord(e, at));
        if (unit == 0) break;
        part += unit;
    }
    return part;
}

bool IsShortNameChar(uint8_t c) {
    if (c >= 0x80) return true;
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

bool IsValidShortEntryName(const TFATDirEntry& e) {
    return IsValidNamePart(e, e[0] == 0xE5 ? 1 : 0, 8) && IsValidNamePart(e, 8, 11);
}

std::string ShortNameToString(const TFATDirEntry& e) {
    std::string name = NamePart(e, 0, 8, (e[12] & 0x08) != 0);
    if (e[8] != ' ') name += "." + NamePart(e, 8, 11, (e[12] & 0x10) != 0);
    return name;
}

uint8_t ShortNameChecksum(const TFATDirEntry& e) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i)
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + e[i]);
    return sum;
}

bool IsValidLongName(const std::string& aName) {
    QRT_ASSERT(!aName.empty(), "WTF?");
    for (char ch : aName) {
        auto c = static_cast<uint8_t>(ch);
        if (c < 0x20 || std::strchr("\"*/:<>?\\|", c) != nullptr) return false;
    }
    return true;
}

bool IsValidShortName(const std::string& aName) {
    QRT_ASSERT(!aName.empty(), "WTF?");
    if (aName == ".") return false;
    bool dotSeen = false;
    int32_t index = 0; // character index (a UTF-8 sequence counts once)
    for (size_t i = 0; i < aName.size(); ++i) {
        auto c = static_cast<uint8_t>(aName[i]);
        if ((c & 0xC0) == 0x80) continue;
        if (c == '.') {
            if (dotSeen || index > 8 || i + 1 == aName.size()) return false;
            dotSeen = true;
        } else if (!IsShortNameChar(c)) {
            return false;
        }
        ++index;
    }
    return true;
}

} // namespace qrt
