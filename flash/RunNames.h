// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every name a run's steps and phases are given in the history, the JSON stream and the
// trace, defined here once, in snake_case. (The plain --history and the system log print the
// same names with hyphens, as they always have.) How a drive ended is named by EndingKey
// (session/DriveEnding.h).

#include "flash/FlashRun.h"
#include "ui/RunObserver.h"

// The step a run ended in ("image_upload", "read_back", ...).
const char* StepKey(FlashStep step);
// The phase a status belongs to ("image_upload", "verify", ...; "" before the first phase).
// A phase is what the person is shown: the verify phase covers the profile check and the
// read-back steps.
const char* PhaseKey(const RunStatus& status);
