#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace qrt {

bool IsTerminal(int aDescriptor) {
    return ::isatty(aDescriptor) == 1;
}

int TerminalColumns(int aDescriptor) {
    struct winsize size {};
    if (::ioctl(aDescriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace qrt
