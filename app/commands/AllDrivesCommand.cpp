// SPDX-License-Identifier: Apache-2.0
// flashutil --cli --all: every qualifying drive flashed at once, each by a run of its own on a
// thread of its own, with its own claim. The questions are asked once for all of them: the
// start-up warning, one confirmation that lists every drive and what is done with it, and
// after every commit has answered, one restart question.
//
// --cli --json is the same run, told as JSON lines; without --all it flashes only the first
// qualifying drive, as --cli does.
//
// The session (FlashSession::Run of the planned drives) decides; this presents it: on the person's display
// or as JSON lines.

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "areas/UtilityFile.h"
#include "app/terminal/AnsweredQuestions.h"
#include "app/terminal/DriveRunInterface.h"
#include "app/terminal/FleetDisplay.h"
#include "app/terminal/JsonEvents.h"
#include "app/commands/AllDrivesCommand.h"
#include "app/commands/Commands.h"
#include "app/commands/TerminalFlash.h"
#include "app/terminal/ErrorLine.h"
#include "app/setup/PlatformChoice.h"
#include "app/terminal/TerminalUserInterface.h"
#include "flash/ExitCodes.h"
#include "app/terminal/UsageError.h"
#include "flash/FlashTexts.h"
#include "flash/FlashVerdict.h"
#include "ui/Translate.h"
#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "history/SystemLog.h"
#include "areas/IdentityBlock.h"
#include "session/FlashSession.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustedKeys.h"
#include "platform/PrintableText.h"

namespace {

// The utility a drive of a folder's session gets, for its line: its file and its signer.
std::string UtilityWords(const SessionDrive& drive) {
    if (!drive.Utility)
        return {};
    return "\n      with " + PrintableText(drive.Utility->Name + ", " + VerdictLine(drive.Utility->Verdict));
}

// The one confirmation: every drive with its revision change, then those left alone and why;
// a line per drive whatever the drive supplied. With a folder, each drive's utility is named.
std::string Confirmation(const std::vector<SessionDrive>& drives, const std::string& newRevision, bool folder,
                         bool& downgrade) {
    std::string chosen, skipped;
    int count = 0;
    downgrade = false;
    for (const SessionDrive& drive : drives) {
        if (drive.Unreached) {
            skipped += PrintableText("  " + drive.Device + "  " + drive.Identity + "  not flashed: " + drive.Problem) +
                       "\n";
        } else if (drive.Chosen()) {
            ++count;
            const std::string revision = drive.Utility ? drive.Utility->NewRevision : newRevision;
            const bool older = IsDowngrade(drive.Revision, revision);
            downgrade = downgrade || older;
            chosen += PrintableText("  " + drive.Device + "  " + drive.Identity + "  FW:" + drive.Revision) +
                      " -> FW:" + PrintableText(revision) + (older ? " (older)" : "") + UtilityWords(drive) + "\n";
        } else {
            skipped += PrintableText("  " + drive.Device + "  " + drive.Identity + "  skipped: " + drive.SkipReason) +
                       "\n";
        }
    }
    std::string text = "\nUpdate the firmware of " + std::to_string(count) + (count == 1 ? " drive" : " drives") +
                       ":\n" + chosen;
    if (!skipped.empty())
        text += "Left alone:\n" + skipped;
    if (folder)
        return text + "Update FW of these drives, each with its utility ?\n";
    return text + "Update FW of these drives to FW:" + newRevision + " ?\n";
}

class FleetCommand : public FleetFrontEnd {
public:
    FleetCommand(const Options& options, const UtilityCopy& subject, ProcessPlumbing& process,
                 std::shared_ptr<const Catalogue> folder = nullptr)
        : Options_(options), Subject_(subject), Folder_(std::move(folder)), Human_(options.Json ? stderr : stdout),
          Terminal_(options.Yes, TerminalUserInterface::Streams{stdin, Human_, stderr, isatty(STDIN_FILENO) == 1,
                                                                 isatty(fileno(Human_)) == 1}),
          Json_(stdout, options.JsonCompact), Display_(stdout, stderr, isatty(STDOUT_FILENO) == 1, options.Quiet),
          Events_(options.Json ? static_cast<FleetEvents&>(Json_) : Display_),
          Questions_(Terminal_, Events_, options.Yes, isatty(STDIN_FILENO) == 1),
          History_(HistoryPathOfProcess(), [](const std::string& text) { SayError(text); }, &SystemLog_),
          Process_(process) {
        // --quiet keeps the questions and their answers off the screen, as for a single drive.
        Terminal_.SetQuiet(options.Quiet);
    }

    int Run() {
        SessionSettings settings(Subject_, &History_, Options_.NoCommit);
        settings.Folder = Folder_;
        if (Folder_)
            Json_.NameFolder(*Folder_);
        FlashSession session(std::move(settings), *this);
        const SessionResult result = session.Run(FlashRequest::Planned(*this, Options_.All));
        const int code = EndTerminalSession(result, false, Choice_.get());
        // A usage error under --json is told by its one error document, with no summary after it.
        if (!UsageDocument_)
            Events_.Summary(result.Drives, code);
        std::fflush(stdout);
        return Choice_ ? FinishReplay(*Choice_, code) : code;
    }

    UserInterface& Person() override { return Questions_; }
    void Judged(const CopyVerdict& verdict) override { Json_.NameUtility(Subject_.FullPath, Subject_.Sha256, verdict); }
    Platform* ChoosePlatform(const IdentityBlock& utility, int& exitCode) override {
        Platform* platform = ChooseTerminalPlatform(Options_, utility, Choice_, Process_, Terminal_, exitCode);
        UsageDocument_ = platform == nullptr && Options_.Json && exitCode == ExitCode::Usage;
        return platform;
    }
    StopRequests& Stops() override { return Process_; }
    void Note(const std::string& line) override { SayError(line); }
    void WarningAccepted(const FlashStartUp& startUp) override {
        if (!Options_.Quiet) {
            std::fprintf(Human_, "%s\n", startUp.CaptionText().c_str());
            std::fflush(Human_);
        }
    }
    void Declined() override { DeclinedAtTheTerminal(Terminal_); }
    bool NobodyToAsk() const override { return Terminal_.Refused(); }
    void Planned(const FlashStartUp& startUp, const std::vector<SessionDrive>& drives,
                 const std::string& newRevision) override {
        Events_.Started(startUp.Texts(), newRevision, drives, Options_.NoCommit);
    }
    bool ConfirmPlan(const std::vector<SessionDrive>& drives, const std::string& newRevision) override {
        bool downgrade = false;
        const std::string question = Confirmation(drives, newRevision, Folder_ != nullptr, downgrade);
        return Questions_.Ask(Question::UpdateConfirmation, question,
                              downgrade ? MessageKind::Warning : MessageKind::Confirmation, MessageAnswer::No);
    }
    std::unique_ptr<DriveRunPresenter> PresentRun(const SessionDrive& drive) override {
        return std::make_unique<DriveRunInterface>(drive.Device, Events_);
    }
    void Finished(const SessionDrive& drive) override { Events_.Finished(drive); }

private:
    const Options& Options_;
    const UtilityCopy& Subject_;
    std::shared_ptr<const Catalogue> Folder_;  // null: Subject_ is flashed
    std::FILE* Human_;  // where the person's texts go: the error stream under --json
    TerminalUserInterface Terminal_;
    JsonEvents Json_;
    FleetDisplay Display_;
    FleetEvents& Events_;
    AnsweredQuestions Questions_;
    std::unique_ptr<PlatformChoice> Choice_;
    bool UsageDocument_ = false;  // the platform's options were a usage error, told as a JSON document
    // Every drive's run is recorded; a history that can't be written is told once.
    LibcSystemLog SystemLog_;
    HistoryLog History_;
    ProcessPlumbing& Process_;
};

}  // namespace

int RunAllDrives(const Options& options, const UtilityCopy& subject, ProcessPlumbing& process) {
    return FleetCommand(options, subject, process).Run();
}

int RunFolder(const Options& options, const std::string& folder, ProcessPlumbing& process) {
    auto catalogue = std::make_shared<Catalogue>();
    std::string why;
    if (!ScanCatalogue(folder, InstalledTrustedKeys(), ReadSignaturePolicy(SignaturePolicyPath()), *catalogue, why)) {
        SayError(why);
        return ExitCode::Failure;
    }
    TellSkippedFiles(*catalogue, options.Verbose || options.Json);
    // The first utility stands for the folder before the plan: the virtual drive's defaults, the
    // warning's words. A folder without one still looks at the drives, so that each is told why.
    const UtilityCopy subject = catalogue->Utilities.empty() ? RunningCopy() : catalogue->Utilities.front().Copy;
    return FleetCommand(options, subject, process, std::move(catalogue)).Run();
}

void TellSkippedFiles(const Catalogue& catalogue, bool each) {
    if (catalogue.Truncated)
        SayError(CatalogueTruncatedText(catalogue));
    if (each)
        for (const CatalogueSkip& skip : catalogue.Skipped)
            SayError(PrintableText(catalogue.Folder + "/" + skip.Name + ": skipped: " + skip.Reason));
}
