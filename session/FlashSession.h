// SPDX-License-Identifier: Apache-2.0
#pragma once
// A flash session: the whole flow of flashing drives with a built copy, for every front end.
// In order: the copy's checks (seal, signature, policy), the platform, the start-up (identity
// texts, warning, detection and qualification), a plan with one decision per drive, the
// claims, the runs with their history records, the restart question and the exit code.
//
// A front end (SessionFrontEnd) answers, presents and gives the platform; it never calls the
// start-up, a claim or a run itself. The terminal runs a whole session at once: on the first
// listed drive (FlashFirstDrive) or on the planned drives at once (FlashPlanned); the window
// opens it (Open) and flashes the drive of the entry the person chose (FlashEntry).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flash/ExitCodes.h"
#include "flash/FlashRun.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "image/CopyVerdict.h"
#include "image/IdentityBlock.h"
#include "image/UtilityFile.h"
#include "session/FlashPlan.h"
#include "session/GuardedPlatform.h"
#include "session/SessionDrive.h"
#include "session/SessionFrontEnd.h"

struct SessionSettings {
    SessionSettings() = default;
    SessionSettings(UtilityCopy utility, HistoryLog* history, bool noCommit)
        : Utility(std::move(utility)), History(history), NoCommit(noCommit) {}

    UtilityCopy Utility;            // the copy flashed: its areas, its file for the check's messages
                                    // ("" when unknown) and for each record, its SHA-256
    HistoryLog* History = nullptr;  // where each run is recorded; null: nowhere
    bool NoCommit = false;          // a rehearsal
    CopyVerdict Verdict;            // what CheckTrust found, for each record
};

class FlashSession {
public:
    FlashSession(SessionSettings settings, SessionFrontEnd& frontEnd);
    ~FlashSession();
    FlashSession(const FlashSession&) = delete;
    FlashSession& operator=(const FlashSession&) = delete;

    // How opening ended.
    enum class Opening {
        Ready,        // at least one drive qualifies: the list is made
        Damaged,      // the copy's checks refused it (said through the person's seam)
        NoPlatform,   // the front end could not give a platform (it said why)
        Declined,     // the warning was not accepted
        NoDrive,      // no drive was found (the error report was shown)
        NoneQualify,  // drives were found, none qualifies (the report listing them was shown)
    };
    // The copy's checks, the platform, the warning and the detection.
    Opening Open();

    // The terminal's whole session on the first drive of the list: its claim, the run's
    // checks, the revision question, the run and the restart question. The exit code.
    int FlashFirstDrive(RunObserver& observer);
    // The terminal's whole session on the planned drives at once (every qualifying drive with
    // all, else the first): one confirmation, every chosen drive claimed and run on a thread
    // of its own, one restart question once every commit has answered. The exit code.
    int FlashPlanned(FleetFrontEnd& fleet, bool all);

    // The window: the drive of list entry entry is claimed (refused: said as an error, and
    // nothing is returned), checked, confirmed and flashed, its run on the front end's job
    // thread; the restart is asked right after its commit.
    std::optional<FlashReport> FlashEntry(int entry, RunObserver& observer);

    // Every drive the system named, as the last plan saw it (after Open).
    const std::vector<SessionDrive>& Drives() const { return Drives_; }
    // The start-up (after Open reached the platform).
    const FlashStartUp& StartUp() const { return *StartUp_; }
    // The number, among the detected drives, of the drive behind list entry entry; -1 for none.
    int DriveIndexOf(int entry) const { return StartUp_ ? StartUp_->DriveIndexOf(entry) : -1; }

    // The seal, signature and policy verdict on a copy, before any drive is looked for; the
    // verdict goes to settings.Verdict (see CheckUtilityTrust).
    static bool CheckTrust(SessionSettings& settings, Answers& answers, std::string* refusal = nullptr);

private:
    std::string NewRevision() const { return Block_.NewFwName().substr(0, 4); }
    // The drives as the plan decides (all: every qualifying drive, else the first).
    std::vector<SessionDrive> Describe(bool all) const;
    // Open for a terminal's session: -1 when ready, else the exit code, with the words of why
    // nothing can be flashed on the error stream.
    int OpenForTerminal();
    int NothingToFlash(Opening opening);
    // A drive that could not be opened, busy or denied: the device, the cause, what to do.
    std::string BusyOrDeniedInWords(const GuardedPlatform::OpenFailure& failure) const;
    std::unique_ptr<RunClaim> Claim(int driveIndex, std::string& why);
    // One drive with the person's consent: checks, the question, the run, the restart.
    FlashReport FlashWithConsent(int driveIndex, int listIndex, RunObserver& observer);
    // The run of an approved drive, recorded in the history.
    FlashReport Run(int driveIndex, int listIndex, Answers& answers, RunObserver& events, RunControl control);
    RunControl Control() const;
    void EndOfFirstDrive(const FlashReport& report, const CDDrive& drive);
    // The drives of a fleet, run at once; the restart afterwards.
    void RunChosen(FleetFrontEnd& fleet);
    void AskRestartOnce();
    int NothingChosen();

    SessionSettings Settings_;
    SessionFrontEnd& FrontEnd_;
    const IdentityBlock Block_;
    std::optional<GuardedPlatform> Platform_;
    std::optional<FlashStartUp> StartUp_;
    std::vector<SessionDrive> Drives_;
    bool BusyOrDeniedSaid_ = false;        // the error stream already names a drive busy or denied
    int OpeningCode_ = ExitCode::Success;  // of an opening that ended Damaged, NoPlatform or Declined
};

// Whether a drive's command failed in the system rather than in the drive (a drive unplugged
// or reset, a timeout), in words naming the device and the cause; "" when it did not.
std::string TransportFailureInWords(const FlashReport& report, const std::string& device, const Platform& platform);
