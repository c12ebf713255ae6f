// SPDX-License-Identifier: Apache-2.0
#pragma once
// One drive a flash session found, what its plan does with it, and once its run is over, how
// it went. Drives the system named but the list could not hold or look at are here too.

#include <optional>
#include <string>

#include "flash/FlashRun.h"
#include "session/FlashPlan.h"

struct SessionDrive {
    std::string Device;      // the device path
    std::string Identity;    // the identity line at detection
    std::string Revision;    // the revision reported at detection
    int ListIndex = -1;      // its entry in the list of qualifying drives; -1 when it has none
    DrivePlan Plan;          // what the session's plan does with it
    std::string SkipReason;  // why it is not flashed; "" for a drive that is
    // A drive the run could not look at or could not reach (not opened, not identified, left
    // out of a full list): its outcome key ("not_opened", "unidentified", "left_out") and cause.
    // Such a drive is not flashed and counts as one that failed.
    std::string ProblemKey;
    std::string Problem;

    std::optional<FlashReport> Report;  // none when its run never started
    std::string Refusal;                // why it could not be claimed for its run
    std::string RevisionAfter;          // what it reports after its run ("" when unknown)

    bool Chosen() const { return SkipReason.empty() && ProblemKey.empty(); }
    bool Succeeded() const {
        return Report && (Report->Outcome == FlashOutcome::Completed || Report->Outcome == FlashOutcome::Rehearsed);
    }
};

// A stable one-word name of how a drive ended: its run's OutcomeKey, or one of DriveOutcomeKey
// ("busy", "skipped", "not_run", "not_opened", "left_out", "unidentified").
std::string DriveOutcomeKeyOf(const SessionDrive& drive);
// The same for people: "completed", "failed at the commit", ...
std::string OutcomeWords(const SessionDrive& drive);
