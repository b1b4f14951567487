#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qrt {

// Text and time conversions that stand in for the system's own: the system code page is UTF-8, so
// UTF-16 text and the OEM bytes of short FAT names become UTF-8; DOS dates and times are local time.

// UTF-16 code units to UTF-8. A surrogate pair is one character; an unpaired surrogate becomes "_".
std::string Utf16ToUtf8(const char16_t* aUnits, size_t aCount);
std::string Utf16ToUtf8(const std::u16string& aText);
// One code point to UTF-8 (surrogate code points and values above 0x10FFFF give "_").
std::string CodePointToUtf8(uint32_t aCodePoint);

// A byte of the OEM code page short FAT names are written in (code page 850, as DOS, Windows in
// Western Europe and mtools write them) to UTF-8; bytes below 0x80 stay as they are.
std::string OemCharToUtf8(uint8_t aByte);
// The OEM byte of one UTF-8 character, or 0 when the code page has none for it.
uint8_t Utf8CharToOem(const std::string& aChar);

// FILETIME: 100-nanosecond intervals since 1601-01-01 00:00 UTC.
using TFileTime = uint64_t;

// A DOS date and time (the words of a FAT directory entry, in local time) as a FILETIME; 0 when
// the date or time is not a valid one.
TFileTime DosDateTimeToFileTime(uint16_t aDate, uint16_t aTime);
// A FILETIME in local time as a packed DOS date (high word) and time (low word); 0 for the FILETIME
// 0 and for times outside the DOS range (1980 to 2107).
uint32_t FileTimeToDosDateTime(TFileTime aFileTime);

} // namespace qrt
