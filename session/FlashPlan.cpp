// SPDX-License-Identifier: Apache-2.0
#include "session/FlashPlan.h"

#include "flash/FlashVerdict.h"
#include "session/CatalogueChoice.h"

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

std::vector<DrivePlan> PlanFromFolder(const Catalogue& folder, std::span<const PlanCandidate> drives, bool all) {
    using D = DrivePlan::Decision;
    std::vector<DrivePlan> plan;
    for (const PlanCandidate& drive : drives) {
        const CatalogueChoice choice = ChooseUtility(folder, {drive.PeripheralType, drive.Product, drive.Revision});
        if (drive.ListIndex < 0 || choice.Result == CatalogueChoice::Kind::NoUtility) {
            plan.push_back({D::Skip, choice.Result == CatalogueChoice::Kind::NoUtility ? choice.Why
                                                                                       : "no utility in the folder fits it"});
            continue;
        }
        if (!all && drive.ListIndex != 0) {
            plan.push_back({D::Skip, "not chosen: without --all only the first qualifying drive is flashed"});
            continue;
        }
        // Identified first: without its revision no utility can be said to be newer.
        const FlashVerdict verdict = JudgeForFlash({}, "", {drive.Revision, drive.IdentityProblem});
        if (verdict.Result == FlashVerdict::Kind::Unidentified) {
            plan.push_back({D::Refuse, "could not be identified (" + verdict.Cause + ")", FlashOutcome::Unidentified});
            continue;
        }
        switch (choice.Result) {
        case CatalogueChoice::Kind::Fits: plan.push_back({D::Flash, {}, FlashOutcome::RevisionRefused, choice.Utility}); break;
        case CatalogueChoice::Kind::UpToDate: plan.push_back({D::Refuse, choice.Why}); break;
        case CatalogueChoice::Kind::Ambiguous: plan.push_back({D::Ambiguous, choice.Why}); break;
        case CatalogueChoice::Kind::NoUtility: break;
        }
    }
    return plan;
}
