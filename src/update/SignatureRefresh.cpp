#include "update/SignatureRefresh.h"

#include "core/Application.h"
#include "core/Exceptions.h"
#include "core/Hooks.h"
#include "recognition/HeaderMatching.h"
#include "support/FileUtils.h"
#include "support/IniUtils.h"
#include "support/PathUtils.h"
#include "update/urlDownloads.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

#ifndef QRT_SIGNATURE_SERVER
#define QRT_SIGNATURE_SERVER "http://signatures.morvask.example"
#endif

namespace qrt {

namespace {

constexpr const char* kIdsResource = "/tarnwell/FileIds";
constexpr const char* kChecksResource = "/tarnwell/FileIdChecks";
constexpr const char* kVersionSection = "!!version+etc";
constexpr const char* kVersionHeader = "[!!version+etc]";

std::string& ServerSetting() {
    static std::string server;
    return server;
}

std::string& FolderSetting() {
    static std::string folder;
    return folder;
}

std::string Trim(const std::string& aText) {
    size_t first = 0, last = aText.size();
    while (first < last && static_cast<unsigned char>(aText[first]) <= ' ')
        first++;
    while (last > first && static_cast<unsigned char>(aText[last - 1]) <= ' ')
        last--;
    return aText.substr(first, last - first);
}

// Writes the new text beside the file and then puts it in the file's place, so that a write that
// fails half-way (a full disk) never leaves a broken database behind.
void ReplaceFile(const std::string& aFileName, const std::string& aText) {
    std::string fresh = aFileName + ".new";
    try {
        SaveStringToFile(fresh, aText);
    } catch (...) {
        std::remove(fresh.c_str());
        throw;
    }
    if (std::rename(fresh.c_str(), aFileName.c_str()) != 0) {
        int error = errno;
        std::remove(fresh.c_str());
        RaiseOSError(error);
    }
}

// Fetches one database file when it is missing, stale or without a version.
void RefreshFile(const std::string& aFileName, const std::string& aUrl) {
    if (FileExists(aFileName) && !IsOlderThan(aFileName, kSignatureMaxAgeDays)) {
        std::string version;
        ReadIniString(aFileName, kVersionSection, "version", version, "");
        if (!Trim(version).empty()) return;
    }
    std::string text;
    DownloadToString(aUrl, text, kSignatureFetchFlags);
    // Anything without the version section (an error page, a redirect notice, nothing) is dropped.
    if (!text.empty() && text.find(kVersionHeader) != std::string::npos) ReplaceFile(aFileName, text);
}

} // namespace

std::string SignatureServer() {
    return ServerSetting().empty() ? std::string(QRT_SIGNATURE_SERVER) : ServerSetting();
}

std::string SetSignatureServer(const std::string& aBaseUrl) {
    std::string previous = SignatureServer();
    std::string base = aBaseUrl;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    ServerSetting() = base;
    return previous;
}

std::string SignatureFolder() {
    return FolderSetting().empty() ? TApplication::ExeFolder() : IncludeTrailingBackslash(FolderSetting());
}

std::string SetSignatureFolder(const std::string& aFolder) {
    std::string previous = FolderSetting();
    FolderSetting() = aFolder;
    return previous;
}

bool IsOlderThan(const std::string& aFileName, double aDays) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_time_type changed = fs::last_write_time(aFileName, ec);
    if (ec) return true;
    std::chrono::duration<double, std::ratio<86400>> age = fs::file_time_type::clock::now() - changed;
    return age.count() > aDays;
}

void RefreshSignatureDatabase() {
    std::string idsFile = SignatureFolder() + "FileIds.ini";
    std::string checksFile = ChangeFileNamePart(idsFile, "FileIdChecks");
    std::string server = SignatureServer();
    try {
        RefreshFile(idsFile, server + kIdsResource);
        RefreshFile(checksFile, server + kChecksResource);
    } catch (const Exception& e) {
        HandleException(e);
    }
    try {
        FileRecognizers().LoadFromIni(idsFile);
    } catch (const Exception& e) {
        HandleException(e);
    }
}

} // namespace qrt
