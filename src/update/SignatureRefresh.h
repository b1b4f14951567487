#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// Where the signature database comes from: the signature server holds the two files at
// /tarnwell/FileIds and /tarnwell/FileIdChecks below its base address. The base is the build's
// QRT_SIGNATURE_SERVER until the program points the refresh elsewhere.
std::string SignatureServer();
// Sets the base address (a trailing '/' is dropped); an empty text restores the built-in one.
// Returns the previous base.
std::string SetSignatureServer(const std::string& aBaseUrl);

// The folder of the database files: the program's folder until set otherwise.
std::string SignatureFolder();
// Sets the folder; an empty text restores the program's folder. Returns the previous setting
// (empty when it was the program's folder).
std::string SetSignatureFolder(const std::string& aFolder);

// Open flags of the two transfers: reload, no cache, any redirect between http and https.
constexpr uint32_t kSignatureFetchFlags = 0x8000C900;
// A database file older than this is fetched again.
constexpr double kSignatureMaxAgeDays = 2.0;

// Makes sure FileIds.ini and FileIdChecks.ini in the database folder are present and recent,
// fetching a file when it is missing, older than two days or without a version, and keeping a
// fetched text only when it holds the section "[!!version+etc]". Then loads the database into
// FileRecognizers(). Failures of the system's own exception class are handed to the crash
// reporter (a failure while refreshing ends the refresh of both files); the start-up goes on.
void RefreshSignatureDatabase();

// True when the file's last change lies more than aDays days back (also for a file that does not
// exist).
bool IsOlderThan(const std::string& aFileName, double aDays);

} // namespace qrt
