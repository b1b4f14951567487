#pragma once

#include <cstdint>

namespace qrt {

// Millisecond tick of a monotonic clock, truncated to 32 bits: it wraps about every 49.7 days, and
// callers take differences with wrap-around.
uint32_t TimeGetTime();

} // namespace qrt
