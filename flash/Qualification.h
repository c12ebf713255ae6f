// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which drives may receive the image this copy carries. The identity block names the
// product a drive must report in its INQUIRY answer and the range of firmware
// revisions it may have; "--" in the inquiry field and "-" at both ends of the range
// are wildcards.
//
// The same rule serves the flash-mode start-up (window and terminal) and the drive
// listing, so they never disagree about a drive.

#include <string>

#include "areas/IdentityBlock.h"
#include "areas/RevisionRange.h"

// The texts formed from the identity block for the flash-mode start-up.
struct IdentityTexts {
    std::string VendorText;   // "%s" of Vendor, as stored
    std::string ModelText;    // "%s" of Model
    std::string InquiryText;  // "%-24.24s" of Inquiry: blank-padded / cut to exactly 24
    std::string RangeText;    // "%9.9s" of FwRange: right-aligned in 9, cut after 9
    std::string RangeLow;     // "%4.4s" of FwRange
    std::string RangeHigh;    // "%4.4s" of FwRange from its sixth byte on

    // Raw placeholder tests on the stored bytes.
    bool AnyProduct = false;   // Inquiry bytes 0 and 1 are both '-'
    bool AnyFirmware = false;  // FwRange bytes 0 and 5 are both '-'
    bool Blank = false;        // a blank copy: it builds and flashes no drive

    static IdentityTexts From(const IdentityBlock& block);
};

// Byte-wise order of two texts: bytes compare as unsigned values, the first difference
// decides, and a text that is a prefix of the other sorts first. <0, 0 or >0.
int CompareBytes(const std::string& a, const std::string& b);

// The peripheral device type of an optical drive (INQUIRY byte 0).
constexpr uint8_t OpticalPeripheralType = 5;

// The one rule for a drive as it answered an INQUIRY, at start-up, in --list and again right
// before a run sends anything. A blank copy qualifies none; otherwise an optical drive
// (peripheral type 5) reporting productText (24 characters) and revisionText (4 characters):
// any product with the "--" wildcard, else the exact 24-character product, then any firmware
// with the range wildcard, else RangeLow <= revision <= RangeHigh.
struct QualificationVerdict {
    bool Qualifies = false;
    bool OnlyTheRange = false;  // it fails on its firmware revision alone
    std::string Why;            // in words; "" when it qualifies
};
QualificationVerdict JudgeDrive(const IdentityTexts& texts, uint8_t peripheralType, const std::string& productText,
                                const std::string& revisionText);
QualificationVerdict JudgeDrive(const IdentityBlock& block, uint8_t peripheralType, const std::string& productText,
                                const std::string& revisionText);
