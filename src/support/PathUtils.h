#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// Host paths are native: on POSIX only '/' separates folders (a ':' is an ordinary character);
// on Windows '\' separates folders and ':' ends a drive.
#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// True for the characters that end a folder or drive part of a path.
bool IsPathDelimiter(char aChar);

// aPath unchanged when empty or ending in the delimiter, else aPath + the delimiter.
std::string IncludeTrailingBackslash(const std::string& aPath);
// aPath without one trailing delimiter; aPath must not be empty.
std::string ExcludeTrailingBackslash(const std::string& aPath);
// Everything up to and including the last delimiter; empty when there is none.
std::string ExtractFilePath(const std::string& aFileName);
// From the extension's '.' to the end, or empty. A name whose only '.' is its first character is all
// extension (".ini").
std::string ExtractFileExt(const std::string& aFileName);
// aFileName up to its extension.
std::string RemoveFileExt(const std::string& aFileName);
// RemoveFileExt(aFileName) + aExt; aExt is empty or starts with '.'.
std::string ChangeFileExt(const std::string& aFileName, const std::string& aExt);
// Keeps the folder and the extension and replaces the name between them.
std::string ChangeFileNamePart(const std::string& aFileName, const std::string& aNewName);
// A copy in which each of  " * / : < > ? \ |  is replaced by aChar.
std::string ReplaceFileNameChars(const std::string& aText, char aChar);

bool FileExists(const std::string& aFileName);
bool DirectoryExists(const std::string& aPath);
// The size of a file in bytes (0 for a folder); -1 when its attributes cannot be read.
int64_t GetFileSize64(const std::string& aFileName);

// Creates aPath and every missing parent, outermost first, stopping at the first failure. A path
// without a delimiter creates nothing. Returns whether the folder now exists as asked; never raises.
bool ForceDirectories(const std::string& aPath);

} // namespace qrt
