#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qrt {

// Reads little-endian numbers out of on-disk bytes. Every read is checked against the size of the
// buffer: a field outside it is a consistency failure, never a read past the end.
class TxLEReader {
public:
    explicit TxLEReader(std::span<const uint8_t> aBytes) : fBytes(aBytes) {}

    size_t Size() const { return fBytes.size(); }
    // True when the aWidth bytes at aOffset lie inside the buffer.
    bool Holds(size_t aOffset, size_t aWidth) const {
        return aOffset <= fBytes.size() && aWidth <= fBytes.size() - aOffset;
    }

    uint8_t U8(size_t aOffset) const;
    uint16_t U16(size_t aOffset) const;
    uint32_t U32(size_t aOffset) const;

private:
    const uint8_t* At(size_t aOffset, size_t aWidth) const;

    std::span<const uint8_t> fBytes;
};

} // namespace qrt
