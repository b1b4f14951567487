#include "core/Exceptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace qrt {

std::string SysErrorMessage(int aErrorCode) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(aErrorCode, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

void RaiseOSError(int aErrorCode) {
    throw EOSError("System Error.  Code: " + std::to_string(aErrorCode) + ".\r\n" +
                       SysErrorMessage(aErrorCode),
                   static_cast<uint32_t>(aErrorCode));
}

void RaiseLastOSError() {
    RaiseOSError(errno);
}

std::string ExceptionClassName(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

} // namespace qrt
