// SPDX-License-Identifier: Apache-2.0
// flashutil --cli: the flash-mode start-up and the flash run of a built copy in the
// terminal, on the first qualifying drive. The texts are the window's; message boxes
// become printed messages and prompts (see TerminalUserInterface).

#include <cstdio>
#include <memory>
#include <string>

#include "flash/ExitCodes.h"
#include "flash/RunDisplay.h"
#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "image/Builder.h"
#include "image/IdentityBlock.h"
#include "image/Seal.h"
#include "platform/PrintableText.h"
#include "scsi/CDDrive.h"
#include "session/FlashSession.h"
#include "app/commands/AllDrivesCommand.h"
#include "app/commands/FailureWords.h"
#include "app/commands/GuardedPlatform.h"
#include "app/commands/Interrupts.h"
#include "app/commands/Options.h"
#include "app/commands/PlatformChoice.h"
#include "app/commands/TerminalUserInterface.h"
#include "app/commands/UsageError.h"

namespace {

// Lines name devices and drives by what they supplied: shown without control bytes.
void Say(const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", PrintableText(line).c_str()); }

int RefusalWithoutTerminal() {
    Say("nobody to ask: standard input is not a terminal; run with --yes to answer Yes to every question");
    return ExitCode::Refused;
}

int NothingToFlash(const GuardedPlatform& platform, const std::string& why) {
    if (const GuardedPlatform::OpenFailure* failure = platform.BusyOrDenied()) {
        Say(failure->DevicePath + ": " + platform.ErrorText(failure->Error));
        return ExitCode::Busy;
    }
    Say(why);
    return ExitCode::NoDrive;
}

// A command that failed in the system rather than in the drive (a drive unplugged or reset,
// a timeout) shows only an error number in its message: name the device and the cause.
void SayTransportFailure(const FlashReport& report, const CDDrive& drive, const Platform& platform) {
    if (report.Outcome != FlashOutcome::FailedBeforeCommit && report.Outcome != FlashOutcome::CommitFailed)
        return;
    if (!report.Failure || report.Failure->Result.SystemError == 0)
        return;
    // A drive that stopped answering was named by the run itself, with what that means for it.
    if (DriveStoppedAnswering(report.Failure->Result))
        return;
    const int error = report.Failure->Result.SystemError;
    const std::string cause = platform.ErrorText(error);
    Say(drive.DevicePath() + ": " + (cause.empty() ? "error " + std::to_string(error) : cause) +
        (report.Status.empty() ? std::string() : " (at: " + report.Status + ")"));
}

// The run proper.
int FlashFromTerminal(FlashSession& session, GuardedPlatform& platform, PlatformChoice& choice,
                      TerminalUserInterface& ui) {
    const FlashStartUp& startUp = session.StartUp();
    if (!session.AskWarning(ui))
        return ui.Refused() ? RefusalWithoutTerminal() : ExitCode::Refused;
    if (InterruptWatch::Requested())
        return ExitCode::Refused;
    if (!ui.Quiet())
        std::printf("%s\n", startUp.CaptionText().c_str());

    const FlashStartUp::Detection detection = session.Detect(ui);
    if (const std::string leftOut = session.LeftOutText(); !leftOut.empty())
        Say(leftOut);
    switch (detection) {
    case FlashStartUp::Detection::NoDrive:
        return NothingToFlash(platform, "no optical drive found" +
                                            (choice.Searched.empty() ? std::string() : " (" + choice.Searched + ")"));
    case FlashStartUp::Detection::NoneQualify:
        return NothingToFlash(platform, "no drive qualifies for this firmware");
    case FlashStartUp::Detection::Ready: break;
    }

    if (!ui.Quiet()) {
        std::printf("%s\n", startUp.PromptText().c_str());
        for (std::size_t k = 0; k < startUp.Entries().size(); ++k)
            std::printf("%s %s\n", k == 0 ? "*" : " ", PrintableText(startUp.Entries()[k]).c_str());
    }
    std::fflush(stdout);
    // The target drive is claimed for the run (on Linux: no mounted disc, no other holder, and
    // no sleep or shutdown) until the claim goes.
    const int target = session.DriveIndexOf(0);
    const CDDrive& drive = session.Drive(target);
    std::string why, notice;
    std::unique_ptr<RunClaim> claim = session.Claim(target, why, notice);
    if (!notice.empty())
        Say(notice);
    if (!claim) {
        Say(why);
        return ExitCode::Busy;
    }
    RunControl control;
    control.StopRequested = [] { return InterruptWatch::Requested(); };
    control.HoldInterrupts = [](bool hold) { InterruptWatch::Hold(hold); };
    RunDisplay display(ui);
    const FlashReport report = session.Run(target, 0, ui, display, control);
    claim.reset();
    ui.EndProgressLine();

    if (ui.Refused())
        return RefusalWithoutTerminal();
    SayTransportFailure(report, drive, platform);
    if (const std::string words = DriveFailureInWords(drive.DevicePath(), report); !words.empty())
        Say(words);
    if (InterruptWatch::Requested()) {
        if (report.Outcome == FlashOutcome::Completed)
            Say("interrupted after the flash completed; not asking further");
        else if (report.Outcome == FlashOutcome::CommitFailed)
            Say("interrupted; the commit had already been sent and failed");
        else
            Say("interrupted before the commit; the drive's flash is unchanged");
    }
    return ExitCodeOf(report.Outcome);
}

}  // namespace

int RunCli(const Options& options) {
    const IdentityBlock block = IdentityBlock::Embedded();
    if (block.IsBlankCopy()) {
        Say("this is a blank copy: it carries no firmware image to flash. Build a flash utility for a "
            "model first (flashutil --build --model N --image FILE) and run --cli with that copy");
        return ExitCode::Failure;
    }
    if (options.All || options.Json)
        return RunAllDrives(options, block);

    // Every run that reaches a drive is recorded; a history that can't be written is told once.
    LibcSystemLog systemLog;
    HistoryLog history(HistoryPathOfProcess(), [](const std::string& text) { Say(text); }, &systemLog);
    const SessionSettings settings{EmbeddedSealBytes(), RunningExecutablePath(), &history, options.NoCommit};

    // The seal, before any drive is even looked for.
    {
        TerminalUserInterface sealUi(options.Yes);
        sealUi.SetQuiet(options.Quiet);
        if (!FlashSession::CheckSeal(block, settings, sealUi))
            return ExitCode::FailedBeforeCommit;
    }

    PlatformChoiceError error;
    std::unique_ptr<PlatformChoice> choice = ChoosePlatform(options, block, error);
    if (!choice)
        return ReportUsageError(error.Text, options.Json && error.Exit == ExitCode::Usage, error.Exit);

    TerminalUserInterface ui(options.Yes);
    ui.SetQuiet(options.Quiet);
    InterruptWatch interrupts;
    ui.Interrupted = [] { return InterruptWatch::Requested(); };
    GuardedPlatform platform(choice->Get());
    FlashSession session(block, platform, settings);

    const int code = FlashFromTerminal(session, platform, *choice, ui);
    std::fflush(stdout);
    return FinishReplay(*choice, code);
}
