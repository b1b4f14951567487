#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// A byte count for the drive list, in decimal units and truncated toward zero: at least one
// division by 1000 happens, so 999 bytes read "0 KB", one million bytes "1 MB", 7.9e9 bytes "7 GB".
std::string FormatByteSize(uint64_t aBytes);

} // namespace qrt
