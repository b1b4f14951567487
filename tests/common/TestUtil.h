#pragma once

#include "core/Exceptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qrt::test {

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return fPath; }
    // Path of a file or folder inside the temporary folder.
    std::string File(const std::string& aName) const { return fPath + "/" + aName; }

private:
    std::string fPath;
};

// Runs a shell command; returns its exit status and, when asked, what it printed (stdout and stderr).
int RunCommand(const std::string& aCommand, std::string* aOutput = nullptr);
// Runs a shell command and fails the test (fatally for the caller via ASSERT_NO_FATAL_FAILURE) on error.
void MustRun(const std::string& aCommand);
// Single-quotes a text for the shell.
std::string ShellQuote(const std::string& aText);

void WriteFileBytes(const std::string& aFileName, const std::string& aBytes);
std::string ReadFileBytes(const std::string& aFileName);
bool PathExists(const std::string& aPath);
// Every regular file below a folder, as paths relative to it with '/' separators, sorted.
std::vector<std::string> ListFilesRecursive(const std::string& aFolder);

// Deterministic pseudo-random bytes (a given seed always yields the same text).
std::string PatternBytes(size_t aCount, uint32_t aSeed);

// The message of an assertion without its " (unit, line N)" suffix.
std::string AssertionText(const std::exception& e);

} // namespace qrt::test

// Expects `statement` to fail an internal-consistency check whose message is exactly `text`.
#define EXPECT_ASSERTION(statement, text)                                                                    \
    do {                                                                                                     \
        try {                                                                                                \
            statement;                                                                                       \
            ADD_FAILURE() << "expected the assertion \"" << (text) << "\"";                                  \
        } catch (const ::qrt::EAssertionFailed& e_) {                                                        \
            EXPECT_EQ(::qrt::test::AssertionText(e_), std::string(text));                                    \
        }                                                                                                    \
    } while (0)
