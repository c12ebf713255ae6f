// SPDX-License-Identifier: Apache-2.0
#include "session/DriveEnding.h"

#include <array>
#include <utility>

#include "flash/ExitCodes.h"
#include "ui/Translate.h"

namespace {

using E = DriveEnding;

constexpr std::array<std::pair<E, const char*>, 15> Keys{{
    {E::Completed, "completed"},
    {E::Rehearsed, "rehearsed"},
    {E::CommitFailed, "commit_failed"},
    {E::FailedBeforeCommit, "failed_before_commit"},
    {E::Interrupted, "interrupted"},
    {E::DiscPresent, "disc_present"},
    {E::Unidentified, "unidentified"},
    {E::RevisionRefused, "revision_refused"},
    {E::Declined, "declined"},
    {E::Skipped, "skipped"},
    {E::Busy, "busy"},
    {E::NotRun, "not_run"},
    {E::NotOpened, "not_opened"},
    {E::LeftOut, "left_out"},
    {E::Ambiguous, "ambiguous"},
}};

// The table is in the enum's order, so that an ending finds its key by its number.
constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < Keys.size(); ++i)
        if (Keys[i].first != E(i))
            return false;
    return Keys.size() == std::size_t(E::Ambiguous) + 1;
}
static_assert(InEnumOrder());

// The code a single drive's session gives for a drive the session could not reach.
int ExitCodeOfUnreached(DriveEnding ending) {
    switch (ending) {
    case E::NotOpened: return ExitCode::Busy;
    case E::LeftOut: return ExitCode::NoDrive;
    default: return ExitCode::FailedBeforeCommit;
    }
}

int ExitCodeOfOpening(const SessionResult& result, Presenter presenter) {
    if (result.Opened == Opening::Damaged)
        return ExitCode::FailedBeforeCommit;
    // No platform: the front end said why and gave the code (a usage error, a replay's).
    if (result.Opened == Opening::NoPlatform)
        return result.PlatformCode;
    // The window told the person why in a box and closes.
    if (presenter == Presenter::Window)
        return ExitCode::Success;
    switch (result.Opened) {
    case Opening::Declined: return result.Stopped ? ExitCode::FailedBeforeCommit : ExitCode::Refused;
    default: return result.BusyOrDenied ? ExitCode::Busy : ExitCode::NoDrive;
    }
}

}  // namespace

DriveEnding EndingOf(FlashOutcome outcome) {
    switch (outcome) {
    case FlashOutcome::Completed: return E::Completed;
    case FlashOutcome::Rehearsed: return E::Rehearsed;
    case FlashOutcome::CommitFailed: return E::CommitFailed;
    case FlashOutcome::FailedBeforeCommit: return E::FailedBeforeCommit;
    case FlashOutcome::Interrupted: return E::Interrupted;
    case FlashOutcome::DiscPresent: return E::DiscPresent;
    case FlashOutcome::Unidentified: return E::Unidentified;
    case FlashOutcome::RevisionRefused: return E::RevisionRefused;
    case FlashOutcome::Declined: return E::Declined;
    }
    return E::NotRun;
}

const char* EndingKey(DriveEnding ending) { return Keys.at(std::size_t(ending)).second; }

std::optional<DriveEnding> EndingOfKey(const std::string& key) {
    for (const auto& [ending, named] : Keys)
        if (key == named)
            return ending;
    return std::nullopt;
}

bool Succeeded(DriveEnding ending) { return ending == E::Completed || ending == E::Rehearsed; }

DriveEnding EndingOf(const SessionDrive& drive) {
    if (drive.Unreached)
        return *drive.Unreached;
    if (!drive.Refusal.empty())
        return E::Busy;
    if (drive.Report)
        return EndingOf(drive.Report->Outcome);
    return drive.Chosen() ? E::NotRun : E::Skipped;
}

std::string EndingWords(const SessionDrive& drive) {
    switch (EndingOf(drive)) {
    case E::NotOpened:
    case E::LeftOut:
    case E::Ambiguous: return drive.Problem;
    case E::Skipped: return _("skipped: ") + drive.SkipReason;
    case E::Busy: return _("not claimed: ") + drive.Refusal;
    case E::CommitFailed: return _("FAILED at the commit");
    case E::FailedBeforeCommit: return _("FAILED before the commit (flash unchanged)");
    case E::Interrupted: return _("interrupted before the commit (flash unchanged)");
    case E::DiscPresent: return _("not flashed: a disc is in the tray");
    case E::NotRun: return _("not run (interrupted)");
    case E::Completed: return _("completed");
    case E::Rehearsed: return _("rehearsed");
    case E::Unidentified: return drive.Unreached ? drive.Problem : _("unidentified");
    case E::RevisionRefused: return _("revision refused");
    case E::Declined: return _("declined");
    }
    return EndingKey(EndingOf(drive));
}

std::string EndingSentence(const std::string& device, const FlashReport& report, const std::string& driveRevision,
                           const std::string& newRevision) {
    const std::string at = report.Status.empty() ? std::string() : " (at: " + report.Status + ")";
    switch (report.Outcome) {
    case FlashOutcome::Completed:
    case FlashOutcome::Rehearsed: return {};
    case FlashOutcome::DiscPresent:
        return device + ": a disc is in the tray; remove it and run the update again (nothing was sent to the drive)";
    case FlashOutcome::RevisionRefused:
        return device + ": the drive already has revision " + driveRevision + ", and this firmware's " + newRevision +
               " is not newer; nothing was sent to the drive";
    case FlashOutcome::Declined: return device + ": the update was declined; nothing was sent to the drive";
    case FlashOutcome::Unidentified:
        if (report.DriveGone)
            return device + ": the drive is gone: its node no longer leads to a device (unplugged or switched off); "
                            "nothing was sent to it";
        return device +
               ": the drive is not one this firmware is for, or it could not be identified; nothing was sent to it";
    case FlashOutcome::Interrupted: return device + ": interrupted before the commit; the drive's flash is unchanged";
    case FlashOutcome::FailedBeforeCommit:
        return device + ": failed before the commit" + at + "; the drive's flash is unchanged";
    case FlashOutcome::CommitFailed:
        return device + ": the commit failed" + at + "; the drive may need the update again";
    }
    return {};
}

std::string RecordedEndingWords(DriveEnding ending) {
    switch (ending) {
    case E::Completed: return "completed";
    case E::Rehearsed: return "rehearsal: the image came back intact, the flash was not changed";
    case E::FailedBeforeCommit: return "failed before the commit: the flash was not changed";
    case E::Interrupted: return "interrupted before the commit: the flash was not changed";
    case E::CommitFailed: return "the commit failed: the drive may need the update again";
    case E::DiscPresent: return "stopped: a disc was in the drive";
    default: return {};
    }
}

int ExitCodeOf(const SessionResult& result, Presenter presenter) {
    if (result.Opened != Opening::Ready || presenter == Presenter::Window)
        return ExitCodeOfOpening(result, presenter);
    if (result.Declined)
        return ExitCode::Refused;
    std::size_t counted = 0, run = 0, succeeded = 0, busy = 0, upToDate = 0, refused = 0, unreached = 0;
    bool commitFailed = false;
    std::optional<DriveEnding> firstUnreached;
    for (const SessionDrive& drive : result.Drives) {
        const DriveEnding ending = EndingOf(drive);
        if (ending == E::Skipped)
            continue;
        ++counted;
        if (drive.Unreached) {
            ++unreached;
            firstUnreached = firstUnreached ? firstUnreached : ending;
            continue;
        }
        ++run;
        succeeded += Succeeded(ending) ? 1 : 0;
        busy += ending == E::Busy ? 1 : 0;
        upToDate += ending == E::RevisionRefused ? 1 : 0;
        refused += ending == E::RevisionRefused || ending == E::Declined ? 1 : 0;
        commitFailed = commitFailed || ending == E::CommitFailed;
    }
    // Nothing chosen: every qualifying drive already has the new revision or a newer one, which
    // has a code of its own, so that a rerun after an update is not taken for a declined question.
    if (run == 0)
        return firstUnreached ? ExitCodeOfUnreached(*firstUnreached) : ExitCode::NothingToDo;
    if (succeeded == counted)
        return ExitCode::Success;
    if (succeeded > 0)
        return ExitCode::PartialSuccess;
    if (commitFailed)
        return ExitCode::FailedAtCommit;
    if (busy > 0 && busy == run)
        return ExitCode::Busy;
    if (upToDate == counted)
        return ExitCode::NothingToDo;
    if (refused == counted)
        return ExitCode::Refused;
    return ExitCode::FailedBeforeCommit;
}
