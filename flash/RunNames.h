// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every name a run's steps and outcomes are given in the history, the JSON stream and the
// trace, defined here once. The history names in kebab-case, the JSON stream in snake_case;
// both vocabularies are kept as each output has always printed them.

#include "flash/FlashRun.h"
#include "ui/RunObserver.h"

// The history's names ("completed", "failed-before-commit", ...; "image-upload", ...).
const char* OutcomeName(FlashOutcome outcome);
const char* StepName(FlashStep step);

// The JSON stream's names of how a run ended ("completed", "failed_before_commit", ...).
const char* OutcomeKey(FlashOutcome outcome);
// The JSON stream's names of how a drive of a run of several ended without a run's report.
namespace DriveOutcomeKey {
constexpr const char* Skipped = "skipped";  // left alone by the plan
constexpr const char* Busy = "busy";        // could not be claimed for its run
constexpr const char* NotRun = "not_run";   // its run never started
constexpr const char* NotOpened = "not_opened";      // the system named it, it could not be opened
constexpr const char* Unidentified = "unidentified";  // it could not be identified
constexpr const char* LeftOut = "left_out";           // beyond a full drive list
}  // namespace DriveOutcomeKey
// The JSON stream's name of the phase a status belongs to ("image_upload", "verify", ...; ""
// before the first phase).
const char* PhaseKey(const RunStatus& status);
