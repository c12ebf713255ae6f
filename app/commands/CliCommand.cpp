// flashutil --cli: the flash-mode start-up and the flash run of a built copy in the
// terminal, on the first qualifying drive. The texts are the window's; message boxes
// become printed messages and prompts (see TerminalUserInterface).

#include <cstdio>
#include <memory>
#include <string>

#include "flash/FlashEngine.h"
#include "flash/StartUp.h"
#include "image/IdentityBlock.h"
#include "scsi/CDDrive.h"
#include "app/commands/GuardedPlatform.h"
#include "app/commands/Interrupts.h"
#include "app/commands/Options.h"
#include "app/commands/PlatformChoice.h"
#include "app/commands/TerminalUserInterface.h"

namespace {

void Say(const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", line.c_str()); }

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

// The target drive is claimed for the run (on Linux: no mounted disc, no other holder, and
// no sleep or shutdown) until the claim goes. nullptr with why set when refused.
std::unique_ptr<RunClaim> ClaimForRun(Platform& platform, CDDrive* drive, std::string& why) {
    if (drive == nullptr)
        return std::make_unique<RunClaim>();
    std::string notice;
    std::unique_ptr<RunClaim> claim = platform.ClaimForRun(drive->Handle, why, &notice);
    if (!notice.empty())
        Say(notice);
    return claim;
}

int ExitCodeOf(FlashOutcome outcome) {
    switch (outcome) {
    case FlashOutcome::Completed: return ExitCode::Success;
    case FlashOutcome::RevisionRefused:
    case FlashOutcome::Declined: return ExitCode::Refused;
    case FlashOutcome::Unidentified:
    case FlashOutcome::DiscPresent:
    case FlashOutcome::Interrupted:
    case FlashOutcome::FailedBeforeCommit: return ExitCode::FailedBeforeCommit;
    case FlashOutcome::CommitFailed: return ExitCode::FailedAtCommit;
    }
    return ExitCode::Failure;
}

// The run proper. The platform and the user interface are installed in the drive class.
int FlashFromTerminal(const IdentityBlock& block, GuardedPlatform& platform, PlatformChoice& choice,
                      TerminalUserInterface& ui) {
    // The engine outlives the start-up: the drives and IoBuffer go before its buffers.
    FlashEngine engine(ui, block);
    FlashStartUp startUp(block);
    startUp.FormIdentityTexts();

    if (!startUp.AskWarning(ui))
        return ui.Refused() ? RefusalWithoutTerminal() : ExitCode::Refused;
    if (InterruptWatch::Requested())
        return ExitCode::Refused;
    std::printf("%s\n", startUp.CaptionText().c_str());

    const FlashStartUp::Detection detection = startUp.Detect(ui);
    if (startUp.Drives && startUp.Drives->LeftOut() > 0)
        Say(startUp.Drives->LeftOutText());
    switch (detection) {
    case FlashStartUp::Detection::NoDrive:
        return NothingToFlash(platform, "no optical drive found" +
                                            (choice.Searched.empty() ? std::string() : " (" + choice.Searched + ")"));
    case FlashStartUp::Detection::NoneQualify:
        return NothingToFlash(platform, "no drive qualifies for this firmware");
    case FlashStartUp::Detection::Ready: break;
    }

    std::printf("%s\n", startUp.PromptText().c_str());
    for (std::size_t k = 0; k < startUp.Entries().size(); ++k)
        std::printf("%s %s\n", k == 0 ? "*" : " ", startUp.Entries()[k].c_str());
    std::fflush(stdout);
    startUp.FinishSelection(engine);

    std::string why;
    std::unique_ptr<RunClaim> claim = ClaimForRun(platform, engine.TargetDrive, why);
    if (!claim) {
        Say(why);
        return ExitCode::Busy;
    }
    RunControl control;
    control.StopRequested = [] { return InterruptWatch::Requested(); };
    control.HoldInterrupts = [](bool hold) { InterruptWatch::Hold(hold); };
    engine.SetRunControl(control);

    const FlashOutcome outcome = engine.FlashButtonClick(0);
    claim.reset();
    ui.EndProgressLine();

    if (ui.Refused())
        return RefusalWithoutTerminal();
    // A command that failed in the system rather than in the drive (a drive unplugged or
    // reset, a timeout) shows only an error number in its message: name the device and cause.
    if ((outcome == FlashOutcome::FailedBeforeCommit || outcome == FlashOutcome::CommitFailed) &&
        engine.TargetDrive != nullptr && engine.TargetDrive->LastError != 0) {
        const std::string cause = platform.ErrorText(engine.TargetDrive->LastError);
        Say(engine.TargetDrive->DevicePath() + ": " +
            (cause.empty() ? "error " + std::to_string(engine.TargetDrive->LastError) : cause) + " (at: " +
            ui.Status() + ")");
    }
    if (InterruptWatch::Requested()) {
        if (outcome == FlashOutcome::Completed)
            Say("interrupted after the flash completed; not asking further");
        else if (outcome == FlashOutcome::CommitFailed)
            Say("interrupted; the commit had already been sent and failed");
        else
            Say("interrupted before the commit; the drive's flash is unchanged");
    }
    return ExitCodeOf(outcome);
}

}  // namespace

int RunCli(const Options& options) {
    const IdentityBlock block = IdentityBlock::Embedded();
    if (block.IsBlankCopy()) {
        Say("this is a blank copy: it carries no firmware image to flash. Build a flash utility for a "
            "model first (flashutil --build --model N --image FILE) and run --cli with that copy");
        return ExitCode::Failure;
    }

    PlatformChoiceError error;
    std::unique_ptr<PlatformChoice> choice = ChoosePlatform(options, block, error);
    if (!choice) {
        Say(error.Text);
        return error.Exit;
    }

    TerminalUserInterface ui(options.Yes);
    InterruptWatch interrupts;
    ui.Interrupted = [] { return InterruptWatch::Requested(); };
    GuardedPlatform platform(choice->Get());
    CDDrive::SetPlatform(&platform);
    CDDrive::SetUserInterface(&ui);

    const int code = FlashFromTerminal(block, platform, *choice, ui);

    CDDrive::SetUserInterface(nullptr);
    std::fflush(stdout);
    return code;
}
