#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qrt {

// The longest byte pattern of a signature datum.
inline constexpr size_t kMaxPatternBytes = 1024;
// The byte stored at a wildcard position of a pattern.
inline constexpr uint8_t kWildcardByte = 0xB7;

// Bit k of byte k / 8 (least significant bit first) marks position k of a pattern as a wildcard.
using TWildcardMask = std::array<uint8_t, 129>;

inline bool IsWildcard(const TWildcardMask& aMask, size_t aIndex) {
    return aIndex < aMask.size() * 8 && (aMask[aIndex >> 3] & (1u << (aIndex & 7))) != 0;
}
inline void SetWildcard(TWildcardMask& aMask, size_t aIndex) {
    aMask[aIndex >> 3] = static_cast<uint8_t>(aMask[aIndex >> 3] | (1u << (aIndex & 7)));
}
bool HasWildcards(const TWildcardMask& aMask);

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1.
int HexDigitValue(char aChar);

// Reads a whole text of 1 to 8 hexadecimal digits as a 32-bit number (8 digits may set the sign
// bit); false when the text is anything else.
bool TryHexToInt32(const std::string& aText, int32_t& aValue);
// Reads a whole text as a signed decimal 32-bit number (an optional sign, then digits); false when
// the text is anything else or out of range.
bool TryDecToInt32(const std::string& aText, int32_t& aValue);

// Parses the pattern of a signature datum, left to right:
//   two hex digits      one byte
//   ??                  a wildcard byte (kWildcardByte, marked in aMask)
//   "text"              the enclosed bytes
//   `text`              each enclosed byte followed by a zero byte, except the last one
//   blank               only further blanks may follow, then the end or ";" and a comment
// Returns false on a syntax error, an empty pattern or more than kMaxPatternBytes bytes; aBytes then
// holds what was parsed so far. A hex digit followed by "?" fails the assertion "WTF?".
bool ParseBytePattern(const std::string& aText, std::string& aBytes, TWildcardMask& aMask);

// Text helpers shared by the signature units.
// aText without the bytes up to and including blanks (0x00-0x20) at both ends.
std::string TrimText(const std::string& aText);
// aText with the ASCII letters A-Z turned to a-z.
std::string LowerCaseAscii(const std::string& aText);

} // namespace qrt
