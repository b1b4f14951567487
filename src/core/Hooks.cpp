#include "core/Hooks.h"

#include "core/Exceptions.h"

#include <cstdio>

namespace qrt {

namespace {

std::string gErrorLogFile;

void DefaultExceptionHandler(const std::exception& e) {
    std::string line = DescribeException(e);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!gErrorLogFile.empty()) {
        if (FILE* f = std::fopen(gErrorLogFile.c_str(), "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
}

TExceptionHandler& CurrentExceptionHandler() {
    static TExceptionHandler handler;
    return handler;
}

int DefaultMessageBox(const std::string& aText, const std::string& aCaption, uint32_t aFlags) {
    std::fprintf(stderr, "[%s] %s\n", aCaption.c_str(), aText.c_str());
    return DefaultMessageBoxResult(aFlags);
}

TMessageBoxHandler& CurrentMessageBoxHandler() {
    static TMessageBoxHandler handler;
    return handler;
}

} // namespace

std::string DescribeException(const std::exception& e) {
    return ExceptionClassName(e) + ": " + e.what();
}

void HandleException(const std::exception& e) {
    auto& handler = CurrentExceptionHandler();
    if (handler)
        handler(e);
    else
        DefaultExceptionHandler(e);
}

TExceptionHandler SetExceptionHandler(TExceptionHandler aHandler) {
    std::swap(CurrentExceptionHandler(), aHandler);
    return aHandler;
}

void SetErrorLogFile(const std::string& aFileName) {
    gErrorLogFile = aFileName;
}

int DefaultMessageBoxResult(uint32_t aFlags) {
    bool yesNo = (aFlags & 0xF) == MB_YESNO;
    bool second = (aFlags & 0xF00) == MB_DEFBUTTON2;
    if (yesNo) return second ? IDNO : IDYES;
    return IDOK;
}

int MessageBox(const std::string& aText, const std::string& aCaption, uint32_t aFlags) {
    auto& handler = CurrentMessageBoxHandler();
    return handler ? handler(aText, aCaption, aFlags) : DefaultMessageBox(aText, aCaption, aFlags);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler) {
    std::swap(CurrentMessageBoxHandler(), aHandler);
    return aHandler;
}

} // namespace qrt
