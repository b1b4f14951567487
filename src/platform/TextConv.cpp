#include "platform/TextConv.h"

#include <ctime>

namespace qrt {

namespace {

// Code page 850, bytes 0x80..0xFF.
constexpr char16_t kOem850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

bool IsLeapYear(int aYear) {
    return (aYear % 4 == 0 && aYear % 100 != 0) || aYear % 400 == 0;
}

int DaysInMonth(int aYear, int aMonth) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return aMonth == 2 && IsLeapYear(aYear) ? 29 : kDays[aMonth - 1];
}

} // namespace

std::string CodePointToUtf8(uint32_t aCodePoint) {
    std::string out;
    if (aCodePoint < 0x80) {
        out += static_cast<char>(aCodePoint);
    } else if (aCodePoint < 0x800) {
        out += static_cast<char>(0xC0 | (aCodePoint >> 6));
        out += static_cast<char>(0x80 | (aCodePoint & 0x3F));
    } else if (aCodePoint >= 0xD800 && aCodePoint <= 0xDFFF) {
        out += '_';
    } else if (aCodePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (aCodePoint >> 12));
        out += static_cast<char>(0x80 | ((aCodePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (aCodePoint & 0x3F));
    } else if (aCodePoint <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (aCodePoint >> 18));
        out += static_cast<char>(0x80 | ((aCodePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((aCodePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (aCodePoint & 0x3F));
    } else {
        out += '_';
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* aUnits, size_t aCount) {
    std::string out;
    out.reserve(aCount);
    for (size_t i = 0; i < aCount; ++i) {
        uint32_t unit = aUnits[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < aCount && aUnits[i + 1] >= 0xDC00 && aUnits[i + 1] <= 0xDFFF) {
            uint32_t low = aUnits[++i];
            out += CodePointToUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
            // An unpaired surrogate (or a pair cut by the end) has no character of its own.
            out += CodePointToUtf8(unit);
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& aText) {
    return Utf16ToUtf8(aText.data(), aText.size());
}

std::string OemCharToUtf8(uint8_t aByte) {
    if (aByte < 0x80) return std::string(1, static_cast<char>(aByte));
    return CodePointToUtf8(kOem850[aByte - 0x80]);
}

uint8_t Utf8CharToOem(const std::string& aChar) {
    if (aChar.size() == 1 && static_cast<uint8_t>(aChar[0]) < 0x80) return static_cast<uint8_t>(aChar[0]);
    for (int i = 0; i < 128; ++i)
        if (CodePointToUtf8(kOem850[i]) == aChar) return static_cast<uint8_t>(0x80 + i);
    return 0;
}

TFileTime DosDateTimeToFileTime(uint16_t aDate, uint16_t aTime) {
    int year = 1980 + (aDate >> 9);
    int month = (aDate >> 5) & 0x0F;
    int day = aDate & 0x1F;
    int hour = aTime >> 11;
    int minute = (aTime >> 5) & 0x3F;
    int second = (aTime & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
    if (hour > 23 || minute > 59 || second > 59) return 0;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) return 0;
    return static_cast<TFileTime>((static_cast<int64_t>(seconds) + kEpochDelta) * kTicksPerSecond);
}

uint32_t FileTimeToDosDateTime(TFileTime aFileTime) {
    if (aFileTime == 0) return 0;
    std::time_t seconds =
        static_cast<std::time_t>(static_cast<int64_t>(aFileTime / kTicksPerSecond) - kEpochDelta);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return 0;
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

} // namespace qrt
