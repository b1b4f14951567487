#pragma once

#include "platform/TextConv.h"

#include <string>

namespace qrt {

// File services of the output side that the stream and path routines do not cover.

// Sets a file's modification time (its access time stays). False when the file cannot be changed
// or the time is 0.
bool SetFileModificationTime(const std::string& aFileName, TFileTime aTime);
// The modification time of a file as a FILETIME; 0 when it cannot be read.
TFileTime GetFileModificationTime(const std::string& aFileName);
// Renames a file without ever replacing another: false when aNewName exists or the rename fails.
bool RenameFileNoReplace(const std::string& aOldName, const std::string& aNewName);

} // namespace qrt
