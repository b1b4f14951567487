#include "wizard/WizardFormat.h"

#include "core/Assert.h"

QRT_UNIT("fmMain")

namespace qrt {

namespace {

// Groups the digits of a number in threes from the right, separated by commas.
std::string GroupThousands(uint64_t aValue) {
    std::string digits = std::to_string(aValue);
    std::string result;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count > 0 && count % 3 == 0) result.insert(result.begin(), ',');
        result.insert(result.begin(), *it);
        ++count;
    }
    return result;
}

} // namespace

std::string FormatByteSize(uint64_t aBytes) {
    static const char* const kUnits[] = {"", "KB", "MB", "GB", "TB", "PB", "EB", "ZB"};
    double x = static_cast<double>(aBytes);
    int k = 0;
    do {
        x = x / 1000;
        ++k;
    } while (static_cast<uint64_t>(x / 1000) != 0);
    QRT_ASSERT(k < 8, "WTF?");
    return GroupThousands(static_cast<uint64_t>(x)) + " " + kUnits[k];
}

} // namespace qrt
