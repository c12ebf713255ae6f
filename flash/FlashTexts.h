// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every text a flash-mode start-up and a flash run show, composed in one place. The
// wording, spelling and blanks are the product's and are kept exactly; they are the English
// message ids of the translations. The constants are marked N_() and translated with _()
// where they are shown.

#include <cstdint>
#include <string>

#include "flash/Qualification.h"
#include "ui/RunObserver.h"
#include "ui/Translate.h"

namespace FlashTexts {

// The start-up, from the identity texts of the utility.
std::string Caption(const IdentityTexts& texts);  // Vendor + " Flash Utility V1.048 for" + Model
std::string Prompt(const IdentityTexts& texts);   // "Select the " + Vendor + " drive you want to update:"
std::string Warning(const IdentityTexts& texts);
// The warning of a folder of utilities, each drive updated with the one that fits it.
std::string FolderWarning(const std::string& folder);
std::string ErrorReportHead(const IdentityTexts& texts);
// The same for a folder of utilities.
std::string FolderReportHead(const std::string& folder);
// The caption of a flash of a folder of utilities.
std::string FolderCaption(const std::string& folder);
constexpr const char* UtilityTitle = " Flash Utility V1.048 for";  // a name: not translated
constexpr const char* NoDriveTail = N_("\nCan't find ATAPI Drive !\n");
constexpr const char* DetectedDrivesHead = N_("\nDetected drives:\n");

// The revision check and the questions of a run.
std::string AlreadyUpdated(const std::string& driveRevision);
std::string UpdateQuestion(const std::string& driveRevision, const std::string& newRevision);
// A utility of a folder in a question: "1.50.EXE (signed by ...)"; and the question with it.
std::string UtilityNamed(const std::string& file, const std::string& signer);
std::string UpdateQuestionWith(const std::string& driveRevision, const std::string& newRevision,
                               const std::string& utility);
// A drive of a folder's list that gets no utility of it, and why.
std::string NotFlashedFromFolder(const std::string& why);
std::string Unidentified(const std::string& devicePath, const std::string& cause);
// A drive that is no longer what the start-up qualified: what it qualified as, what it is now, why.
std::string NoLongerQualifies(const std::string& devicePath, const std::string& qualifiedAs, const std::string& now,
                              const std::string& why);
std::string BadImageLength(uint32_t length, uint32_t capacity);
constexpr const char* RestartQuestion = N_("The system needs to be restarted for the changes to take effect ?");
// The restart question in the user's language. On virtual drives it keeps its place (the run
// rehearses a real one, answers and all) and says that no answer restarts anything.
std::string RestartQuestionFor(bool virtualDrives);
constexpr const char* VirtualRestartNote = N_("The drive is virtual: nothing will be restarted, whatever the answer.");
constexpr const char* RestartRefused = N_("The system could not be asked to restart. Please restart it yourself.");
constexpr const char* RemoveDisc = N_("Remove disc, before to do the flash task.");
constexpr const char* StillBecomingReady =
    N_("The drive is still becoming ready; nothing was sent to its memory. Try again when it has settled.");
// A drive whose commands stopped reaching it, by where the run was: before anything went to
// its memory, before the commit, or during the commit, when its flash may be half written.
enum class LossPoint { BeforeUpload, BeforeCommit, DuringCommit };
// The device is gone (unplugged or switched off: the system has no such device any more).
std::string DriveStoppedAnswering(const std::string& devicePath, const std::string& cause, LossPoint point);
// The drive did not answer command within its timeout of seconds.
std::string DriveTimedOut(const std::string& devicePath, const std::string& command, unsigned seconds,
                          LossPoint point);
// The command did not complete for another reason of the connection (a reset, a failed link).
std::string DriveConnectionFailed(const std::string& devicePath, const std::string& cause, LossPoint point);
// What a commit that did not answer means, and what to do.
constexpr const char* CommitStateUnknown =
    N_("Whether it has written its flash is unknown: it may still be writing, or it may have finished. Don't switch "
       "off or unplug the drive or the computer now. Wait five minutes, then restart the computer and check the "
       "drive's revision (flashutil --list): with the new revision the update is complete; with the old one the "
       "update did not take effect and can be run again; a drive that no longer appears needs its maker's recovery "
       "procedure.");
// A drive whose node leads to no device any more when the run is started.
std::string DriveGone(const std::string& devicePath);
// The commit was accepted, but the drive could not be identified again afterwards (cause):
// its new revision, newRevision, is not confirmed.
std::string RevisionUnconfirmed(const std::string& devicePath, const std::string& cause,
                                const std::string& newRevision);
// The list entry of such a drive: its identity line at opening without the old revision.
std::string RevisionUnknownEntry(const std::string& identityAtOpening);
// A readiness command the system did not pass to the drive for another reason.
std::string NotSent(const std::string& devicePath, const std::string& command, const std::string& cause);
constexpr const char* CompareFailed = N_("Compare BIN and DRAM fail!");
constexpr const char* ProfileCompareFailed = N_("Compared profile error!");
// A profile or DVD image on a real drive, from a utility built without the maker's profiles.
std::string NoMakerProfiles(const std::string& devicePath);
// The end of a rehearsal (--no-commit).
constexpr const char* Rehearsed =
    N_("Rehearsal complete: the drive took the image into its memory and gave it back intact. Its flash was not "
       "changed; run again without --no-commit to flash it.");
// A utility whose seal no longer matches, and one built before utilities were sealed.
std::string DamagedUtility(const std::string& file, const std::string& cause);
std::string UnsealedUtility(const std::string& file);
// A copy whose seal or signature, made by an earlier version, covers less than what a run
// sends; coverage is ShortCoverage's clause, already in the user's language.
std::string PartlyCoveredUtility(const std::string& file, const std::string& coverage);
std::string SignedUtility(const std::string& file, const std::string& signer, const std::string& fingerprint);
std::string UntrustedUtility(const std::string& file, const std::string& fingerprint);
std::string RefusedByPolicy(const std::string& file, const std::string& why);

// The status caption of each phase, and what a failure appends to it.
namespace Status {
constexpr const char* ProfileUpload = N_("Write profile to drive's DRAM... ");
constexpr const char* ImageUpload = N_("Write BIN to drive's DRAM... ");
constexpr const char* EntryCritical = N_("Drive entry critical... ");
constexpr const char* Verify = N_("Read back and Verify drive's DRAM... ");
constexpr const char* Commit = N_("Don't turn off the system, Flash is in progress...");
constexpr const char* CommitFailed = N_("Flash Fail.");
constexpr const char* Completed = N_("Flash Completed.");
constexpr const char* Rehearsed = N_("Rehearsal complete, flash not changed.");
}  // namespace Status
// The status caption of a run's status: its phase's caption, then what its ending appends.
std::string CaptionOf(const RunStatus& status);
// The same caption in the user's language, for showing; the history and JSON keep CaptionOf's.
std::string CaptionInLanguage(const RunStatus& status);
namespace Suffix {
constexpr const char* Fail = N_(", Fail! ");
constexpr const char* ProfileCheckFail = N_(", Valid Profile Fail!");
constexpr const char* ReadFail = N_(", Read Fail! ");
constexpr const char* CompareFail = N_(", Compare BIN and DRAM Fail! ");
constexpr const char* Interrupted = N_(", Interrupted! Nothing was flashed.");
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
// A status caption, with a failure's suffix, in the user's language for showing.
std::string StatusInLanguage(const std::string& status);

}  // namespace FlashTexts
