// SPDX-License-Identifier: Apache-2.0
#pragma once
// How a flash session ended, typed: how its opening ended, and for every drive it found how
// that drive's run ended (or why it had none). Here once: each ending's key (the snake_case
// name in the history, the JSON stream and the trace), its words for people, and the one rule
// that turns a whole session into the program's exit code, for the terminal and the window.

#include <optional>
#include <string>
#include <vector>

#include "flash/FlashRun.h"
#include "session/Catalogue.h"
#include "session/FlashPlan.h"

// How one drive of a session ended.
enum class DriveEnding {
    Completed,           // flashed and committed
    Rehearsed,           // a rehearsal's read-back matched; nothing was committed
    CommitFailed,        // the commit itself failed: the drive may have changed
    FailedBeforeCommit,  // a command or the comparison failed before the commit
    Interrupted,         // stopped on request before the commit
    DiscPresent,         // a disc was in the tray: nothing was sent
    Unidentified,        // it could not be identified (by its run, or by the session before any run)
    RevisionRefused,     // it already has the new revision or a newer one: nothing was sent
    Declined,            // the person did not answer Yes: nothing was sent
    Skipped,             // left alone by the plan
    Busy,                // it could not be claimed for its run
    NotRun,              // its run never started
    NotOpened,           // the system named it, it could not be opened
    LeftOut,             // beyond a full drive list
    Ambiguous,           // two utilities of a folder fit it with different images: nothing was sent
};

// How a run's report ends its drive.
DriveEnding EndingOf(FlashOutcome outcome);
// The ending's stable name: "completed", "failed_before_commit", "not_opened", ...
const char* EndingKey(DriveEnding ending);
// The ending a key names; none for a name that is not one.
std::optional<DriveEnding> EndingOfKey(const std::string& key);
// Whether the drive was flashed or rehearsed as asked.
bool Succeeded(DriveEnding ending);

// One drive a flash session found, what its plan does with it, and once its run is over, how
// it went. Drives the system named but the list could not hold or look at are here too.
struct SessionDrive {
    std::string Device;      // the device path
    // The drive's id (DriveIdOf) and serial number, where the system tells them: a drive is
    // followed by these across runs, whatever node it had.
    std::optional<std::string> DeviceId, Serial;
    std::string Identity;    // the identity line at detection
    std::string Revision;    // the revision reported at detection
    int ListIndex = -1;      // its entry in the list of qualifying drives; -1 when it has none
    unsigned Timeout = 0;    // the seconds its commands are given
    DrivePlan Plan;          // what the session's plan does with it
    std::string SkipReason;  // why it is not flashed; "" for a drive that is
    // A drive the run could not look at or could not reach: NotOpened, Unidentified or LeftOut,
    // or one a folder's utilities leave Ambiguous, with its cause. Such a drive is not flashed and counts as one that failed.
    std::optional<DriveEnding> Unreached;
    std::string Problem;
    // With a folder of utilities: the one this drive gets (its run sends it, its record names
    // it); null for a session of one utility and for a drive no utility is chosen for.
    const CatalogueUtility* Utility = nullptr;

    std::optional<FlashReport> Report;  // none when its run never started
    std::string Refusal;                // why it could not be claimed for its run
    std::string RevisionAfter;          // what it reports after its run ("" when unknown)

    bool Chosen() const { return SkipReason.empty() && !Unreached; }
    bool Succeeded() const { return Report && ::Succeeded(EndingOf(Report->Outcome)); }
};

// How drive ended.
DriveEnding EndingOf(const SessionDrive& drive);
// The same for people: "completed", "FAILED at the commit", "skipped: why", ... (translated).
std::string EndingWords(const SessionDrive& drive);
// Why a drive's run did not end in a flashed (or rehearsed) drive, naming the device, for the
// error stream when nothing more precise went there: "" for a run that succeeded.
// driveRevision is the drive's revision before the run, newRevision the firmware's.
std::string EndingSentence(const std::string& device, const FlashReport& report, const std::string& driveRevision,
                           const std::string& newRevision);
// How a run recorded in the history ended, for its listing; "" where the record's own name says it.
std::string RecordedEndingWords(DriveEnding ending);

// How opening a session ended.
enum class Opening {
    Ready,        // at least one drive qualifies: the list is made
    Damaged,      // the copy's checks refused it (said through the person's seam)
    NoPlatform,   // the front end could not give a platform (it said why)
    Declined,     // the warning was not accepted
    NoDrive,      // no drive was found (the error report was shown)
    NoneQualify,  // drives were found, none qualifies (the report listing them was shown)
};

// A whole session: how it opened, and every drive it found with how each ended.
struct SessionResult {
    Opening Opened = Opening::Ready;
    int PlatformCode = 0;       // NoPlatform: the exit code the front end gave
    bool BusyOrDenied = false;  // a drive could not be opened because it is busy or access was denied
    bool Declined = false;      // a question was declined, or nobody could answer it: the session ended there
    bool Stopped = false;       // a stop was requested before the session ended
    bool Ran = false;           // the chosen drives were given their runs
    std::string NewRevision;    // the copy's new revision, for the words of its drives
    std::vector<SessionDrive> Drives;
};

// Who presents the session: the terminal ends with the session's code; the window, shown or
// not, ends with 0 unless its copy was refused as damaged or no platform could be had.
enum class Presenter { Terminal, Window };

// The exit code of a whole session. A terminal: the opening's code when it did not open (a
// busy or denied drive before no drive at all); else a declined question; else, when nothing
// was chosen, the first drive the session could not reach, or nothing to do; else over the
// drives run and those it could not reach: 0 when every one completed (or rehearsed),
// PartialSuccess when some did, then a failed commit, then every reached drive busy, then
// every one already up to date (nothing to do), then every one refused, else a failure
// before the commit.
int ExitCodeOf(const SessionResult& result, Presenter presenter = Presenter::Terminal);
