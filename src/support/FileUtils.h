#pragma once

#include "core/Streams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qrt {

// Creates (or empties) a file and, when aSize >= 0, sets its end of file at aSize.
// EFCreateError "Sorry, could not create "<name>"!" / EWriteError "Sorry, could not write to "<name>"!".
void CreateFileOfSize(const std::string& aFileName, int64_t aSize);
// Sets the end of an existing file at aSize (>= 0).
// EFOpenError "Sorry, could not open "<name>" for writing!" / EWriteError "Sorry, could not write to
// "<name>"!".
void TruncateFile(const std::string& aFileName, int64_t aSize);

// An existing file opened for reading and writing (EFOpenError when it cannot be opened).
std::unique_ptr<TFileStream> OpenFileStream(const std::string& aFileName);
// A newly created (or emptied) file (EFCreateError when it cannot be created).
std::unique_ptr<TFileStream> CreateFileStream(const std::string& aFileName);
// OpenFileStream, or CreateFileStream when the file cannot be opened; positioned at the end.
std::unique_ptr<TFileStream> OpenFileForAppend(const std::string& aFileName);

// Creates the file anew and writes aText into it as it is.
void SaveStringToFile(const std::string& aFileName, const std::string& aText);

} // namespace qrt
