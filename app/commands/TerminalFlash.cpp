// SPDX-License-Identifier: Apache-2.0
#include "app/commands/TerminalFlash.h"

#include "app/terminal/ErrorLine.h"
#include "app/terminal/SessionWords.h"
#include "app/terminal/UsageError.h"

Platform* ChooseTerminalPlatform(const Options& options, const IdentityBlock& utility,
                                 std::unique_ptr<PlatformChoice>& choice, ProcessPlumbing& process,
                                 TerminalUserInterface& person, int& exitCode) {
    PlatformChoiceError error;
    choice = ChoosePlatform(options, utility, error);
    if (!choice) {
        exitCode = ReportUsageError(error.Text, options.Json && error.Exit == ExitCode::Usage, error.Exit);
        return nullptr;
    }
    process.WatchStopRequests();
    person.Interrupted = [&process] { return process.Requested(); };
    return &choice->Get();
}

void DeclinedAtTheTerminal(const TerminalUserInterface& person) {
    if (person.Refused())
        SayError("nobody to ask: standard input is not a terminal; run with --yes to answer Yes to every question");
}

int EndTerminalSession(const SessionResult& result, bool singleDrive, PlatformChoice* choice) {
    for (const std::string& line :
         SessionEndLines(result, singleDrive, choice ? choice->Searched : std::string(), choice ? &choice->Get() : nullptr))
        SayError(line);
    return ExitCodeOf(result);
}
