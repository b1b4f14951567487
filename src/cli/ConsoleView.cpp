#include "cli/ConsoleView.h"

#include "core/Exceptions.h"
#include "platform/Terminal.h"

#include <cstdio>

namespace qrt {

namespace {

// At most aWidth bytes of aText, not cutting a UTF-8 character; "..." in front when cut.
std::string Tail(const std::string& aText, size_t aWidth) {
    if (aText.size() <= aWidth) return aText;
    if (aWidth <= 3) return std::string(aWidth, '.');
    size_t start = aText.size() - (aWidth - 3);
    while (start < aText.size() && (static_cast<unsigned char>(aText[start]) & 0xC0) == 0x80)
        ++start;
    return "..." + aText.substr(start);
}

} // namespace

std::string OneLine(const std::string& aText) {
    std::string out;
    bool inBreak = false;
    for (char c : aText) {
        if (c == '\r' || c == '\n') {
            if (!inBreak) out += ' ';
            inBreak = true;
        } else {
            out += c;
            inBreak = false;
        }
    }
    return out;
}

std::string TConsoleView::StatusLine(int aColumns) const {
    char head[32];
    std::snprintf(head, sizeof head, "%3d%% ", fPercent);
    std::string line = head + fElapsed;
    std::string place = OneLine(fDirectory);
    if (!fFile.empty() && fFile != " ") place += (place.empty() ? "" : "  ") + OneLine(fFile);
    size_t width = aColumns > 1 ? static_cast<size_t>(aColumns - 1) : 1;
    if (line.size() + 2 < width) line += "  " + Tail(place, width - line.size() - 2);
    return line.size() > width ? line.substr(0, width) : line;
}

void TConsoleView::Refresh() {
    if (!fEnabled) return;
    std::string line = StatusLine(TerminalColumns(kStdErr));
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    fShown = true;
}

void TConsoleView::ClearLine() {
    if (!fShown) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    fShown = false;
}

TConsoleReporter::TConsoleReporter(TConsoleView& aView) : fView(aView) {
    fOldHandler = SetExceptionHandler([this](const std::exception& e) {
        ++ProblemCount;
        fView.ClearLine();
        std::fprintf(stderr, "problem %d: %s\n", ProblemCount, OneLine(DescribeException(e)).c_str());
        std::fflush(stderr);
    });
    fOldMessageBox =
        SetMessageBoxHandler([this](const std::string& aText, const std::string&, uint32_t aFlags) {
            if (aText.rfind("Sorry, too much damage found: ", 0) == 0) TooMuchDamage = true;
            fView.ClearLine();
            std::fprintf(stderr, "%s\n", OneLine(aText).c_str());
            std::fflush(stderr);
            return DefaultMessageBoxResult(aFlags);
        });
}

TConsoleReporter::~TConsoleReporter() {
    SetExceptionHandler(fOldHandler);
    SetMessageBoxHandler(fOldMessageBox);
}

} // namespace qrt
