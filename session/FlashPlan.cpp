// SPDX-License-Identifier: Apache-2.0
#include "session/FlashPlan.h"

#include "flash/FlashVerdict.h"

std::vector<DrivePlan> PlanFlash(const IdentityTexts& utility, const std::string& newRevision,
                                 std::span<const PlanCandidate> drives, bool all) {
    using D = DrivePlan::Decision;
    std::vector<DrivePlan> plan;
    for (const PlanCandidate& drive : drives) {
        if (drive.ListIndex < 0) {
            plan.push_back({D::Skip, "does not qualify for this firmware"});
            continue;
        }
        if (!all && drive.ListIndex != 0) {
            plan.push_back({D::Skip, "not chosen: without --all only the first qualifying drive is flashed"});
            continue;
        }
        const FlashVerdict verdict = JudgeForFlash(utility, newRevision, {drive.Revision, drive.IdentityProblem});
        switch (verdict.Result) {
        case FlashVerdict::Kind::Flash: plan.push_back({}); break;
        case FlashVerdict::Kind::Unidentified:
            plan.push_back({D::Refuse, "could not be identified (" + verdict.Cause + ")", FlashOutcome::Unidentified});
            break;
        case FlashVerdict::Kind::RevisionRefused:
            plan.push_back({D::Refuse, "already at FW:" + drive.Revision + ", not below FW:" + newRevision,
                            FlashOutcome::RevisionRefused});
            break;
        }
    }
    return plan;
}
