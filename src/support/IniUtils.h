#pragma once

#include <string>

namespace qrt {

// Reads a value from an INI file (see TIniReader for the file's rules). aValue gets aDefault when
// the file, the section or the key is missing; values longer than 65535 bytes are cut there.
// aFileName, aSection and aKey must not be empty.
void ReadIniString(const std::string& aFileName, const std::string& aSection, const std::string& aKey,
                   std::string& aValue, const std::string& aDefault);

} // namespace qrt
