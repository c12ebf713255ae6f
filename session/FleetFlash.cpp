// SPDX-License-Identifier: Apache-2.0
// A session of several drives at once: every chosen drive run by a run of its own on a thread
// of its own, with its own claim. The questions are asked once for all of them: the start-up
// warning, one confirmation of the plan, and after every commit has answered, one restart
// question.
//
// Safety: the runs share nothing but the platform's command path (which takes commands of
// several drives at once) and the front end (whose presenters lock). A failing drive ends
// only its own run. A stop request stops every run that has not sent its commit; a commit
// under way is never broken off, and its answer is reported.

#include <system_error>
#include <thread>

#include "flash/FlashTexts.h"
#include "session/FlashSession.h"
#include "ui/Translate.h"

SessionResult FlashSession::FlashPlanned(FleetFrontEnd& fleet, bool all) {
    Drives_ = Describe(all);
    const std::string newRevision = NewRevision();
    fleet.Planned(*StartUp_, Drives_, newRevision);
    for (const SessionDrive& drive : Drives_)
        if (drive.Unreached)
            fleet.Finished(drive);
    bool anyChosen = false;
    for (const SessionDrive& drive : Drives_)
        anyChosen = anyChosen || drive.Chosen();
    if (!anyChosen)
        return Result();

    // An interrupt while the drives were listed or the plan was asked about stops every drive
    // before anything is sent to it: interrupted, as a run stopped before its commit, not declined.
    const bool confirmed = !fleet.Stops().Requested() && fleet.ConfirmPlan(Drives_, newRevision);
    if (fleet.Stops().Requested()) {
        for (SessionDrive& drive : Drives_)
            if (drive.Chosen()) {
                drive.Report.emplace().Outcome = FlashOutcome::Interrupted;
                drive.RevisionAfter = drive.Revision;
            }
        Stopped_ = true;
        return Result();
    }
    if (!confirmed) {
        for (SessionDrive& drive : Drives_)
            if (drive.Chosen())
                drive.Report.emplace().Outcome = FlashOutcome::Declined;
        Declined_ = true;
        fleet.Declined();
        return Result();
    }

    RunChosen(fleet);
    Ran_ = true;
    Stopped_ = fleet.Stops().Requested();
    if (!Stopped_)
        AskRestartOnce();
    return Result();
}

// Claims every chosen drive, runs them all, and gives the claims back once every run has ended.
void FlashSession::RunChosen(FleetFrontEnd& fleet) {
    const RunControl control = Control();  // approved by the one confirmation; the restart is asked after every run
    std::vector<std::unique_ptr<RunClaim>> claims(Drives_.size());
    for (std::size_t i = 0; i < Drives_.size(); ++i) {
        if (!Drives_[i].Chosen())
            continue;
        std::string why;
        claims[i] = Claim(int(i), why);
        if (!claims[i]) {
            Drives_[i].Refusal = why;
            Drives_[i].RevisionAfter = Drives_[i].Revision;
            fleet.Note(why);
            fleet.Finished(Drives_[i]);
        }
    }
    StopRequests& stops = fleet.Stops();
    auto runOne = [this, &fleet, &stops, control](std::size_t i) {
        stops.KeepAwayFromThisThread();  // the waiting thread takes the stop requests
        SessionDrive& entry = Drives_[i];
        const std::unique_ptr<DriveRunPresenter> presenter = fleet.PresentRun(entry);
        entry.Report = Run(int(i), entry.ListIndex, *presenter, *presenter, control);
        switch (entry.Report->Outcome) {
        case FlashOutcome::Completed:  // read again after the commit
            entry.RevisionAfter = StartUp_->Drives()->Item(int(i))->RevisionText();
            break;
        case FlashOutcome::CommitFailed: entry.RevisionAfter.clear(); break;  // not known: the flash may be half written
        default: entry.RevisionAfter = entry.Revision; break;                 // nothing was flashed
        }
        fleet.Finished(entry);
    };
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < Drives_.size(); ++i) {
        if (!claims[i])
            continue;
        // A thread the system refuses must not end the program while other drives commit.
        try {
            runs.emplace_back(runOne, i);
        } catch (const std::system_error& e) {
            SessionDrive& drive = Drives_[i];
            drive.Report.emplace().Outcome = FlashOutcome::FailedBeforeCommit;
            drive.Report->Status = "its run could not be started: " + std::string(e.what());
            drive.RevisionAfter = drive.Revision;
            fleet.Note(drive.Device + ": " + drive.Report->Status + "; nothing was sent to it");
            fleet.Finished(drive);
        }
    }
    for (std::thread& run : runs)
        run.join();
}

// Asked once, after every commit has answered, when at least one drive was flashed.
void FlashSession::AskRestartOnce() {
    bool flashed = false;
    for (const SessionDrive& drive : Drives_)
        flashed = flashed || (drive.Report && drive.Report->Outcome == FlashOutcome::Completed);
    if (!flashed)
        return;
    UserInterface& person = FrontEnd_.Person();
    if (!person.Ask(Question::Restart, FlashTexts::RestartQuestionFor(Platform_->VirtualDrives()), MessageKind::Confirmation,
                    MessageAnswer::No))
        return;
    const bool requested = Platform_->RequestRestart();
    for (SessionDrive& drive : Drives_)
        if (drive.Report && drive.Report->Outcome == FlashOutcome::Completed)
            drive.Report->RestartRequested = requested;
    if (!requested)
        person.Show(_(FlashTexts::RestartRefused), MessageKind::Plain);
}
