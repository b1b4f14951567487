#include "core/Application.h"

#include <climits>
#include <unistd.h>

namespace qrt {

TApplication& Application() {
    static TApplication instance;
    return instance;
}

void TApplication::ProcessMessages() {
    if (fPump) fPump();
}

std::function<void()> TApplication::SetMessagePump(std::function<void()> aPump) {
    std::swap(fPump, aPump);
    return aPump;
}

std::string TApplication::ExeName() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string TApplication::ExeFolder() {
    std::string exe = ExeName();
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

} // namespace qrt
