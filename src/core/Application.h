#pragma once

#include <functional>
#include <string>

namespace qrt {

// The process-wide application object: title, help file, the termination request and the message
// pump that long work calls to keep a user interface alive. Front ends install the pump (the wizard:
// QCoreApplication::processEvents; the command line: none) and set the termination request.
class TApplication {
public:
    std::string Title;
    std::string HelpFile;

    bool Terminated() const { return fTerminated; }
    void Terminate() { fTerminated = true; }
    // Clears the termination request (tests and front ends that run more than one job).
    void ResetTerminated() { fTerminated = false; }

    // Runs the installed pump once; nothing when none is installed.
    void ProcessMessages();
    // Installs a pump; returns the previous one.
    std::function<void()> SetMessagePump(std::function<void()> aPump);

    // Full path of the running executable, and its folder with a trailing '/'.
    static std::string ExeName();
    static std::string ExeFolder();

private:
    volatile bool fTerminated = false;
    std::function<void()> fPump;
};

TApplication& Application();

} // namespace qrt
