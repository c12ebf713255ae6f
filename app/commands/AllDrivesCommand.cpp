// SPDX-License-Identifier: Apache-2.0
// flashutil --cli --all: every qualifying drive flashed at once, each by a run of its own on a
// thread of its own, with its own claim. The questions are asked once for all of them: the
// start-up warning, one confirmation that lists every drive and what is done with it, and
// after every commit has answered, one restart question.
//
// --cli --json is the same run, told as JSON lines; without --all it flashes only the first
// qualifying drive, as --cli does.
//
// Safety: the runs share nothing but the platform's command path (which takes commands of
// several drives at once) and the listeners (which lock). A failing drive ends only its own
// run. An interrupt stops every run that has not sent its commit; a commit under way is never
// broken off, and its answer is reported.

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/commands/AnsweredQuestions.h"
#include "app/commands/DriveRunInterface.h"
#include "app/commands/FailureWords.h"
#include "app/commands/FleetDisplay.h"
#include "app/commands/GuardedPlatform.h"
#include "app/commands/Interrupts.h"
#include "app/commands/JsonEvents.h"
#include "app/commands/Options.h"
#include "app/commands/PlatformChoice.h"
#include "app/commands/TerminalUserInterface.h"
#include "flash/FlashRun.h"
#include "flash/FlashTexts.h"
#include "ui/Translate.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "history/SystemLog.h"
#include "image/Builder.h"
#include "image/IdentityBlock.h"
#include "image/Seal.h"
#include "platform/PrintableText.h"

namespace {

// Lines name devices and drives by what they supplied: shown without control bytes.
void Say(const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", PrintableText(line).c_str()); }

// One drive's run, start to end, on its thread. Its claim is held by the caller.
void FlashOneDrive(FleetDrive& entry, CDDrive& drive, int listIndex, const IdentityBlock& block,
                   RunControl control, FleetEvents& events, HistoryLog& history) {
    InterruptWatch::BlockInThisThread();  // the waiting thread takes the signals
    DriveRunInterface ui(entry.Device, events);
    HistoryRun record(&history, block, drive, control.NoCommit);
    control.BeforeFirstCommand = [&record] { record.Started(); };
    entry.Report = FlashRun(drive, block, ui, ui, control).Run(listIndex);
    record.Ended(*entry.Report);
    switch (entry.Report->Outcome) {
    case FlashOutcome::Completed: entry.RevisionAfter = drive.RevisionText(); break;  // read again after the commit
    case FlashOutcome::CommitFailed: entry.RevisionAfter.clear(); break;  // not known: the flash may be half written
    default: entry.RevisionAfter = entry.Revision; break;                 // nothing was flashed
    }
    events.Finished(entry);
}

// What is done with each drive the system named. Without all, only the first qualifying one is
// chosen. A drive the run could not look at (not opened, not identified, beyond a full list)
// is a failed drive of a run of all; without all it is merely not chosen.
std::vector<FleetDrive> PlanDrives(const FlashStartUp& startUp, const IdentityBlock& block, bool all,
                                   std::vector<int>& listIndex) {
    const std::string newRevision = block.NewFwName().substr(0, 4);
    std::vector<FleetDrive> drives;
    const CDDrives& found = *startUp.Drives();
    listIndex.assign(found.Count(), -1);
    for (int k = 0; k < int(startUp.Entries().size()); ++k)
        listIndex[std::size_t(startUp.DriveIndexOf(k))] = k;
    const auto unidentified = [](FleetDrive& entry, const std::string& cause) {
        entry.ProblemKey = "unidentified";
        entry.Problem = "could not be identified (" + cause + ")";
    };
    for (int i = 0; i < found.Count(); ++i) {
        const CDDrive& drive = *found.Item(i);
        FleetDrive entry;
        entry.Device = drive.DevicePath();
        entry.Identity = drive.Identity();
        entry.Revision = drive.RevisionText();
        const std::string& revision = entry.Revision;
        if (listIndex[std::size_t(i)] < 0)
            entry.SkipReason = "does not qualify for this firmware";
        else if (!all && listIndex[std::size_t(i)] != 0)
            entry.SkipReason = "not chosen: without --all only the first qualifying drive is flashed";
        else if (!drive.IdentityProblem().empty())
            unidentified(entry, drive.IdentityProblem());
        else if (revision.find_first_not_of(' ') == std::string::npos)
            unidentified(entry, "its INQUIRY answer holds no firmware revision");
        else if (!startUp.Texts().AnyFirmware && revision.compare(newRevision) >= 0)
            entry.SkipReason = "already at FW:" + revision + ", not below FW:" + newRevision;
        drives.push_back(std::move(entry));
    }
    for (const UnlistedDrive& unlisted : found.Unlisted()) {
        FleetDrive entry;
        entry.Device = unlisted.DevicePath;
        if (!all) {
            entry.SkipReason = unlisted.Cause;
        } else {
            entry.ProblemKey = unlisted.Why == UnlistedDrive::Reason::NotOpened      ? "not_opened"
                               : unlisted.Why == UnlistedDrive::Reason::Unidentified ? "unidentified"
                                                                                     : "left_out";
            entry.Problem = unlisted.Cause;
        }
        drives.push_back(std::move(entry));
    }
    return drives;
}

// The one confirmation: every drive with its revision change, then those left alone and why;
// a line per drive whatever the drive supplied.
std::string Confirmation(const std::vector<FleetDrive>& drives, const std::string& newRevision, bool& downgrade) {
    std::string chosen, skipped;
    int count = 0;
    downgrade = false;
    for (const FleetDrive& drive : drives) {
        if (!drive.ProblemKey.empty()) {
            skipped += "  " + drive.Device + "  " + drive.Identity + "  not flashed: " + drive.Problem + "\n";
        } else if (drive.Chosen()) {
            ++count;
            const bool older = drive.Revision.compare(newRevision) > 0;
            downgrade = downgrade || older;
            chosen += PrintableText("  " + drive.Device + "  " + drive.Identity + "  FW:" + drive.Revision) +
                      " -> FW:" + newRevision + (older ? " (older)" : "") + "\n";
        } else {
            skipped += PrintableText("  " + drive.Device + "  " + drive.Identity + "  skipped: " + drive.SkipReason) +
                       "\n";
        }
    }
    std::string text = "\nUpdate the firmware of " + std::to_string(count) + (count == 1 ? " drive" : " drives") +
                       ":\n" + chosen;
    if (!skipped.empty())
        text += "Left alone:\n" + skipped;
    return text + "Update FW of these drives to FW:" + newRevision + " ?\n";
}

bool Succeeded(const FleetDrive& drive) {
    return drive.Report &&
           (drive.Report->Outcome == FlashOutcome::Completed || drive.Report->Outcome == FlashOutcome::Rehearsed);
}

// 0 when every chosen drive completed and the run reached every drive; PartialSuccess when
// some completed and others did not (or could not be reached); otherwise the code a single
// drive's run would give for the worst of them.
int ExitCodeOf(const std::vector<FleetDrive>& drives) {
    int chosen = 0, succeeded = 0, busy = 0, unreached = 0;
    bool commitFailed = false;
    for (const FleetDrive& drive : drives) {
        unreached += drive.ProblemKey.empty() ? 0 : 1;
        if (!drive.Chosen())
            continue;
        ++chosen;
        succeeded += Succeeded(drive) ? 1 : 0;
        busy += drive.Refusal.empty() ? 0 : 1;
        commitFailed = commitFailed || (drive.Report && drive.Report->Outcome == FlashOutcome::CommitFailed);
    }
    if (succeeded == chosen && unreached == 0)
        return ExitCode::Success;
    if (succeeded > 0)
        return ExitCode::PartialSuccess;
    if (commitFailed)
        return ExitCode::FailedAtCommit;
    if (chosen > 0 && busy == chosen)
        return ExitCode::Busy;
    return ExitCode::FailedBeforeCommit;
}

// The code a single drive's run would give for a drive the run could not reach.
int ExitCodeOfProblem(const FleetDrive& drive) {
    if (drive.ProblemKey == "not_opened")
        return ExitCode::Busy;
    if (drive.ProblemKey == "left_out")
        return ExitCode::NoDrive;
    return ExitCode::FailedBeforeCommit;
}

// When no drive is chosen: the code a single run would give for the first drive the run could
// not reach, else for the first drive left alone.
int NothingChosen(const std::vector<FleetDrive>& drives) {
    for (const FleetDrive& drive : drives)
        if (!drive.ProblemKey.empty()) {
            Say(drive.Device + ": " + drive.Problem);
            return ExitCodeOfProblem(drive);
        }
    Say("every qualifying drive already has this firmware revision or a newer one");
    return ExitCode::Refused;
}

class FleetCommand {
public:
    FleetCommand(const Options& options, const IdentityBlock& block)
        : Options_(options), Block_(block), Human_(options.Json ? stderr : stdout),
          Terminal_(options.Yes, TerminalUserInterface::Streams{stdin, Human_, stderr, isatty(STDIN_FILENO) == 1,
                                                                 isatty(fileno(Human_)) == 1}),
          Json_(stdout), Display_(stdout, stderr, isatty(STDOUT_FILENO) == 1, options.Quiet),
          Events_(options.Json ? static_cast<FleetEvents&>(Json_) : Display_),
          Questions_(Terminal_, Events_, options.Yes, isatty(STDIN_FILENO) == 1),
          History_(HistoryPathOfProcess(), [](const std::string& text) { Say(text); }, &SystemLog_) {
        // --quiet keeps the questions and their answers off the screen, as for a single drive.
        Terminal_.SetQuiet(options.Quiet);
    }

    int Run() {
        const int code = RunDrives();
        Events_.Summary(Drives_, code);
        std::fflush(stdout);
        return Choice_ ? FinishReplay(*Choice_, code) : code;
    }

private:
    int Refusal() {
        if (!Terminal_.Refused())
            return ExitCode::Refused;
        Say("nobody to ask: standard input is not a terminal; run with --yes to answer Yes to every question");
        return ExitCode::Refused;
    }

    int RunDrives() {
        const std::string file = RunningExecutablePath();
        if (!CheckUtilitySeal(Block_, EmbeddedSealBytes(), file.empty() ? "this utility" : file, Questions_))
            return ExitCode::FailedBeforeCommit;

        PlatformChoiceError error;
        Choice_ = ChoosePlatform(Options_, Block_, error);
        if (!Choice_) {
            Say(error.Text);
            return error.Exit;
        }
        InterruptWatch interrupts;
        Terminal_.Interrupted = [] { return InterruptWatch::Requested(); };
        GuardedPlatform platform(Choice_->Get());

        FlashStartUp startUp(Block_, platform);
        startUp.FormIdentityTexts();
        if (!startUp.AskWarning(Questions_) || InterruptWatch::Requested())
            return Refusal();
        if (!Options_.Quiet) {
            std::fprintf(Human_, "%s\n", startUp.CaptionText().c_str());
            std::fflush(Human_);
        }

        const FlashStartUp::Detection detection = startUp.Detect(Questions_);
        if (startUp.Drives() && startUp.Drives()->LeftOut() > 0)
            Say(startUp.Drives()->LeftOutText());
        std::vector<int> listIndex;
        if (detection != FlashStartUp::Detection::Ready) {
            // The summary still names every drive and why none was flashed; nothing was
            // chosen, so each drive the run could not reach is one that failed.
            if (startUp.Drives())
                Drives_ = PlanDrives(startUp, Block_, true, listIndex);
            if (const GuardedPlatform::OpenFailure* failure = platform.BusyOrDenied()) {
                Say(failure->DevicePath + ": " + platform.ErrorText(failure->Error));
                return ExitCode::Busy;
            }
            Say(detection == FlashStartUp::Detection::NoDrive
                    ? "no optical drive found" + (Choice_->Searched.empty() ? "" : " (" + Choice_->Searched + ")")
                    : "no drive qualifies for this firmware");
            return ExitCode::NoDrive;
        }

        Drives_ = PlanDrives(startUp, Block_, Options_.All, listIndex);
        const std::string newRevision = Block_.NewFwName().substr(0, 4);
        Events_.Started(startUp.Texts(), newRevision, Drives_, Options_.NoCommit);
        for (const FleetDrive& drive : Drives_)
            if (!drive.ProblemKey.empty())
                Events_.Finished(drive);
        bool anyChosen = false;
        for (const FleetDrive& drive : Drives_)
            anyChosen = anyChosen || drive.Chosen();
        if (!anyChosen)
            return NothingChosen(Drives_);

        bool downgrade = false;
        const std::string question = Confirmation(Drives_, newRevision, downgrade);
        if (!Questions_.Ask(Question::UpdateConfirmation, question,
                            downgrade ? MessageKind::Warning : MessageKind::Confirmation, MessageAnswer::No) ||
            InterruptWatch::Requested()) {
            for (FleetDrive& drive : Drives_)
                if (drive.Chosen())
                    drive.Report.emplace().Outcome = FlashOutcome::Declined;
            return Refusal();
        }

        RunAll(platform, *startUp.Drives(), listIndex);

        if (InterruptWatch::Requested())
            Say("interrupted: drives that had not sent their commit were stopped, their flash unchanged");
        else
            AskRestart(platform);
        // The drives that did not complete, named on the error stream whatever the stream on output.
        std::string failed;
        for (const FleetDrive& drive : Drives_) {
            if (!drive.ProblemKey.empty()) {
                failed += (failed.empty() ? "" : "; ") + drive.Device + ": " + drive.Problem;
                continue;
            }
            if (!drive.Chosen() || Succeeded(drive))
                continue;
            failed += (failed.empty() ? "" : "; ") + drive.Device + ": " + OutcomeWords(drive);
            if (drive.Report)
                if (const std::string words = DriveFailureInWords(drive.Device, *drive.Report); !words.empty())
                    Say(words);
        }
        if (!failed.empty())
            Say("not every drive completed; " + failed);
        return ExitCodeOf(Drives_);
    }

    // Claims every chosen drive, runs them all, and gives the claims back once every run has ended.
    void RunAll(Platform& platform, const CDDrives& found, const std::vector<int>& listIndex) {
        RunControl control;
        control.StopRequested = [] { return InterruptWatch::Requested(); };
        control.HoldInterrupts = [](bool hold) { InterruptWatch::Hold(hold); };
        control.MakerProfiles = SealedProfiles(EmbeddedSealBytes());
        control.NoCommit = Options_.NoCommit;

        std::vector<std::unique_ptr<RunClaim>> claims(Drives_.size());
        for (std::size_t i = 0; i < Drives_.size(); ++i) {
            if (!Drives_[i].Chosen())
                continue;
            std::string why, notice;
            claims[i] = platform.ClaimForRun(found.Item(int(i))->Handle, why, &notice);
            if (!notice.empty())
                Say(notice);
            if (!claims[i]) {
                Drives_[i].Refusal = why;
                Drives_[i].RevisionAfter = Drives_[i].Revision;
                Say(why);
                Events_.Finished(Drives_[i]);
            }
        }
        std::vector<std::thread> runs;
        for (std::size_t i = 0; i < Drives_.size(); ++i) {
            if (!claims[i])
                continue;
            // A thread the system refuses must not end the program while other drives commit.
            try {
                runs.emplace_back(FlashOneDrive, std::ref(Drives_[i]), std::ref(*found.Item(int(i))), listIndex[i],
                                  std::cref(Block_), control, std::ref(Events_), std::ref(History_));
            } catch (const std::system_error& e) {
                FleetDrive& drive = Drives_[i];
                drive.Report.emplace().Outcome = FlashOutcome::FailedBeforeCommit;
                drive.Report->Status = "its run could not be started: " + std::string(e.what());
                drive.RevisionAfter = drive.Revision;
                Say(drive.Device + ": " + drive.Report->Status + "; nothing was sent to it");
                Events_.Finished(drive);
            }
        }
        for (std::thread& run : runs)
            run.join();
    }

    // Asked once, after every commit has answered, when at least one drive was flashed.
    void AskRestart(Platform& platform) {
        bool flashed = false;
        for (const FleetDrive& drive : Drives_)
            flashed = flashed || (drive.Report && drive.Report->Outcome == FlashOutcome::Completed);
        if (!flashed)
            return;
        if (!Questions_.Ask(Question::Restart, _(FlashTexts::RestartQuestion), MessageKind::Confirmation,
                            MessageAnswer::No))
            return;
        const bool requested = platform.RequestRestart();
        for (FleetDrive& drive : Drives_)
            if (drive.Report && drive.Report->Outcome == FlashOutcome::Completed)
                drive.Report->RestartRequested = requested;
        if (!requested)
            Questions_.Show(_(FlashTexts::RestartRefused), MessageKind::Plain);
    }

    const Options& Options_;
    const IdentityBlock& Block_;
    std::FILE* Human_;  // where the person's texts go: the error stream under --json
    TerminalUserInterface Terminal_;
    JsonEvents Json_;
    FleetDisplay Display_;
    FleetEvents& Events_;
    AnsweredQuestions Questions_;
    std::unique_ptr<PlatformChoice> Choice_;
    std::vector<FleetDrive> Drives_;
    // Every drive's run is recorded; a history that can't be written is told once.
    LibcSystemLog SystemLog_;
    HistoryLog History_;
};

}  // namespace

int RunAllDrives(const Options& options, const IdentityBlock& block) { return FleetCommand(options, block).Run(); }
