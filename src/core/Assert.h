#pragma once

#include "core/Exceptions.h"

#include <string>

namespace qrt {

// Raises EAssertionFailed with aMessage + " (" + aUnit + ", line " + aLine + ")".
[[noreturn]] void AssertionFailure(const std::string& aMessage, const char* aUnit, int aLine);

} // namespace qrt

// Every source file that checks its consistency names its unit once, for example
//   QRT_UNIT("Disk\\DiskIO")
// Assertions are behaviour, not debugging aids: they are never compiled out.
#define QRT_UNIT(name)                                                                                       \
    namespace {                                                                                              \
    [[maybe_unused]] constexpr const char* qrtUnitName = name;                                               \
    }

#define QRT_ASSERT(cond, msg)                                                                                \
    do {                                                                                                     \
        if (!(cond)) ::qrt::AssertionFailure((msg), qrtUnitName, __LINE__);                                  \
    } while (0)

#define QRT_FAIL(msg) ::qrt::AssertionFailure((msg), qrtUnitName, __LINE__)
