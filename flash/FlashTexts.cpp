// SPDX-License-Identifier: Apache-2.0
#include "flash/FlashTexts.h"

#include <cstring>

#include "platform/PrintableText.h"
#include "ui/Translate.h"

// What a drive supplied (its revision, its device path) goes into a text without control
// bytes, so every line of a message is the program's own.

namespace FlashTexts {

std::string Caption(const IdentityTexts& texts) { return texts.VendorText + UtilityTitle + texts.ModelText; }

std::string Prompt(const IdentityTexts& texts) {
    return FormatText(_("Select the %s drive you want to update:"), texts.VendorText.c_str());
}

// The two variants differ in their trailing blanks: the any-firmware text has one after
// "progress!", the range text one after "update!".
std::string Warning(const IdentityTexts& texts) {
    const std::string drive = texts.VendorText + " " + texts.ModelText;
    if (texts.AnyFirmware)
        return FormatText(_("\nWARNING:\n\nThis flash utility only supports %s drive. \nWe recommend you close all "
                            "applications in order to run this update!\nDon't turn off the system while the flash is in "
                            "progress! \n\nDo you wish to continue?\n"),
                          drive.c_str());
    return FormatText(_("\nWARNING:\n\nThis flash utility only supports %s drive with firmware:%s\nWe recommend you "
                        "close all applications in order to run this update! \nDon't turn off the system while the "
                        "flash is in progress!\n\nDo you wish to continue?\n"),
                      drive.c_str(), texts.RangeText.c_str());
}

std::string FolderWarning(const std::string& folder) {
    return FormatText(_("\nWARNING:\n\nEach drive a utility of %s is for is updated with that utility.\nWe recommend "
                        "you close all applications in order to run this update! \nDon't turn off the system while "
                        "the flash is in progress!\n\nDo you wish to continue?\n"),
                      PrintableText(folder).c_str());
}

std::string FolderReportHead(const std::string& folder) {
    return FormatText(_("\nERROR:\n\nNo utility in %s is for a drive found here.\n"), PrintableText(folder).c_str());
}

std::string FolderCaption(const std::string& folder) {
    return FormatText(_("Flash utilities of %s"), PrintableText(folder).c_str());
}

// The report names the model only, never the vendor.
std::string ErrorReportHead(const IdentityTexts& texts) {
    const char* model = texts.ModelText.c_str();
    if (texts.AnyFirmware)
        return FormatText(_("\nERROR:\n\nCan't found %1$s drive !\n\nThis flash utility only supports %1$s\n"), model);
    return FormatText(_("\nERROR:\n\nCan't found %1$s firmware: %2$s drive !\n\nThis flash utility only supports %1$s "
                        "firmware: %2$s\n"),
                      model, texts.RangeText.c_str());
}

// The caption's parts in English; CaptionInLanguage puts each through the catalogue.
static const char* PhaseCaption(const RunStatus& status) {
    if (!status.Phase)
        return "";
    switch (*status.Phase) {
    case RunPhase::ProfileUpload: return Status::ProfileUpload;
    case RunPhase::ImageUpload: return Status::ImageUpload;
    case RunPhase::EntryCritical: return Status::EntryCritical;
    case RunPhase::Verify: return Status::Verify;
    case RunPhase::Commit: return Status::Commit;
    case RunPhase::CommitFailed: return Status::CommitFailed;
    case RunPhase::Completed: return Status::Completed;
    case RunPhase::Rehearsed: return Status::Rehearsed;
    }
    return "";
}

static const char* EndSuffix(const RunStatus& status) {
    switch (status.End) {
    case PhaseEnd::None: return "";
    case PhaseEnd::Failed: return Suffix::Fail;
    case PhaseEnd::ProfileCheckFailed: return Suffix::ProfileCheckFail;
    case PhaseEnd::ReadFailed: return Suffix::ReadFail;
    case PhaseEnd::CompareFailed: return Suffix::CompareFail;
    case PhaseEnd::Interrupted: return Suffix::Interrupted;
    }
    return "";
}

std::string CaptionOf(const RunStatus& status) { return std::string(PhaseCaption(status)) + EndSuffix(status); }

std::string CaptionInLanguage(const RunStatus& status) {
    return std::string(_(PhaseCaption(status))) + _(EndSuffix(status));
}

std::string AlreadyUpdated(const std::string& driveRevision) {
    return FormatText(_("\nWARNING:\n\nYour drive FW:%s is aready the most updated ?"),
                      PrintableText(driveRevision).c_str());
}

std::string RestartQuestionFor(bool virtualDrives) {
    std::string question = _(RestartQuestion);
    if (virtualDrives)
        question += std::string("\n\n") + _(VirtualRestartNote);
    return question;
}

std::string UpdateQuestion(const std::string& driveRevision, const std::string& newRevision) {
    return FormatText(_("\nUpdate FW:%s to FW:%s ?\n"), PrintableText(driveRevision).c_str(), newRevision.c_str());
}

std::string UtilityNamed(const std::string& file, const std::string& signer) {
    return PrintableText(file) + " (" + signer + ")";
}

std::string UpdateQuestionWith(const std::string& driveRevision, const std::string& newRevision,
                               const std::string& utility) {
    return FormatText(_("\nUpdate FW:%s to FW:%s\nwith %s ?\n"), PrintableText(driveRevision).c_str(),
                      PrintableText(newRevision).c_str(), utility.c_str());
}

std::string NotFlashedFromFolder(const std::string& why) {
    return FormatText(_("This drive is not flashed: %s"), PrintableText(why).c_str());
}

std::string Unidentified(const std::string& devicePath, const std::string& cause) {
    if (devicePath.empty())
        return FormatText(_("The drive could not be identified (%s); nothing was sent to it."), cause.c_str());
    return FormatText(_("The drive %s could not be identified (%s); nothing was sent to it."),
                      PrintableText(devicePath).c_str(), cause.c_str());
}

std::string NoLongerQualifies(const std::string& devicePath, const std::string& qualifiedAs, const std::string& now,
                              const std::string& why) {
    if (devicePath.empty())
        return FormatText(_("The drive no longer qualifies for this firmware (%s): it qualified as \"%s\" and is now "
                            "\"%s\"; nothing was sent to it."),
                          why.c_str(), qualifiedAs.c_str(), now.c_str());
    return FormatText(_("The drive %s no longer qualifies for this firmware (%s): it qualified as \"%s\" and is now "
                        "\"%s\"; nothing was sent to it."),
                      devicePath.c_str(), why.c_str(), qualifiedAs.c_str(), now.c_str());
}

std::string BadImageLength(uint32_t length, uint32_t capacity) {
    return FormatText(_("The embedded image length %u is not between 1 and %u bytes; nothing was sent to the drive."),
                      unsigned(length), unsigned(capacity));
}

std::string TransferTooLong(const char* prefix, uint32_t count, uint32_t room) {
    return prefix + FormatText(_("transfer of %u bytes exceeds the %u-byte transfer buffer"), unsigned(count),
                                  unsigned(room));
}

// The subject of a sentence about a drive, named by its device path where it has one.
static std::string TheDrive(const std::string& devicePath) {
    return devicePath.empty() ? _("The drive") : FormatText(_("The drive %s"), devicePath.c_str());
}

std::string DriveStoppedAnswering(const std::string& devicePath, const std::string& cause, LossPoint point) {
    const std::string drive = TheDrive(devicePath);
    switch (point) {
    case LossPoint::BeforeUpload:
        return FormatText(_("%s stopped answering (%s) while it was being made ready: it was unplugged, switched off or "
                            "reset. Nothing was sent to its memory; its flash is unchanged."),
                          drive.c_str(), cause.c_str());
    case LossPoint::BeforeCommit:
        return FormatText(_("%s stopped answering (%s) before the commit: it was unplugged, switched off or reset. The "
                            "commit was not sent; its flash is unchanged. Connect it again and run the update again."),
                          drive.c_str(), cause.c_str());
    case LossPoint::DuringCommit:
        break;
    }
    return FormatText(_("%s stopped answering (%s) during the commit, while it was writing its flash. The update did not "
                        "complete and restarting the computer will not complete it. The drive's firmware may now be "
                        "incomplete: if the drive does not come back when connected again (flashutil --list), it needs "
                        "its maker's recovery procedure."),
                      drive.c_str(), cause.c_str());
}

std::string DriveTimedOut(const std::string& devicePath, const std::string& command, unsigned seconds,
                          LossPoint point) {
    const std::string drive = TheDrive(devicePath);
    switch (point) {
    case LossPoint::BeforeUpload:
        return FormatText(_("%s did not answer %s within %u seconds while it was being made ready. Nothing was sent "
                            "to its memory; its flash is unchanged. Wait until the drive is idle, then run the update "
                            "again."),
                          drive.c_str(), command.c_str(), seconds);
    case LossPoint::BeforeCommit:
        return FormatText(_("%s did not answer %s within %u seconds, before the commit. The commit was not sent; its "
                            "flash is unchanged. Wait until the drive is idle (or restart the computer), then run the "
                            "update again."),
                          drive.c_str(), command.c_str(), seconds);
    case LossPoint::DuringCommit:
        break;
    }
    return FormatText(_("%s did not answer the commit within %u seconds."), drive.c_str(), seconds) + " " +
           _(CommitStateUnknown);
}

std::string DriveConnectionFailed(const std::string& devicePath, const std::string& cause, LossPoint point) {
    const std::string drive = TheDrive(devicePath);
    switch (point) {
    case LossPoint::BeforeUpload:
        return FormatText(_("%s stopped answering (%s) while it was being made ready: its connection failed or it "
                            "was reset. Nothing was sent to its memory; its flash is unchanged."),
                          drive.c_str(), cause.c_str());
    case LossPoint::BeforeCommit:
        return FormatText(_("%s stopped answering (%s) before the commit: its connection failed or it was reset. The "
                            "commit was not sent; its flash is unchanged. Run the update again; if it fails the same "
                            "way, check the drive's cable and power."),
                          drive.c_str(), cause.c_str());
    case LossPoint::DuringCommit:
        break;
    }
    return FormatText(_("%s stopped answering (%s) during the commit: its connection failed or it was reset."),
                      drive.c_str(), cause.c_str()) +
           " " + _(CommitStateUnknown);
}

std::string DriveGone(const std::string& devicePath) {
    return FormatText(_("%s is gone: its node no longer leads to a device (it was unplugged or switched off). Nothing "
                        "was sent to it. Connect it again and run the update again."),
                      TheDrive(devicePath).c_str());
}

std::string RevisionUnconfirmed(const std::string& devicePath, const std::string& cause,
                                const std::string& newRevision) {
    return FormatText(_("%s accepted the new firmware, but its new revision could not be read back (%s), so the "
                        "update is not confirmed. Restart the computer, then check the drive's revision (flashutil "
                        "--list): it should be %s."),
                      TheDrive(devicePath).c_str(), cause.c_str(), PrintableText(newRevision).c_str());
}

std::string RevisionUnknownEntry(const std::string& identityAtOpening) {
    // An identity line ends in the 28 characters of the drive's identification, the last four
    // of them its revision, which is not known now.
    constexpr std::size_t IdentificationWidth = 28;
    std::string drive = PrintableText(identityAtOpening);
    if (drive.size() >= IdentificationWidth)
        drive.resize(drive.size() - 4);
    while (!drive.empty() && drive.back() == ' ')
        drive.pop_back();
    return FormatText(_("%s (revision unknown)"), drive.c_str());
}

std::string NotSent(const std::string& devicePath, const std::string& command, const std::string& cause) {
    const std::string drive = devicePath.empty() ? _("the drive") : devicePath;
    return FormatText(_("%s could not be sent to %s (%s); nothing was sent to its memory."), command.c_str(),
                      drive.c_str(), cause.c_str());
}

std::string NoMakerProfiles(const std::string& devicePath) {
    return FormatText(_("%s: this firmware needs the flash-chip profiles of the drive's maker, and this utility was built "
                        "without them. Nothing was sent to the drive. Rebuild the utility with the maker's profiles "
                        "(flashutil --build ... --profiles FILE, or Profiles=FILE in the model's section of the model "
                        "file)."),
                      PrintableText(devicePath).c_str());
}

// The cause comes in English (the JSON stream and --info --json keep it so).
std::string DamagedUtility(const std::string& file, const std::string& cause) {
    return FormatText(_("This utility is damaged: %s no longer matches what was recorded when it was built (%s). Nothing "
                        "was sent to any drive. Use an undamaged copy or build it again."),
                      file.c_str(), _(cause.c_str()));
}

std::string UnsealedUtility(const std::string& file) {
    return FormatText(_("%s carries no checksum (it was built by an earlier version), so damage to its image cannot be "
                        "detected."),
                      file.c_str());
}

std::string PartlyCoveredUtility(const std::string& file, const std::string& coverage) {
    return FormatText(_("Warning: %s was made by an earlier version: %s, so a change to the other bytes cannot be "
                        "detected."),
                      file.c_str(), coverage.c_str());
}

// A status caption is kept in English (the history and the JSON events record it); it is
// put into the user's language where it is shown: the phase's caption, then a failure's suffix.
std::string StatusInLanguage(const std::string& status) {
    static const char* const captions[] = {Status::ProfileUpload, Status::ImageUpload,  Status::EntryCritical,
                                           Status::Verify,        Status::Commit,       Status::CommitFailed,
                                           Status::Completed,     Status::Rehearsed};
    static const char* const suffixes[] = {Suffix::Fail, Suffix::ProfileCheckFail, Suffix::ReadFail,
                                           Suffix::CompareFail, Suffix::Interrupted};
    for (const char* caption : captions) {
        if (status.rfind(caption, 0) != 0)
            continue;
        const std::string rest = status.substr(std::strlen(caption));
        for (const char* suffix : suffixes)
            if (rest == suffix)
                return std::string(_(caption)) + _(suffix);
        if (rest.empty())
            return _(caption);
    }
    return status;
}

std::string SignedUtility(const std::string& file, const std::string& signer, const std::string& fingerprint) {
    return FormatText(_("%s is signed by %s (%s), a key you trust."), file.c_str(), signer.c_str(),
                      fingerprint.c_str());
}

std::string UntrustedUtility(const std::string& file, const std::string& fingerprint) {
    return FormatText(_("Warning: %s is signed by a key not trusted here (%s). Anyone can make a key and sign: "
                        "flash it only if you know this key is its maker's."),
                      file.c_str(), fingerprint.c_str());
}

// why comes from PolicyRefusal, already in the user's language.
std::string RefusedByPolicy(const std::string& file, const std::string& why) {
    return FormatText(_("%s is refused: %s. Nothing was sent to any drive."), file.c_str(), why.c_str());
}

}  // namespace FlashTexts
