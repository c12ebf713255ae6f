// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's exit codes, and the one rule that turns how the drives of a run ended into
// one of them, for a single drive, a tower and the window alike.

#include <span>

#include "flash/FlashRun.h"

namespace ExitCode {
constexpr int Success = 0;
constexpr int Usage = 2;
constexpr int NoDrive = 3;             // no drive, or none qualifies
constexpr int Refused = 4;             // revision refused, or the person declined
constexpr int Busy = 5;                // drive busy or permission denied
constexpr int FailedBeforeCommit = 6;  // nothing changed in the drive
constexpr int FailedAtCommit = 7;      // at or after the commit
constexpr int ReplayDiverged = 8;      // a replayed run sent a command the recording does not hold
constexpr int PartialSuccess = 9;      // --all: some drives completed, others did not
constexpr int NothingToDo = 10;        // every qualifying drive already has this revision or a newer one
constexpr int Failure = 1;             // anything else (build failures, I/O errors)
}  // namespace ExitCode

// How one drive ended: its run's outcome, that it could not be claimed, or that the run could
// not reach it at all.
struct DriveEnding {
    FlashOutcome Outcome = FlashOutcome::FailedBeforeCommit;
    bool Unclaimed = false;  // busy or denied: its run never started
    bool Unreached = false;  // not opened, not identified or left out of a full list
};

// 0 when every drive completed (or rehearsed); PartialSuccess when some did; otherwise the
// worst of them: a failed commit, then every drive the run reached busy, then every drive
// refused (revision or declined), else a failure before the commit. No drive at all is a success.
int ExitCodeOf(std::span<const DriveEnding> drives);
int ExitCodeOf(FlashOutcome outcome);
