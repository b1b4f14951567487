#include "core/Ticks.h"

#include <chrono>

namespace qrt {

uint32_t TimeGetTime() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

} // namespace qrt
