// SPDX-License-Identifier: Apache-2.0
// How a session ended, and the one exit code it gives: a single drive, a tower and the window
// alike; and every ending's name read back as the ending it names.

#include <gtest/gtest.h>

#include <vector>

#include "flash/ExitCodes.h"
#include "session/DriveEnding.h"

namespace {

SessionDrive Ran(FlashOutcome outcome) {
    SessionDrive drive;
    drive.Report.emplace().Outcome = outcome;
    return drive;
}

SessionDrive Unreached(DriveEnding why) {
    SessionDrive drive;
    drive.Unreached = why;
    drive.Problem = "cause";
    return drive;
}

TEST(ExitCode, OfEveryMixOfDrives) {
    using O = FlashOutcome;
    const SessionDrive done = Ran(O::Completed), rehearsed = Ran(O::Rehearsed), commitFailed = Ran(O::CommitFailed),
                       failed = Ran(O::FailedBeforeCommit), interrupted = Ran(O::Interrupted),
                       disc = Ran(O::DiscPresent), unidentified = Ran(O::Unidentified),
                       upToDate = Ran(O::RevisionRefused), declined = Ran(O::Declined),
                       unreached = Unreached(DriveEnding::Unidentified), notOpened = Unreached(DriveEnding::NotOpened),
                       leftOut = Unreached(DriveEnding::LeftOut);
    SessionDrive busy, skipped, notRun;
    busy.Refusal = "/dev/sg1: Device or resource busy";
    skipped.SkipReason = "does not qualify for this firmware";
    const struct {
        const char* Name;
        std::vector<SessionDrive> Drives;
        int Code;
    } cases[] = {
        {"one completed", {done}, ExitCode::Success},
        {"one rehearsed", {rehearsed}, ExitCode::Success},
        {"one failed before the commit", {failed}, ExitCode::FailedBeforeCommit},
        {"one interrupted", {interrupted}, ExitCode::FailedBeforeCommit},
        {"one with a disc", {disc}, ExitCode::FailedBeforeCommit},
        {"one unidentified by its run", {unidentified}, ExitCode::FailedBeforeCommit},
        {"one whose run never started", {notRun}, ExitCode::FailedBeforeCommit},
        {"one failed commit", {commitFailed}, ExitCode::FailedAtCommit},
        {"one already up to date", {upToDate}, ExitCode::NothingToDo},
        {"one declined", {declined}, ExitCode::Refused},
        {"one busy", {busy}, ExitCode::Busy},
        {"a tower completed, one skipped", {done, skipped, rehearsed}, ExitCode::Success},
        {"a tower, one failed", {done, failed, done}, ExitCode::PartialSuccess},
        {"a tower, one busy", {busy, done}, ExitCode::PartialSuccess},
        // A failed commit may have changed a drive: it outweighs every failure before one.
        {"a tower, every commit failed", {commitFailed, commitFailed}, ExitCode::FailedAtCommit},
        {"a tower, a commit failed, the rest before", {failed, commitFailed, busy}, ExitCode::FailedAtCommit},
        {"a tower all busy", {busy, busy}, ExitCode::Busy},
        {"a tower busy and failed", {busy, failed}, ExitCode::FailedBeforeCommit},
        {"a tower up to date and declined", {upToDate, declined}, ExitCode::Refused},
        {"a tower up to date and failed", {upToDate, failed}, ExitCode::FailedBeforeCommit},
        // A drive the run could not reach is one that did not complete.
        {"a tower, one not reached", {done, unreached}, ExitCode::PartialSuccess},
        {"a tower, the reached all busy", {busy, unreached}, ExitCode::Busy},
        {"a tower, one not reached, a commit failed", {unreached, commitFailed}, ExitCode::FailedAtCommit},
        // Nothing chosen: the first drive that could not be reached says why, else nothing to do.
        {"nothing chosen, one not opened", {skipped, notOpened, leftOut}, ExitCode::Busy},
        {"nothing chosen, one left out", {leftOut, notOpened}, ExitCode::NoDrive},
        {"nothing chosen, one unidentified", {unreached}, ExitCode::FailedBeforeCommit},
        {"nothing chosen, every drive up to date", {skipped, skipped}, ExitCode::NothingToDo},
    };
    for (const auto& c : cases) {
        SessionResult result;
        result.Drives = c.Drives;
        EXPECT_EQ(ExitCodeOf(result), c.Code) << c.Name;
        // The window ends 0 once it has opened, whatever its runs did.
        EXPECT_EQ(ExitCodeOf(result, Presenter::Window), ExitCode::Success) << c.Name;
        // A declined question ends the session with its own code.
        result.Declined = true;
        EXPECT_EQ(ExitCodeOf(result), ExitCode::Refused) << c.Name;
    }
}

// A session that did not open ends with the opening's code; the window only with a damaged copy's
// or with the code of the platform it could not have.
TEST(ExitCode, OfAnOpeningThatEnded) {
    const struct {
        Opening Opened;
        bool BusyOrDenied;
        int Terminal, Window;
    } cases[] = {
        {Opening::Damaged, false, ExitCode::FailedBeforeCommit, ExitCode::FailedBeforeCommit},
        {Opening::NoPlatform, false, ExitCode::Usage, ExitCode::Usage},  // the front end's code
        {Opening::Declined, false, ExitCode::Refused, ExitCode::Success},
        {Opening::NoDrive, false, ExitCode::NoDrive, ExitCode::Success},
        {Opening::NoneQualify, false, ExitCode::NoDrive, ExitCode::Success},
        {Opening::NoDrive, true, ExitCode::Busy, ExitCode::Success},  // busy is the likelier cause
        {Opening::NoneQualify, true, ExitCode::Busy, ExitCode::Success},
    };
    for (const auto& c : cases) {
        SessionResult result;
        result.Opened = c.Opened;
        result.BusyOrDenied = c.BusyOrDenied;
        result.PlatformCode = ExitCode::Usage;
        result.Drives = {Ran(FlashOutcome::Completed)};
        EXPECT_EQ(ExitCodeOf(result), c.Terminal) << int(c.Opened) << c.BusyOrDenied;
        EXPECT_EQ(ExitCodeOf(result, Presenter::Window), c.Window) << int(c.Opened) << c.BusyOrDenied;
    }
}

// Records and JSON lines name endings by key: every key reads back as its ending, and no two share one.
TEST(DriveEndingKey, ReadsBackAsItsEnding) {
    for (int i = 0; i <= int(DriveEnding::LeftOut); ++i) {
        const DriveEnding ending = DriveEnding(i);
        EXPECT_EQ(EndingOfKey(EndingKey(ending)), ending) << EndingKey(ending);
    }
    EXPECT_EQ(EndingOfKey("commit-failed"), std::nullopt);  // a record's hyphens are the reader's to undo
}

}  // namespace
