#include "fat/LittleEndian.h"

#include "core/Assert.h"

QRT_UNIT("Disk\\diskIoFAT")

namespace qrt {

const uint8_t* TxLEReader::At(size_t aOffset, size_t aWidth) const {
    QRT_ASSERT(Holds(aOffset, aWidth), "WTF?");
    return fBytes.data() + aOffset;
}

uint8_t TxLEReader::U8(size_t aOffset) const {
    return *At(aOffset, 1);
}

uint16_t TxLEReader::U16(size_t aOffset) const {
    const uint8_t* p = At(aOffset, 2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t TxLEReader::U32(size_t aOffset) const {
    const uint8_t* p = At(aOffset, 4);
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

} // namespace qrt
