// SPDX-License-Identifier: Apache-2.0
#include "flash/FlashVerdict.h"

// Without the drive's identity the revision check would compare against nothing and let any
// image through, a downgrade included: such a drive is refused before anything is sent.
FlashVerdict JudgeForFlash(const IdentityTexts& utility, const std::string& newRevision, const DriveFacts& drive) {
    if (!drive.IdentityProblem.empty())
        return {FlashVerdict::Kind::Unidentified, drive.IdentityProblem};
    if (drive.Revision.find_first_not_of(' ') == std::string::npos)
        return {FlashVerdict::Kind::Unidentified, "its INQUIRY answer holds no firmware revision"};
    if (!utility.AnyFirmware && CompareBytes(drive.Revision, newRevision) >= 0)
        return {FlashVerdict::Kind::RevisionRefused, {}};
    return {};
}

bool IsDowngrade(const std::string& driveRevision, const std::string& newRevision) {
    return CompareBytes(driveRevision, newRevision) > 0;
}
