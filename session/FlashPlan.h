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
#include "session/Catalogue.h"

// A drive as the start-up found it.
struct PlanCandidate {
    int ListIndex = -1;           // its entry in the list of qualifying drives; -1 when it does not qualify
    std::string Revision;         // the revision of its INQUIRY answer
    std::string IdentityProblem;  // why it could not be identified; "" when it was
    uint8_t PeripheralType = OpticalPeripheralType;  // of its INQUIRY answer
    std::string Product;          // the 24 vendor and product characters of its INQUIRY answer
};

struct DrivePlan {
    // Ambiguous: two utilities of a folder fit it with different images; nothing is sent.
    enum class Decision { Flash, Skip, Refuse, Ambiguous } Choice = Decision::Flash;
    std::string Reason;                                  // for Skip and Refuse, in words
    FlashOutcome Refusal = FlashOutcome::RevisionRefused;  // for Refuse: Unidentified or RevisionRefused
    int Utility = -1;  // with a folder: the index of the utility a flashed drive gets

    bool Flashed() const { return Choice == Decision::Flash; }
};

// all: every qualifying drive; otherwise only the first of the list. newRevision: the first 4
// characters of the copy's new firmware name.
std::vector<DrivePlan> PlanFlash(const IdentityTexts& utility, const std::string& newRevision,
                                 std::span<const PlanCandidate> drives, bool all);

// The same with a folder of utilities: each drive gets the one ChooseUtility picks for it. A
// drive no utility qualifies is skipped (ListIndex -1), one already up to date too; all and the
// first drive as above.
std::vector<DrivePlan> PlanFromFolder(const Catalogue& folder, std::span<const PlanCandidate> drives, bool all);
