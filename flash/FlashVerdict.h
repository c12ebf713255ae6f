// SPDX-License-Identifier: Apache-2.0
#pragma once
// The one rule that decides whether a drive that qualifies for this copy may be flashed:
// it must be identified (its INQUIRY answered, with a firmware revision), and unless the
// copy takes any firmware, its revision must be below the new one. A run checks it again
// at FLASH; a run of several drives plans by it, so the two never disagree.

#include <string>

#include "flash/Qualification.h"

// What a drive reported, as the rule needs it.
struct DriveFacts {
    std::string Revision;         // the 4 revision characters of its INQUIRY answer
    std::string IdentityProblem;  // why it could not be identified; "" when it was
};

struct FlashVerdict {
    enum class Kind { Flash, Unidentified, RevisionRefused } Result = Kind::Flash;
    std::string Cause;  // for Unidentified: why, in words
};

// newRevision: the first 4 characters of the copy's new firmware name.
FlashVerdict JudgeForFlash(const IdentityTexts& utility, const std::string& newRevision, const DriveFacts& drive);

// Whether the drive's revision is above the new one (the change is a downgrade). Bytes compare
// as unsigned values, then lengths.
bool IsDowngrade(const std::string& driveRevision, const std::string& newRevision);
