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

// Without --all, the drive flashed is the first listed one a utility of the folder updates:
// a drive already up to date ahead of it in the list does not leave it unflashed. When no
// listed drive gets a utility, the first listed one stands, so the plan says why it is not.
static int FirstDriveOfFolder(const std::vector<CatalogueChoice>& choices, std::span<const PlanCandidate> drives) {
    for (std::size_t i = 0; i < drives.size(); ++i)
        if (drives[i].ListIndex >= 0 && drives[i].IdentityProblem.empty() &&
            choices[i].Result == CatalogueChoice::Kind::Fits)
            return drives[i].ListIndex;
    return 0;
}

std::vector<DrivePlan> PlanFromFolder(const Catalogue& folder, std::span<const PlanCandidate> drives, bool all) {
    using D = DrivePlan::Decision;
    std::vector<CatalogueChoice> choices;
    for (const PlanCandidate& drive : drives)
        choices.push_back(ChooseUtility(folder, {drive.PeripheralType, drive.Product, drive.Revision}));
    const int first = all ? -1 : FirstDriveOfFolder(choices, drives);
    std::vector<DrivePlan> plan;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const PlanCandidate& drive = drives[i];
        const CatalogueChoice& choice = choices[i];
        if (drive.ListIndex < 0 || choice.Result == CatalogueChoice::Kind::NoUtility) {
            plan.push_back({D::Skip, choice.Result == CatalogueChoice::Kind::NoUtility ? choice.Why
                                                                                       : "no utility in the folder fits it"});
            continue;
        }
        if (!all && drive.ListIndex != first) {
            // An up-to-date drive says so, rather than that another was preferred to it.
            plan.push_back({D::Skip, choice.Result == CatalogueChoice::Kind::UpToDate
                                         ? choice.Why
                                         : "not chosen: without --all only the first qualifying drive is flashed"});
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
