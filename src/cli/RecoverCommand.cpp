#include "cli/RecoverCommand.h"

#include "cli/CliOptions.h"
#include "cli/ConsoleView.h"
#include "cli/SourceVolumes.h"
#include "core/Application.h"
#include "core/Ticks.h"
#include "core/Version.h"
#include "disk/DiskAccessor.h"
#include "engine/dmMain.h"
#include "fat/FATRegistration.h"
#include "platform/MountInfo.h"
#include "platform/Terminal.h"
#include "recognition/HeaderMatching.h"
#include "support/PathUtils.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace qrt {

namespace {

constexpr const char* kProgram = "qrt-recover";

void PrintError(const std::string& aText) {
    std::fprintf(stderr, "%s: %s\n", kProgram, aText.c_str());
}

// Ctrl-C asks the run to stop; a second Ctrl-C ends the program at once.
extern "C" void OnInterrupt(int) {
    Application().Terminate();
}

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

std::string AbsolutePath(const std::string& aPath) {
    if (!aPath.empty() && aPath[0] == '/') return aPath;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return aPath;
    return IncludeTrailingBackslash(cwd) + aPath;
}

// The signature database beside the executable names lost files by their content. Without it the
// run still works; such files keep their generated names.
void LoadSignatures(bool aQuiet) {
    std::string ids = TApplication::ExeFolder() + "FileIds.ini";
    if (!FileExists(ids)) {
        if (!aQuiet)
            PrintError("warning: no signature database (" + ids + "); lost files keep generated names");
        return;
    }
    try {
        FileRecognizers().LoadFromIni(ids);
    } catch (const std::exception& e) {
        PrintError("warning: the signature database could not be loaded: " + OneLine(e.what()));
    }
}

int ListVolumes(const TCliOptions& aOptions) {
    TCliSource source;
    std::string error;
    if (!source.Open(aOptions.Source, error)) {
        PrintError(error);
        return kExitError;
    }
    std::printf("Volumes on %s%s:\n", aOptions.Source.c_str(),
                source.HasPartitionTable() ? "" : " (no partition table)");
    std::printf("%-6s%-7s%-12s%s\n", "slot", "type", "size", "label");
    for (const TCliVolume& v : source.Volumes())
        std::printf("%s\n", TCliSource::Describe(v).c_str());
    return kExitFinished;
}

void PrintSummary(const TdmodMain& aEngine, int32_t aProblems, uint32_t aElapsed, bool aInterrupted) {
    const TxSavedFileCounts& c = aEngine.fSavedCounts;
    std::printf("%s %d file%s (%d live, %d deleted, %d lost) into %s\n",
                aInterrupted ? "Interrupted after saving" : "Saved", aEngine.fSavedFileCount,
                aEngine.fSavedFileCount == 1 ? "" : "s", c.Live, c.Deleted, c.Lost,
                aEngine.fOutputFolder.c_str());
    std::printf("Problems reported: %d\n", aProblems);
    std::string time = FormatElapsed(aElapsed);
    std::printf("Time: %s\n", time.empty() ? "0:00:00.00" : time.c_str());
    std::fflush(stdout);
}

int Recover(const TCliOptions& aOptions) {
    std::string output = AbsolutePath(aOptions.Output.empty() ? DefaultOutputFolder() : aOptions.Output);
    // Before anything is read: the output must not lie on the device being recovered.
    std::string reason;
    if (OutputLiesOnSource(output, aOptions.Source, &reason)) {
        PrintError("refusing to write into " + output + ": it lies on " + aOptions.Source + " (" + reason +
                   "), the device being recovered. Writing there could overwrite the very files to recover; "
                   "choose a folder on another drive.");
        return kExitError;
    }

    LoadSignatures(aOptions.Quiet);
    TCliSource source;
    std::string error;
    if (!source.Open(aOptions.Source, error)) {
        PrintError(error);
        return kExitError;
    }
    const TCliVolume* volume = source.Select(aOptions.Partition, error);
    if (!volume) {
        PrintError(error);
        return kExitError;
    }

    TConsoleView view(!aOptions.Quiet && IsTerminal(kStdErr));
    TConsoleReporter reporter(view);
    InstallInterruptHandler();

    if (!volume->Disk->fFileSystem && !MountByRebuilding(volume->Disk)) {
        std::fprintf(stderr,
                     "Sorry, too much damage found: No valid boot sector could be found or recreated!\n");
        return kExitNoVolume;
    }

    TdmodMain engine;
    engine.SetView(&view);
    engine.SetDisk(volume->Disk);
    engine.fOutputFolder = output;
    uint32_t start = TimeGetTime();
    try {
        engine.RecoverFileSystem(volume->Disk->fFileSystem);
    } catch (const std::exception& e) {
        view.ClearLine();
        PrintError(OneLine(e.what()) + " (" + output + ")");
        return kExitError;
    }
    view.ClearLine();
    bool interrupted = Application().Terminated();
    if (!aOptions.Quiet)
        PrintSummary(engine, reporter.ProblemCount, ElapsedTicks(start, TimeGetTime()), interrupted);
    if (interrupted) return kExitInterrupted;
    if (reporter.TooMuchDamage) return kExitNoVolume;
    return kExitFinished;
}

} // namespace

int RunRecoverCommand(const std::vector<std::string>& aArgs) {
    std::setlocale(LC_ALL, "");
    TCliOptions options;
    std::string error;
    if (!ParseCliOptions(aArgs, options, error)) {
        PrintError(error);
        std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
        return kExitError;
    }
    if (options.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitFinished;
    }
    if (options.Version) {
        std::printf("%s %s\n", kProgram, kVersion);
        return kExitFinished;
    }
    Application().Title = "Morvask | Data Recovery Wizard";
    RegisterFATFileSystems();
    try {
        return options.List ? ListVolumes(options) : Recover(options);
    } catch (const std::exception& e) {
        PrintError(OneLine(e.what()));
        return kExitError;
    }
}

} // namespace qrt
