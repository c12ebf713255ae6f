// SPDX-License-Identifier: Apache-2.0
// How the drives of a run ended, and the one exit code they give: a single drive and a tower alike.

#include <gtest/gtest.h>

#include <vector>

#include "flash/ExitCodes.h"

namespace {

TEST(ExitCode, OfEveryMixOfOutcomes) {
    using O = FlashOutcome;
    const DriveEnding done{O::Completed}, rehearsed{O::Rehearsed}, commitFailed{O::CommitFailed},
        failed{O::FailedBeforeCommit}, interrupted{O::Interrupted}, disc{O::DiscPresent},
        unidentified{O::Unidentified}, refused{O::RevisionRefused}, declined{O::Declined},
        busy{O::FailedBeforeCommit, true}, unreached{O::Unidentified, false, true};
    const struct {
        const char* Name;
        std::vector<DriveEnding> Drives;
        int Code;
    } cases[] = {
        {"one completed", {done}, ExitCode::Success},
        {"one rehearsed", {rehearsed}, ExitCode::Success},
        {"one failed before the commit", {failed}, ExitCode::FailedBeforeCommit},
        {"one interrupted", {interrupted}, ExitCode::FailedBeforeCommit},
        {"one with a disc", {disc}, ExitCode::FailedBeforeCommit},
        {"one unidentified", {unidentified}, ExitCode::FailedBeforeCommit},
        {"one failed commit", {commitFailed}, ExitCode::FailedAtCommit},
        {"one already up to date", {refused}, ExitCode::Refused},
        {"one declined", {declined}, ExitCode::Refused},
        {"one busy", {busy}, ExitCode::Busy},
        {"a tower completed", {done, rehearsed, done}, ExitCode::Success},
        {"a tower, one failed", {done, failed, done}, ExitCode::PartialSuccess},
        {"a tower, one busy", {busy, done}, ExitCode::PartialSuccess},
        {"a tower, one commit failed", {done, commitFailed}, ExitCode::PartialSuccess},
        // A failed commit may have changed a drive: it outweighs every failure before one.
        {"a tower, every commit failed", {commitFailed, commitFailed, commitFailed}, ExitCode::FailedAtCommit},
        {"a tower, a commit failed, the rest before", {failed, commitFailed, busy}, ExitCode::FailedAtCommit},
        {"a tower all busy", {busy, busy}, ExitCode::Busy},
        {"a tower busy and failed", {busy, failed}, ExitCode::FailedBeforeCommit},
        {"a tower all failed before the commit", {failed, interrupted, disc}, ExitCode::FailedBeforeCommit},
        {"a tower declined", {declined, declined}, ExitCode::Refused},
        {"a tower refused and failed", {refused, failed}, ExitCode::FailedBeforeCommit},
        // A drive the run could not reach is one that did not complete.
        {"a tower, one not reached", {done, unreached}, ExitCode::PartialSuccess},
        {"a tower, none reached", {unreached, unreached}, ExitCode::FailedBeforeCommit},
        {"a tower, the reached all busy", {busy, unreached}, ExitCode::Busy},
        {"a tower, one not reached, a commit failed", {unreached, commitFailed}, ExitCode::FailedAtCommit},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitCodeOf(c.Drives), c.Code) << c.Name;
}

}  // namespace
