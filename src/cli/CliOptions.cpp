#include "cli/CliOptions.h"

namespace qrt {

namespace {

bool ParseSlot(const std::string& aText, int32_t& aSlot) {
    if (aText.size() != 1 || aText[0] < '1' || aText[0] > '4') return false;
    aSlot = aText[0] - '0';
    return true;
}

} // namespace

bool ParseCliOptions(const std::vector<std::string>& aArgs, TCliOptions& aOptions, std::string& aError) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (size_t i = 0; i < aArgs.size(); ++i) {
        const std::string& arg = aArgs[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            aOptions.Help = true;
        } else if (arg == "-V" || arg == "--version") {
            aOptions.Version = true;
        } else if (arg == "-l" || arg == "--list") {
            aOptions.List = true;
        } else if (arg == "-q" || arg == "--quiet") {
            aOptions.Quiet = true;
        } else if (arg == "-p" || arg == "--partition" || arg.rfind("--partition=", 0) == 0) {
            std::string value;
            if (arg.size() > 11 && arg[11] == '=') {
                value = arg.substr(12);
            } else if (i + 1 < aArgs.size()) {
                value = aArgs[++i];
            } else {
                aError = "option " + arg + " needs a partition slot (1 to 4)";
                return false;
            }
            if (!ParseSlot(value, aOptions.Partition)) {
                aError = "invalid partition slot '" + value + "' (1 to 4)";
                return false;
            }
        } else {
            aError = "unknown option " + arg;
            return false;
        }
    }
    if (aOptions.Help || aOptions.Version) return true;
    if (operands.empty()) {
        aError = "missing SOURCE";
        return false;
    }
    if (operands.size() > 2) {
        aError = "too many arguments (" + operands[2] + ")";
        return false;
    }
    if (aOptions.List && operands.size() > 1) {
        aError = "--list takes no OUTPUT";
        return false;
    }
    aOptions.Source = operands[0];
    if (operands.size() > 1) aOptions.Output = operands[1];
    if (aOptions.Output.empty() && operands.size() > 1) {
        aError = "OUTPUT is empty";
        return false;
    }
    return true;
}

std::string UsageText() {
    return "Usage: qrt-recover [options] SOURCE [OUTPUT]\n"
           "\n"
           "Recovers the files of a FAT12, FAT16 or FAT32 volume (a memory card, a flash drive or a\n"
           "disk image) into OUTPUT: live files at their paths, deleted files under ~DeletedFiles/,\n"
           "files found without their directory under ~LostFiles/. SOURCE is only ever read.\n"
           "\n"
           "  SOURCE               a disk image file or a device node (/dev/sdb, /dev/mmcblk0p1)\n"
           "  OUTPUT               the folder the files go to; it must not lie on SOURCE\n"
           "                       (default: ~/QRTWizard/Recovered/<today's date>/)\n"
           "\n"
           "Options:\n"
           "  -p, --partition N    recover the volume in slot N (1 to 4) of SOURCE's partition table\n"
           "                       (default: the first slot that holds a FAT volume)\n"
           "  -l, --list           list the volumes found on SOURCE and exit\n"
           "  -q, --quiet          print neither progress nor summary, only problems\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "\n"
           "Both logs, SavedFilesLog.txt and SavedFilesLog-Full.txt, are written into OUTPUT.\n"
           "Ctrl-C stops the run; the files saved so far stay and the logs list them.\n"
           "\n"
           "Exit status: 0 the run finished, 1 no FAT volume could be used, 2 usage or I/O error,\n"
           "130 interrupted.\n";
}

} // namespace qrt
