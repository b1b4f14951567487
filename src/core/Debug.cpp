#include "core/Debug.h"

#include <cstdio>

#ifndef QRT_DEBUG_OUTPUT_DEFAULT
#define QRT_DEBUG_OUTPUT_DEFAULT 0
#endif

namespace qrt {

namespace {
bool gDebugOutput = QRT_DEBUG_OUTPUT_DEFAULT != 0;
}

void OutputDebugString(const std::string& aText) {
    if (gDebugOutput) std::fprintf(stderr, "[debug] %s\n", aText.c_str());
}

void SetDebugOutputEnabled(bool aEnabled) {
    gDebugOutput = aEnabled;
}

bool DebugOutputEnabled() {
    return gDebugOutput;
}

} // namespace qrt
