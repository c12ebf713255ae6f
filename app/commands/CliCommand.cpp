// SPDX-License-Identifier: Apache-2.0
// flashutil --cli [FILE]: the flash-mode start-up and the flash run of a built copy in the
// terminal, on the first qualifying drive: this program's own, or the one FILE holds, read
// from that file as data without running it. The texts are the window's; message boxes
// become printed messages and prompts (see TerminalUserInterface).

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "flash/ExitCodes.h"
#include "flash/RunDisplay.h"
#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "builder/Builder.h"
#include "areas/IdentityBlock.h"
#include "areas/Seal.h"
#include "platform/PrintableText.h"
#include "scsi/CDDrive.h"
#include "session/FlashSession.h"
#include "app/commands/AllDrivesCommand.h"
#include "app/commands/TerminalFlash.h"
#include "app/terminal/ErrorLine.h"
#include "app/commands/Commands.h"
#include "app/setup/PlatformChoice.h"
#include "app/terminal/TerminalUserInterface.h"
#include "areas/UtilityFile.h"
#include "app/terminal/UsageError.h"

namespace {

// The terminal's single drive: boxes become printed messages and prompts, the list is printed
// with the first entry marked, the run's steps and progress go to one line.
class SingleDriveTerminal : public SessionFrontEnd {
public:
    SingleDriveTerminal(const Options& options, ProcessPlumbing& process)
        : Options_(options), Ui_(options.Yes), Display_(Ui_), Process_(process) {
        Ui_.SetQuiet(options.Quiet);
    }

    UserInterface& Person() override { return Ui_; }
    Platform* ChoosePlatform(const IdentityBlock& utility, int& exitCode) override {
        return ChooseTerminalPlatform(Options_, utility, Choice_, Process_, Ui_, exitCode);
    }
    StopRequests& Stops() override { return Process_; }
    void Note(const std::string& line) override { SayError(line); }
    void WarningAccepted(const FlashStartUp& startUp) override {
        if (!Ui_.Quiet())
            std::printf("%s\n", startUp.CaptionText().c_str());
    }
    void Declined() override { DeclinedAtTheTerminal(Ui_); }
    bool NobodyToAsk() const override { return Ui_.Refused(); }
    void Planned(const FlashStartUp& startUp, const std::vector<SessionDrive>&, const std::string&) override {
        if (!Ui_.Quiet()) {
            std::printf("%s\n", startUp.PromptText().c_str());
            for (std::size_t k = 0; k < startUp.Entries().size(); ++k)
                std::printf("%s %s\n", k == 0 ? "*" : " ", PrintableText(startUp.Entries()[k]).c_str());
        }
        std::fflush(stdout);
    }
    RunObserver& Observer() { return Display_; }
    void RunEnded(const FlashReport&) override { Ui_.EndProgressLine(); }

    // After the session: why the drive was not flashed, and a replayed run's own ending.
    int Finish(const SessionResult& result) {
        const int code = EndTerminalSession(result, true, Choice_.get());
        std::fflush(stdout);
        return Choice_ ? FinishReplay(*Choice_, code) : code;
    }

private:
    const Options& Options_;
    TerminalUserInterface Ui_;
    RunDisplay Display_;
    std::unique_ptr<PlatformChoice> Choice_;
    ProcessPlumbing& Process_;
};

}  // namespace

int RunCli(const Options& options, ProcessPlumbing& process) {
    // A folder: each drive gets the utility of it that fits, all in one plan.
    if (options.Subject && IsCatalogueFolder(*options.Subject))
        return RunFolder(options, *options.Subject, process);
    // This program, or the utility FILE names, read as data: its file is never run.
    UtilityCopy subject;
    std::string why;
    if (!LoadUtilityCopy(options.Subject.value_or(""), subject, why)) {
        SayError(why);
        return ExitCode::Failure;
    }
    const IdentityBlock block = subject.View();
    if (block.IsBlankCopy()) {
        SayError((subject.Own ? std::string("this is a blank copy") : subject.File + " is a blank copy") +
            ": it carries no firmware image to flash. Build a flash utility for a "
            "model first (flashutil --build --model N --image FILE) and run --cli with that copy");
        return ExitCode::Failure;
    }
    if (options.All || options.Json)
        return RunAllDrives(options, subject, process);

    // Every run that reaches a drive is recorded; a history that can't be written is told once.
    LibcSystemLog systemLog;
    HistoryLog history(HistoryPathOfProcess(), [](const std::string& text) { SayError(text); }, &systemLog);
    SingleDriveTerminal terminal(options, process);
    FlashSession session(SessionSettings(subject, &history, options.NoCommit), terminal);
    return terminal.Finish(session.Run(FlashRequest::FirstDrive(terminal.Observer())));
}
