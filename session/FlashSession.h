// SPDX-License-Identifier: Apache-2.0
#pragma once
// A flash session: the whole flow of flashing drives with a built copy, for every front end.
// In order: the copy's checks (seal, signature, policy), the platform, the start-up (identity
// texts, warning, detection and qualification), a plan with one decision per drive, the
// claims, the runs with their history records and the restart question. It ends in a
// SessionResult (session/DriveEnding.h): how it opened and how every drive ended, from which
// the front end has its exit code and its words.
//
// A front end (SessionFrontEnd) answers, presents and gives the platform; it never calls the
// start-up, a claim or a run itself. It asks for one of three things (FlashRequest): the first
// listed drive with its own questions (the terminal's --cli), the planned drives at once (--all,
// --json), or the drive of the list entry the person chose (the window, which opens the
// session first to show the list, and may flash several entries in turn).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flash/FlashRun.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "trust/CopyVerdict.h"
#include "areas/IdentityBlock.h"
#include "areas/UtilityFile.h"
#include "session/FlashPlan.h"
#include "session/GuardedPlatform.h"
#include "session/DriveEnding.h"
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
    // A folder of utilities, judged when it was looked at: each drive gets the one that fits
    // it (PlanFromFolder) and Utility only stands for them before the plan (the platform's
    // defaults, the warning). Null: Utility is flashed.
    std::shared_ptr<const Catalogue> Folder;
};

// What a session is asked to flash, and who shows the runs.
struct FlashRequest {
    enum class Target {
        FirstDrive,  // the first drive of the list: its claim, its checks, the revision question, its run
        Planned,     // the planned drives at once (every qualifying drive with All, else the first)
        ListEntry,   // the drive of list entry Entry, as FirstDrive
    } Drives = Target::FirstDrive;
    int Entry = 0;
    bool All = false;
    RunObserver* Observer = nullptr;  // FirstDrive and ListEntry: the run's observer
    FleetFrontEnd* Fleet = nullptr;   // Planned: the front end of every drive's run

    static FlashRequest FirstDrive(RunObserver& observer) { return {Target::FirstDrive, 0, false, &observer, nullptr}; }
    static FlashRequest Planned(FleetFrontEnd& fleet, bool all) { return {Target::Planned, 0, all, nullptr, &fleet}; }
    static FlashRequest ListEntry(int entry, RunObserver& observer) {
        return {Target::ListEntry, entry, false, &observer, nullptr};
    }
};

class FlashSession {
public:
    FlashSession(SessionSettings settings, SessionFrontEnd& frontEnd);
    ~FlashSession();
    FlashSession(const FlashSession&) = delete;
    FlashSession& operator=(const FlashSession&) = delete;

    // The copy's checks, the platform, the warning and the detection; once per session (Run
    // opens a session that is not open yet).
    Opening Open();

    // The one way to flash: opens the session when it is not open yet, then flashes what the
    // request asks for. One confirmation for planned drives, every chosen drive claimed and run
    // on a thread of its own, and one restart question once every commit has answered; a single
    // drive asks its own questions, the restart right after its commit, its run on the front
    // end's job thread.
    SessionResult Run(const FlashRequest& request);
    // The result as it stands: how it opened, and the drives as the last plan saw them.
    SessionResult Result() const;
    // Every drive as a plan of all of them sees it, with nothing flashed: with a folder, the
    // utility each listed drive would get, or why it gets none (the window's entries). Only
    // once the session is open with drives; empty otherwise.
    std::vector<SessionDrive> Preview() const;

    // The start-up (after Open reached the platform).
    const FlashStartUp& StartUp() const { return *StartUp_; }
    // The number, among the detected drives, of the drive behind list entry entry; -1 for none.
    int DriveIndexOf(int entry) const { return StartUp_ ? StartUp_->DriveIndexOf(entry) : -1; }

    // The seal, signature and policy verdict on a copy, before any drive is looked for; the
    // verdict goes to settings.Verdict (see CheckUtilityTrust).
    static bool CheckTrust(SessionSettings& settings, Answers& answers, std::string* refusal = nullptr);

private:
    std::string NewRevision() const { return Block_.NewFwName().substr(0, 4); }
    Opening OpenOnce();
    // The drives as the plan decides (all: every qualifying drive, else the first).
    std::vector<SessionDrive> Describe(bool all) const;
    void NameDrive(SessionDrive& entry) const;
    // Nothing to flash: every drive described, a busy or denied drive named.
    SessionResult NothingToFlash();
    // A drive that could not be opened, busy or denied: the device, the cause, what to do.
    std::string BusyOrDeniedInWords(const GuardedPlatform::OpenFailure& failure) const;
    std::unique_ptr<RunClaim> Claim(int driveIndex, std::string& why);
    // One drive with the person's consent: the claim, the checks, the question, the run, the
    // restart. The drive of list entry entry; the terminal's also asks whether anybody answered.
    SessionResult FlashOne(int entry, RunObserver& observer, bool terminal);
    // One drive with the person's consent: checks, the question, the run, the restart.
    FlashReport FlashWithConsent(int driveIndex, int listIndex, RunObserver& observer);
    // The run of an approved drive, recorded in the history.
    FlashReport Run(int driveIndex, int listIndex, Answers& answers, RunObserver& events, RunControl control);
    RunControl Control() const;
    // With a folder, the utility the last plan gave drive driveIndex; null otherwise.
    const CatalogueUtility* OwnUtility(int driveIndex) const;
    // The drives of a fleet, confirmed once, run at once; the restart afterwards.
    SessionResult FlashPlanned(FleetFrontEnd& fleet, bool all);
    void RunChosen(FleetFrontEnd& fleet);
    void AskRestartOnce();

    SessionSettings Settings_;
    SessionFrontEnd& FrontEnd_;
    const IdentityBlock Block_;
    std::optional<GuardedPlatform> Platform_;
    std::optional<FlashStartUp> StartUp_;
    std::vector<SessionDrive> Drives_;
    std::optional<Opening> Opened_;  // how Open ended, once it has
    bool BusyOrDeniedSaid_ = false;  // the error stream already names a drive busy or denied
    int PlatformCode_ = 0;           // the front end's code when it could give no platform
    bool Declined_ = false;          // a question was declined or could not be answered
    bool Stopped_ = false;           // a stop was requested before the session ended
    bool Ran_ = false;               // the chosen drives were given their runs
};
