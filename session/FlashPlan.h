// SPDX-License-Identifier: Apache-2.0
#pragma once
// The plan of a flash session: one decision for every drive the start-up found. A drive is
// flashed, skipped (it does not qualify, or another drive was chosen) or refused (it could not
// be identified, or it already has the new revision or a newer one), by the one rule a run
// checks again at FLASH (JudgeForFlash). Runs are given the approved plan.

#include <span>
#include <string>
#include <vector>

#include "flash/FlashRun.h"
#include "flash/Qualification.h"

// A drive as the start-up found it.
struct PlanCandidate {
    int ListIndex = -1;           // its entry in the list of qualifying drives; -1 when it does not qualify
    std::string Revision;         // the revision of its INQUIRY answer
    std::string IdentityProblem;  // why it could not be identified; "" when it was
};

struct DrivePlan {
    enum class Decision { Flash, Skip, Refuse } Choice = Decision::Flash;
    std::string Reason;                                  // for Skip and Refuse, in words
    FlashOutcome Refusal = FlashOutcome::RevisionRefused;  // for Refuse: Unidentified or RevisionRefused

    bool Flashed() const { return Choice == Decision::Flash; }
};

// all: every qualifying drive; otherwise only the first of the list. newRevision: the first 4
// characters of the copy's new firmware name.
std::vector<DrivePlan> PlanFlash(const IdentityTexts& utility, const std::string& newRevision,
                                 std::span<const PlanCandidate> drives, bool all);
