#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace qrt {

// --- Crash reporter -------------------------------------------------------------------------------
// Every exception the engine and the start-up work catch at their boundaries is handed to
// HandleException. The default reporter writes one line "ClassName: message" to stderr and, when an
// error log is set, appends it there; it never blocks. Front ends install their own.

using TExceptionHandler = std::function<void(const std::exception&)>;

void HandleException(const std::exception& e);
// Installs a handler; returns the previous one. An empty handler restores the default.
TExceptionHandler SetExceptionHandler(TExceptionHandler aHandler);
// The error log of the default reporter; empty (the default) means none.
void SetErrorLogFile(const std::string& aFileName);
// The one-line text of an exception: "ClassName: message".
std::string DescribeException(const std::exception& e);

// --- Message boxes --------------------------------------------------------------------------------
// Flags and results keep the values the system's message texts were written for.

enum : uint32_t {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONHAND = 0x10, // the error icon
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_DEFBUTTON2 = 0x100,
    MB_TOPMOST = 0x40000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using TMessageBoxHandler =
    std::function<int(const std::string& aText, const std::string& aCaption, uint32_t aFlags)>;

// Shows a message box through the installed handler and returns the button pressed. The default
// handler prints the text to stderr and answers with the default button.
int MessageBox(const std::string& aText, const std::string& aCaption, uint32_t aFlags);
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler);
// The button a box with these flags answers by default (its default button).
int DefaultMessageBoxResult(uint32_t aFlags);

} // namespace qrt
