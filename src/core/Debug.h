#pragma once

#include <string>

namespace qrt {

// Diagnostics not meant for the user. They go to stderr only when enabled (the build option
// QRT_DEBUG_OUTPUT, or a call from a front end); otherwise they are dropped.
void OutputDebugString(const std::string& aText);
void SetDebugOutputEnabled(bool aEnabled);
bool DebugOutputEnabled();

} // namespace qrt
