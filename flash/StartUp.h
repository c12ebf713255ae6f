// SPDX-License-Identifier: Apache-2.0
#pragma once
// The flash-mode start-up of a built copy, shared by the window and the terminal front
// end: the identity texts, the warning, the detection of the drives, the qualification
// of each against the identity block and the list of qualifying drives.
//
// The steps are separate calls so that the session (session/FlashSession.h), which every
// front end goes through, can interleave its own in the right places: the identity texts,
// the warning, Detect (detection, qualification, the error report), then SelectEntry for the
// drive of a list entry. Before all of it the session checks the utility's seal with
// CheckUtilityTrust.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flash/Qualification.h"
#include "flash/ShownDriveReports.h"
#include "trust/CopyVerdict.h"
#include "areas/IdentityBlock.h"
#include "trust/TrustDecision.h"
#include "platform/Platform.h"
#include "scsi/CDDrives.h"
#include "ui/UserInterface.h"

// The seal and signature check of a built copy, before any drive command (see CopyVerdict.h),
// and what the policy makes of it (DecideTrust).
// A damaged copy (its image, its identity fields or its profiles differ from what was
// recorded when it was built, its seal or signature area is malformed, blank or missing, its
// signature does not match, or the areas the program runs with are not the ones found in its
// file), and a copy the administrator's policy refuses, are reported (error kind, naming
// file) and false is returned: the front end ends with the exit code of a failure before the
// commit. A copy without a seal is told once that it carries no checksum, a copy signed by a
// key not trusted here is warned of, one signed by a trusted key names its signer, and true
// is returned. verdict, when given, receives the verdict; refusal, when given, receives the
// refusal in one line for the error stream, naming file and the cause ("" when none).
bool CheckUtilityTrust(const CopyAreas& copy, const std::string& file, const TrustedKeys& trusted,
                       const SignaturePolicy& policy, Answers& answers, CopyVerdict* verdict = nullptr,
                       std::string* refusal = nullptr);

class FlashStartUp {
public:
    enum class Detection {
        Ready,        // at least one drive qualifies
        NoDrive,      // no drive was detected; the error report was shown
        NoneQualify,  // drives were detected, none qualifies; the report listing them was shown
    };

    FlashStartUp(const IdentityBlock& block, Platform& platform);

    // Forms the identity texts from the block.
    void FormIdentityTexts();
    const IdentityTexts& Texts() const { return Texts_; }

    std::string PromptText() const;
    // The window caption once the warning is accepted.
    std::string CaptionText() const;
    // The warning, in its any-firmware or firmware-range variant.
    std::string WarningText() const;

    // Shows the warning (warning kind, Yes/No, title "Warning", default Yes).
    // True only when the answer is Yes.
    bool AskWarning(Answers& answers);

    // Finds the drives (their open failures shown through ui), qualifies each, fills
    // Entries(), and on NoDrive or NoneQualify shows the error report (error kind, OK,
    // title "Error"). beforeReport, when given, is called right before that report, so that
    // a cause the caller knows (a drive busy or denied) is said first.
    Detection Detect(UserInterface& ui, const std::function<void()>& beforeReport = {});

    // Whether the current drive of Drives qualifies for the image.
    bool CheckCondition() const;
    // Drives qualify by rule instead of the block (a folder of utilities: when one of them
    // qualifies the drive); before Detect.
    // words, where not empty, take the place of the block's.
    struct Words {
        std::string Warning, ReportHead, Caption;
    };
    void QualifyBy(std::function<bool(const CDDrive&)> rule, Words words = {}) {
        Rule_ = std::move(rule);
        Words_ = std::move(words);
    }

    // A selection in the drive list: selects the drive of entry index and returns it. An
    // index outside the list changes nothing; null is then returned.
    CDDrive* SelectEntry(int index);
    // The number, among the detected drives, of the drive behind list entry index; -1 for none.
    int DriveIndexOf(int index) const;

    // The drive list entries: the identity line of each qualifying drive, in list order.
    const std::vector<std::string>& Entries() const { return Entries_; }
    // The error report as built so far (dropped unseen when a drive qualifies).
    const std::string& ErrorReport() const { return ErrorReport_; }
    // The detected drives; null before Detect.
    const CDDrives* Drives() const { return Drives_.get(); }

private:
    IdentityBlock Block_;
    Platform& Platform_;
    IdentityTexts Texts_;
    std::unique_ptr<ShownDriveReports> Reports_;  // what the drives show, while they are there
    std::unique_ptr<CDDrives> Drives_;
    // Entry k holds the Drives index of drive list entry k.
    std::array<int32_t, CDDrives::Capacity> DriveIndex_{};
    std::vector<std::string> Entries_;
    std::string ErrorReport_;
    std::function<bool(const CDDrive&)> Rule_;
    Words Words_;
};
