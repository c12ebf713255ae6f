// SPDX-License-Identifier: Apache-2.0
// The plan: which drives a session flashes, skips or refuses, by the drives' identities and
// revisions. The copy is for revisions 1.00 to 1.10 and brings R120 unless a case says otherwise.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/FlashPlan.h"

namespace {

using D = DrivePlan::Decision;

IdentityTexts Utility(bool anyFirmware = false) {
    IdentityTexts texts;
    texts.InquiryText = "ACME    CD-RW RW5200    ";
    texts.RangeLow = "1.00";
    texts.RangeHigh = "1.10";
    texts.AnyFirmware = anyFirmware;
    return texts;
}

struct PlanCase {
    const char* Name;
    std::vector<PlanCandidate> Drives;
    bool All;
    std::string NewRevision;
    bool AnyFirmware;
    std::vector<D> Decisions;
    std::vector<FlashOutcome> Refusals;  // for each Refuse, in order
};

TEST(FlashPlan, DecidesEveryDriveByItsIdentityAndRevision) {
    const FlashOutcome U = FlashOutcome::Unidentified, R = FlashOutcome::RevisionRefused;
    const PlanCase cases[] = {
        {"one drive below the new revision", {{0, "1.00", ""}}, false, "R120", false, {D::Flash}, {}},
        {"not in the list", {{-1, "1.00", ""}, {0, "1.00", ""}}, true, "R120", false, {D::Skip, D::Flash}, {}},
        {"without all only the first of the list",
         {{0, "1.00", ""}, {1, "1.00", ""}, {2, "1.05", ""}}, false, "R120", false, {D::Flash, D::Skip, D::Skip}, {}},
        {"all", {{0, "1.00", ""}, {1, "1.05", ""}, {2, "1.10", ""}}, true, "R120", false,
         {D::Flash, D::Flash, D::Flash}, {}},
        // The new revision is the bound: a drive just below it is flashed, one at it or above is not.
        {"just below the new revision", {{0, "1.09", ""}}, false, "1.10", false, {D::Flash}, {}},
        {"at the new revision", {{0, "1.10", ""}}, false, "1.10", false, {D::Refuse}, {R}},
        {"above the new revision", {{0, "1.10", ""}}, false, "1.05", false, {D::Refuse}, {R}},
        {"a longer text sorts after its prefix", {{0, "1.10", ""}}, false, "1.1", false, {D::Refuse}, {R}},
        {"bytes above 0x7F compare unsigned", {{0, "\xC1.00", ""}}, false, "R120", false, {D::Refuse}, {R}},
        {"any firmware takes a downgrade", {{0, "1.10", ""}}, false, "1.05", true, {D::Flash}, {}},
        {"any firmware takes the same revision", {{0, "1.10", ""}}, false, "1.10", true, {D::Flash}, {}},
        {"unidentified", {{0, "1.00", "its INQUIRY failed"}}, false, "R120", false, {D::Refuse}, {U}},
        {"unidentified, any firmware", {{0, "1.00", "no answer"}}, false, "R120", true, {D::Refuse}, {U}},
        {"blank revision", {{0, "    ", ""}}, false, "R120", false, {D::Refuse}, {U}},
        {"blank revision, any firmware", {{0, "", ""}}, false, "R120", true, {D::Refuse}, {U}},
        {"a mixed tower", {{0, "1.00", ""}, {-1, "2.00", ""}, {1, "R120", ""}, {2, "1.00", "gone"}, {3, "1.01", ""}},
         true, "R120", false, {D::Flash, D::Skip, D::Refuse, D::Refuse, D::Flash}, {R, U}},
        {"the first refused, without all nothing else", {{0, "R130", ""}, {1, "1.00", ""}}, false, "R120", false,
         {D::Refuse, D::Skip}, {R}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<DrivePlan> plan = PlanFlash(Utility(c.AnyFirmware), c.NewRevision, c.Drives, c.All);
        ASSERT_EQ(plan.size(), c.Drives.size());
        std::vector<FlashOutcome> refusals;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            EXPECT_EQ(plan[i].Choice, c.Decisions[i]) << "drive " << i;
            EXPECT_EQ(plan[i].Reason.empty(), plan[i].Flashed()) << "drive " << i;
            if (plan[i].Choice == D::Refuse)
                refusals.push_back(plan[i].Refusal);
        }
        EXPECT_EQ(refusals, c.Refusals);
    }
}

TEST(FlashPlan, SaysWhyADriveIsLeftAlone) {
    const std::vector<PlanCandidate> drives = {{-1, "1.00", ""}, {0, "R130", ""}, {1, "1.00", "its INQUIRY failed"}};
    const std::vector<DrivePlan> plan = PlanFlash(Utility(), "R120", drives, true);
    EXPECT_EQ(plan[0].Reason, "does not qualify for this firmware");
    EXPECT_EQ(plan[1].Reason, "already at FW:R130, not below FW:R120");
    EXPECT_EQ(plan[2].Reason, "could not be identified (its INQUIRY failed)");
}

}  // namespace
