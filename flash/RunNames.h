// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every name a run's steps and outcomes are given in the history, the JSON stream and the
// trace, defined here once, in snake_case. (The plain --history and the system log print the
// same names with hyphens, as they always have.)

#include "flash/FlashRun.h"
#include "ui/RunObserver.h"

// How a run ended ("completed", "failed_before_commit", ...).
const char* OutcomeKey(FlashOutcome outcome);
// The step a run ended in ("image_upload", "read_back", ...).
const char* StepKey(FlashStep step);
// How a drive of a session of several ended without a run's report.
namespace DriveOutcomeKey {
constexpr const char* Skipped = "skipped";  // left alone by the plan
constexpr const char* Busy = "busy";        // could not be claimed for its run
constexpr const char* NotRun = "not_run";   // its run never started
constexpr const char* NotOpened = "not_opened";      // the system named it, it could not be opened
constexpr const char* Unidentified = "unidentified";  // it could not be identified
constexpr const char* LeftOut = "left_out";           // beyond a full drive list
}  // namespace DriveOutcomeKey
// The phase a status belongs to ("image_upload", "verify", ...; "" before the first phase).
// A phase is what the person is shown: the verify phase covers the profile check and the
// read-back steps.
const char* PhaseKey(const RunStatus& status);
