// qrt-recover: the command-line front end of the recovery engine.

#include "cli/RecoverCommand.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return qrt::RunRecoverCommand(args);
}
