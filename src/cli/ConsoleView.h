#pragma once

#include "core/Hooks.h"
#include "engine/IRecoveryView.h"

#include <cstdint>
#include <string>

namespace qrt {

// The progress of a run as one status line on stderr, redrawn in place at every progress update
// (the engine updates at most every 80 ms). It draws only when enabled: stderr is a terminal and
// --quiet was not given.
class TConsoleView : public IRecoveryView {
public:
    explicit TConsoleView(bool aEnabled) : fEnabled(aEnabled) {}
    ~TConsoleView() override { ClearLine(); }

    void SetDirectoryText(const std::string& aText) override { fDirectory = aText; }
    void SetFileText(const std::string& aText) override { fFile = aText; }
    void SetElapsedText(const std::string& aText) override { fElapsed = aText; }
    void SetPercent(int32_t aPercent) override { fPercent = aPercent; }
    void Refresh() override;

    // Erases the status line, so other text can be printed; the next update draws it again.
    void ClearLine();
    // The status line as it would be drawn in aColumns columns.
    std::string StatusLine(int aColumns) const;

private:
    bool fEnabled;
    bool fShown = false;
    std::string fDirectory;
    std::string fFile;
    std::string fElapsed;
    int32_t fPercent = 0;
};

// Installs, for its lifetime, the crash reporter and the message-box handler of the command line:
// every exception the engine reports becomes one line "problem N: Class: message" on stderr and is
// counted; message boxes are printed, and a "Sorry, too much damage found: " box is remembered.
class TConsoleReporter {
public:
    explicit TConsoleReporter(TConsoleView& aView);
    ~TConsoleReporter();
    TConsoleReporter(const TConsoleReporter&) = delete;
    TConsoleReporter& operator=(const TConsoleReporter&) = delete;

    int32_t ProblemCount = 0;
    bool TooMuchDamage = false;

private:
    TConsoleView& fView;
    TExceptionHandler fOldHandler;
    TMessageBoxHandler fOldMessageBox;
};

// Text without line breaks: each run of CR and LF becomes one blank.
std::string OneLine(const std::string& aText);

} // namespace qrt
