// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every text a flash-mode start-up and a flash run show, composed in one place. The
// wording, spelling and blanks are the product's and are kept exactly.

#include <cstdint>
#include <string>

#include "flash/Qualification.h"
#include "ui/RunObserver.h"

namespace FlashTexts {

// The start-up, from the identity texts of the utility.
std::string Caption(const IdentityTexts& texts);  // Vendor + " Flash Utility V1.048 for" + Model
std::string Prompt(const IdentityTexts& texts);   // "Select the " + Vendor + " drive you want to update:"
std::string Warning(const IdentityTexts& texts);
std::string ErrorReportHead(const IdentityTexts& texts);
constexpr const char* UtilityTitle = " Flash Utility V1.048 for";
constexpr const char* NoDriveTail = "\nCan't find ATAPI Drive !\n";
constexpr const char* DetectedDrivesHead = "\nDetected drives:\n";

// The revision check and the questions of a run.
std::string AlreadyUpdated(const std::string& driveRevision);
std::string UpdateQuestion(const std::string& driveRevision, const std::string& newRevision);
std::string Unidentified(const std::string& devicePath, const std::string& cause);
// A drive that is no longer what the start-up qualified: what it qualified as, what it is now, why.
std::string NoLongerQualifies(const std::string& devicePath, const std::string& qualifiedAs, const std::string& now,
                              const std::string& why);
std::string BadImageLength(uint32_t length, uint32_t capacity);
constexpr const char* RestartQuestion = "The system needs to be restarted for the changes to take effect ?";
constexpr const char* RestartRefused = "The system could not be asked to restart. Please restart it yourself.";
constexpr const char* RemoveDisc = "Remove disc, before to do the flash task.";
constexpr const char* StillBecomingReady =
    "The drive is still becoming ready; nothing was sent to its memory. Try again when it has settled.";
// A drive whose commands stopped reaching it (unplugged, switched off, reset, or silent until
// the timeout), by where the run was: before anything went to its memory, before the commit,
// or during the commit, when its flash may be half written.
enum class LossPoint { BeforeUpload, BeforeCommit, DuringCommit };
std::string DriveStoppedAnswering(const std::string& devicePath, const std::string& cause, LossPoint point);
// A readiness command the system did not pass to the drive for another reason.
std::string NotSent(const std::string& devicePath, const std::string& command, const std::string& cause);
constexpr const char* CompareFailed = "Compare BIN and DRAM fail!";
constexpr const char* ProfileCompareFailed = "Compared profile error!";
// A profile or DVD image on a real drive, from a utility built without the maker's profiles.
std::string NoMakerProfiles(const std::string& devicePath);
// The end of a rehearsal (--no-commit).
constexpr const char* Rehearsed =
    "Rehearsal complete: the drive took the image into its memory and gave it back intact. Its flash was not "
    "changed; run again without --no-commit to flash it.";
// A utility whose seal no longer matches, and one built before utilities were sealed.
std::string DamagedUtility(const std::string& file, const std::string& cause);
std::string UnsealedUtility(const std::string& file);
std::string SignedUtility(const std::string& file, const std::string& signer, const std::string& fingerprint);
std::string UntrustedUtility(const std::string& file, const std::string& fingerprint);
std::string RefusedByPolicy(const std::string& file, const std::string& why);

// The status caption of each phase, and what a failure appends to it.
namespace Status {
constexpr const char* ProfileUpload = "Write profile to drive's DRAM... ";
constexpr const char* ImageUpload = "Write BIN to drive's DRAM... ";
constexpr const char* EntryCritical = "Drive entry critical... ";
constexpr const char* Verify = "Read back and Verify drive's DRAM... ";
constexpr const char* Commit = "Don't turn off the system, Flash is in progress...";
constexpr const char* CommitFailed = "Flash Fail.";
constexpr const char* Completed = "Flash Completed.";
constexpr const char* Rehearsed = "Rehearsal complete, flash not changed.";
}  // namespace Status
// The status caption of a run's status: its phase's caption, then what its ending appends.
std::string CaptionOf(const RunStatus& status);
namespace Suffix {
constexpr const char* Fail = ", Fail! ";
constexpr const char* ProfileCheckFail = ", Valid Profile Fail!";
constexpr const char* ReadFail = ", Read Fail! ";
constexpr const char* CompareFail = ", Compare BIN and DRAM Fail! ";
constexpr const char* Interrupted = ", Interrupted! Nothing was flashed.";
}  // namespace Suffix

// The prefixes of a failed command's message; the drive's error text follows.
namespace Prefix {
constexpr const char* WriteBuffer = "Write Buffer> ";
constexpr const char* ReadBuffer = "Read Buffer> ";
constexpr const char* WriteE2 = "Write E2> ";
constexpr const char* WriteFlash = "Write Flash> ";
constexpr const char* ReadFlashZone = "Read Flash Zone Map > ";
constexpr const char* EntryCritical = "Entry critical> ";
constexpr const char* ReadFlashId = "Read Flash ID> ";
constexpr const char* WriteProfile = "Write Profile> ";
constexpr const char* ReadProfile = "Read Profile> ";
}  // namespace Prefix
std::string TransferTooLong(const char* prefix, uint32_t count, uint32_t room);

}  // namespace FlashTexts
