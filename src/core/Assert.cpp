#include "core/Assert.h"

namespace qrt {

void AssertionFailure(const std::string& aMessage, const char* aUnit, int aLine) {
    throw EAssertionFailed(aMessage + " (" + aUnit + ", line " + std::to_string(aLine) + ")");
}

} // namespace qrt
