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

#include "app/commands/UtilitySubject.h"
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
#include "flash/ExitCodes.h"
#include "app/commands/UsageError.h"
#include "flash/FlashRun.h"
#include "flash/FlashVerdict.h"
#include "flash/RunNames.h"
#include "flash/FlashTexts.h"
#include "ui/Translate.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "history/SystemLog.h"
#include "image/Builder.h"
#include "image/IdentityBlock.h"
#include "image/Seal.h"
#include "session/FlashSession.h"
#include "platform/PrintableText.h"

namespace {

// Lines name devices and drives by what they supplied: shown without control bytes.
void Say(const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", PrintableText(line).c_str()); }

// One drive's run, start to end, on its thread. Its claim is held by the caller.
void FlashOneDrive(FleetDrive& entry, FlashSession& session, int driveIndex, int listIndex, RunControl control,
                   FleetEvents& events) {
    InterruptWatch::BlockInThisThread();  // the waiting thread takes the signals
    DriveRunInterface ui(entry.Device, events);
    entry.Report = session.Run(driveIndex, listIndex, ui, ui, std::move(control));
    switch (entry.Report->Outcome) {
    case FlashOutcome::Completed: entry.RevisionAfter = session.Drive(driveIndex).RevisionText(); break;  // read again after the commit
    case FlashOutcome::CommitFailed: entry.RevisionAfter.clear(); break;  // not known: the flash may be half written
    default: entry.RevisionAfter = entry.Revision; break;                 // nothing was flashed
    }
    events.Finished(entry);
}

// What is done with each drive the system named, by the session's plan. Without all, only the
// first qualifying one is chosen. A drive the run could not look at (not opened, not
// identified, beyond a full list) is a failed drive of a run of all; without all it is merely
// not chosen.
std::vector<FleetDrive> PlanDrives(const FlashSession& session, bool all) {
    const std::vector<DrivePlan> plan = session.Plan(all);
    const CDDrives& found = session.Drives();
    std::vector<FleetDrive> drives;
    for (int i = 0; i < found.Count(); ++i) {
        const CDDrive& drive = *found.Item(i);
        FleetDrive entry;
        entry.Device = drive.DevicePath();
        entry.Identity = drive.Identity();
        entry.Revision = drive.RevisionText();
        entry.Plan = plan[std::size_t(i)];
        if (entry.Plan.Choice == DrivePlan::Decision::Refuse && entry.Plan.Refusal == FlashOutcome::Unidentified) {
            entry.ProblemKey = DriveOutcomeKey::Unidentified;
            entry.Problem = entry.Plan.Reason;
        } else {
            entry.SkipReason = entry.Plan.Reason;
        }
        drives.push_back(std::move(entry));
    }
    for (const UnlistedDrive& unlisted : found.Unlisted()) {
        FleetDrive entry;
        entry.Device = unlisted.DevicePath;
        if (!all) {
            entry.SkipReason = unlisted.Cause;
        } else {
            entry.ProblemKey = unlisted.Why == UnlistedDrive::Reason::NotOpened      ? DriveOutcomeKey::NotOpened
                               : unlisted.Why == UnlistedDrive::Reason::Unidentified ? DriveOutcomeKey::Unidentified
                                                                                     : DriveOutcomeKey::LeftOut;
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
            const bool older = IsDowngrade(drive.Revision, newRevision);
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

// The exit code of the drives chosen for flashing and of those the run could not reach, by
// the one rule of every run.
int ExitCodeOf(const std::vector<FleetDrive>& drives) {
    std::vector<DriveEnding> endings;
    for (const FleetDrive& drive : drives) {
        if (!drive.ProblemKey.empty())
            endings.push_back({FlashOutcome::Unidentified, false, true});
        else if (drive.Chosen())
            endings.push_back({drive.Report ? drive.Report->Outcome : FlashOutcome::FailedBeforeCommit,
                               !drive.Refusal.empty()});
    }
    return ExitCodeOf(endings);
}

// The code a single drive's run would give for a drive the run could not reach.
int ExitCodeOfProblem(const FleetDrive& drive) {
    if (drive.ProblemKey == DriveOutcomeKey::NotOpened)
        return ExitCode::Busy;
    if (drive.ProblemKey == DriveOutcomeKey::LeftOut)
        return ExitCode::NoDrive;
    return ExitCode::FailedBeforeCommit;
}

// When no drive is chosen: the code a single run would give for the first drive the run could
// not reach; else every qualifying drive already has the new revision or a newer one, which is
// nothing to do and has a code of its own, so that a rerun after an update is not taken for a
// declined question.
int NothingChosen(const std::vector<FleetDrive>& drives) {
    for (const FleetDrive& drive : drives)
        if (!drive.ProblemKey.empty()) {
            Say(drive.Device + ": " + drive.Problem);
            return ExitCodeOfProblem(drive);
        }
    Say("every qualifying drive already has this firmware revision or a newer one");
    return ExitCode::NothingToDo;
}

class FleetCommand {
public:
    FleetCommand(const Options& options, const UtilitySubject& subject)
        : Options_(options), Subject_(subject), Block_(subject.View()), Human_(options.Json ? stderr : stdout),
          Terminal_(options.Yes, TerminalUserInterface::Streams{stdin, Human_, stderr, isatty(STDIN_FILENO) == 1,
                                                                 isatty(fileno(Human_)) == 1}),
          Json_(stdout, options.JsonCompact), Display_(stdout, stderr, isatty(STDOUT_FILENO) == 1, options.Quiet),
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
        SessionSettings settings = SubjectSessionSettings(Subject_, &History_, Options_.NoCommit);
        if (!FlashSession::CheckTrust(settings, Questions_))
            return ExitCode::FailedBeforeCommit;
        Json_.NameUtility(Subject_.FullPath, Subject_.Sha256, settings.Verdict);

        PlatformChoiceError error;
        Choice_ = ChoosePlatform(Options_, Block_, error);
        if (!Choice_)
            return ReportUsageError(error.Text, Options_.Json && error.Exit == ExitCode::Usage, error.Exit);
        InterruptWatch interrupts;
        Terminal_.Interrupted = [] { return InterruptWatch::Requested(); };
        GuardedPlatform platform(Choice_->Get());

        FlashSession session(Block_, platform, settings);
        const FlashStartUp& startUp = session.StartUp();
        if (!session.AskWarning(Questions_) || InterruptWatch::Requested())
            return Refusal();
        if (!Options_.Quiet) {
            std::fprintf(Human_, "%s\n", startUp.CaptionText().c_str());
            std::fflush(Human_);
        }

        const FlashStartUp::Detection detection = session.Detect(Questions_);
        if (const std::string leftOut = session.LeftOutText(); !leftOut.empty())
            Say(leftOut);
        if (detection != FlashStartUp::Detection::Ready) {
            // The summary still names every drive and why none was flashed; nothing was
            // chosen, so each drive the run could not reach is one that failed.
            if (startUp.Drives())
                Drives_ = PlanDrives(session, true);
            if (const GuardedPlatform::OpenFailure* failure = platform.BusyOrDenied()) {
                Say(failure->DevicePath + ": " + platform.ErrorText(failure->Error));
                return ExitCode::Busy;
            }
            Say(detection == FlashStartUp::Detection::NoDrive
                    ? "no optical drive found" + (Choice_->Searched.empty() ? "" : " (" + Choice_->Searched + ")")
                    : "no drive qualifies for this firmware");
            return ExitCode::NoDrive;
        }

        Drives_ = PlanDrives(session, Options_.All);
        const std::string newRevision = session.NewRevision();
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

        RunAll(session);

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
    void RunAll(FlashSession& session) {
        const std::vector<int> listIndex = session.ListIndexes();
        RunControl control;
        control.StopRequested = [] { return InterruptWatch::Requested(); };
        control.HoldInterrupts = [](bool hold) { InterruptWatch::Hold(hold); };
        control.Approved = true;  // by the one confirmation; the restart is asked after every run

        std::vector<std::unique_ptr<RunClaim>> claims(Drives_.size());
        for (std::size_t i = 0; i < Drives_.size(); ++i) {
            if (!Drives_[i].Chosen())
                continue;
            std::string why, notice;
            claims[i] = session.Claim(int(i), why, notice);
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
                runs.emplace_back(FlashOneDrive, std::ref(Drives_[i]), std::ref(session), int(i), listIndex[i], control,
                                  std::ref(Events_));
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
    const UtilitySubject& Subject_;
    const IdentityBlock Block_;
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

int RunAllDrives(const Options& options, const UtilitySubject& subject) {
    return FleetCommand(options, subject).Run();
}
