#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrt {

// The command line of qrt-recover: qrt-recover [options] SOURCE [OUTPUT].
struct TCliOptions {
    bool Help = false;
    bool Version = false;
    bool List = false;
    bool Quiet = false;
    int32_t Partition = 0; // partition-table slot 1..4; 0 = the first slot holding a FAT volume
    std::string Source;
    std::string Output; // empty = the default output folder
};

// Parses the arguments that follow the program name. False on a usage error, with aError saying what
// is wrong. --help and --version need no SOURCE.
bool ParseCliOptions(const std::vector<std::string>& aArgs, TCliOptions& aOptions, std::string& aError);
// The text of --help.
std::string UsageText();

} // namespace qrt
