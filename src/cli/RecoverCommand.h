#pragma once

#include <string>
#include <vector>

namespace qrt {

// Exit codes of qrt-recover.
enum : int {
    kExitFinished = 0,     // the run finished (whatever it found)
    kExitNoVolume = 1,     // no FAT volume could be used ("Sorry, too much damage found: ...")
    kExitError = 2,        // usage or I/O error, or an OUTPUT on the source
    kExitInterrupted = 130 // Ctrl-C
};

// The whole command: parses the arguments (without the program name), runs and returns the exit code.
int RunRecoverCommand(const std::vector<std::string>& aArgs);

} // namespace qrt
