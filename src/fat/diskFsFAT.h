#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qrt {

// The 32-byte FAT directory entry, as read from a directory (short entry or long-name entry).
using TFATDirEntry = std::array<uint8_t, 32>;

// Attribute of long-name entries.
constexpr uint8_t kLongNameAttr = 0x0F;

// Little-endian fields of a directory entry.
inline uint8_t EntryAttr(const TFATDirEntry& e) {
    return e[11];
}
inline uint16_t EntryWord(const TFATDirEntry& e, size_t aOffset) {
    return static_cast<uint16_t>(e.at(aOffset) | (e.at(aOffset + 1) << 8));
}
inline uint32_t EntryFileSize(const TFATDirEntry& e) {
    return uint32_t{EntryWord(e, 28)} | (uint32_t{EntryWord(e, 30)} << 16);
}
// FstClusHI × 65536 + FstClusLO, on every FAT type.
inline uint32_t EntryFirstCluster(const TFATDirEntry& e) {
    return (uint32_t{EntryWord(e, 20)} << 16) | EntryWord(e, 26);
}

// Byte 0 not 0x00, FstClusLO 0 and the four low attribute bits set.
bool IsLongNameEntry(const TFATDirEntry& e);
// The UTF-16 characters of a long-name entry (offsets 1-10, 14-25, 28-31) up to the first 0x0000.
std::u16string LongNamePart(const TFATDirEntry& e);

// Characters a short name may hold: upper-case letters, digits, ! # $ % & ' ( ) - @ ^ _ ` { } ~ and
// the OEM characters 0x80..0xFF. Spaces, lower-case letters, control characters and the other
// punctuation are not among them.
bool IsShortNameChar(uint8_t c);

// The name bytes from byte 0 (byte 1 when byte 0 is 0xE5) to 7 are a run of short-name characters
// followed only by spaces, and bytes 8 to 10 likewise. An all-blank name passes.
bool IsValidShortEntryName(const TFATDirEntry& e);
// "NAME.EXT" from the 11 name bytes: each part up to its first space, without the "." when the
// extension is blank. The case flags of byte 12 apply (0x08 base name, 0x10 extension in lower
// case), and OEM bytes become UTF-8.
std::string ShortNameToString(const TFATDirEntry& e);
// The long-name checksum over the 11 name bytes.
uint8_t ShortNameChecksum(const TFATDirEntry& e);
// False for a name with a character below 0x20, '"', or one of * / : < > ? \ |; the name must not be
// empty (assertion).
bool IsValidLongName(const std::string& aName);
// A name as ShortNameToString gives it, upper case: short-name characters with at most one "." at
// character index 8 or lower that is not the last character; "." itself is not valid. The name
// must not be empty (assertion).
bool IsValidShortName(const std::string& aName);

} // namespace qrt
