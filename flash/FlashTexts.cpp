// SPDX-License-Identifier: Apache-2.0
#include "flash/FlashTexts.h"

#include "platform/PrintableText.h"

// What a drive supplied (its revision, its device path) goes into a text without control
// bytes, so every line of a message is the program's own.

namespace FlashTexts {

std::string Caption(const IdentityTexts& texts) { return texts.VendorText + UtilityTitle + texts.ModelText; }

std::string Prompt(const IdentityTexts& texts) { return "Select the " + texts.VendorText + " drive you want to update:"; }

// The two variants differ in their trailing blanks: the any-firmware text has one after
// "progress!", the range text one after "update!".
std::string Warning(const IdentityTexts& texts) {
    std::string text = "\nWARNING:\n";
    text += "\nThis flash utility only supports ";
    text += texts.VendorText + " " + texts.ModelText;
    if (texts.AnyFirmware) {
        text += " drive. ";
        text += "\nWe recommend you close all applications in order to run this update!";
        text += "\nDon't turn off the system while the flash is in progress! ";
    } else {
        text += " drive with firmware:" + texts.RangeText;
        text += "\nWe recommend you close all applications in order to run this update! ";
        text += "\nDon't turn off the system while the flash is in progress!";
    }
    text += "\n\nDo you wish to continue?\n";
    return text;
}

// The report names the model only, never the vendor.
std::string ErrorReportHead(const IdentityTexts& texts) {
    const std::string& model = texts.ModelText;
    std::string text = "\nERROR:\n";
    if (texts.AnyFirmware) {
        text += "\nCan't found " + model + " drive !\n";
        text += "\nThis flash utility only supports " + model + "\n";
    } else {
        text += "\nCan't found " + model + " firmware: " + texts.RangeText + " drive !\n";
        text += "\nThis flash utility only supports " + model + " firmware: " + texts.RangeText + "\n";
    }
    return text;
}

std::string CaptionOf(const RunStatus& status) {
    std::string caption;
    if (status.Phase) {
        switch (*status.Phase) {
        case RunPhase::ProfileUpload: caption = Status::ProfileUpload; break;
        case RunPhase::ImageUpload: caption = Status::ImageUpload; break;
        case RunPhase::EntryCritical: caption = Status::EntryCritical; break;
        case RunPhase::Verify: caption = Status::Verify; break;
        case RunPhase::Commit: caption = Status::Commit; break;
        case RunPhase::CommitFailed: caption = Status::CommitFailed; break;
        case RunPhase::Completed: caption = Status::Completed; break;
        case RunPhase::Rehearsed: caption = Status::Rehearsed; break;
        }
    }
    switch (status.End) {
    case PhaseEnd::None: break;
    case PhaseEnd::Failed: caption += Suffix::Fail; break;
    case PhaseEnd::ProfileCheckFailed: caption += Suffix::ProfileCheckFail; break;
    case PhaseEnd::ReadFailed: caption += Suffix::ReadFail; break;
    case PhaseEnd::CompareFailed: caption += Suffix::CompareFail; break;
    case PhaseEnd::Interrupted: caption += Suffix::Interrupted; break;
    }
    return caption;
}

std::string AlreadyUpdated(const std::string& driveRevision) {
    return "\nWARNING:\n\nYour drive FW:" + PrintableText(driveRevision) + " is aready the most updated ?";
}

std::string UpdateQuestion(const std::string& driveRevision, const std::string& newRevision) {
    return "\nUpdate FW:" + PrintableText(driveRevision) + " to FW:" + newRevision + " ?\n";
}

std::string Unidentified(const std::string& devicePath, const std::string& cause) {
    const std::string drive = devicePath.empty() ? "The drive" : "The drive " + PrintableText(devicePath);
    return drive + " could not be identified (" + cause + "); nothing was sent to it.";
}

std::string NoLongerQualifies(const std::string& devicePath, const std::string& qualifiedAs, const std::string& now,
                              const std::string& why) {
    const std::string drive = devicePath.empty() ? "The drive" : "The drive " + devicePath;
    return drive + " no longer qualifies for this firmware (" + why + "): it qualified as \"" + qualifiedAs +
           "\" and is now \"" + now + "\"; nothing was sent to it.";
}

std::string BadImageLength(uint32_t length, uint32_t capacity) {
    return "The embedded image length " + std::to_string(length) + " is not between 1 and " +
           std::to_string(capacity) + " bytes; nothing was sent to the drive.";
}

std::string TransferTooLong(const char* prefix, uint32_t count, uint32_t room) {
    return std::string(prefix) + "transfer of " + std::to_string(count) + " bytes exceeds the " +
           std::to_string(room) + "-byte transfer buffer";
}

std::string DriveStoppedAnswering(const std::string& devicePath, const std::string& cause, LossPoint point) {
    const std::string drive = devicePath.empty() ? "The drive" : "The drive " + devicePath;
    switch (point) {
    case LossPoint::BeforeUpload:
        return drive + " stopped answering (" + cause + ") while it was being made ready: it was unplugged, " +
               "switched off or reset. Nothing was sent to its memory; its flash is unchanged.";
    case LossPoint::BeforeCommit:
        return drive + " stopped answering (" + cause + ") before the commit: it was unplugged, switched off or " +
               "reset. The commit was not sent; its flash is unchanged. Connect it again and run the update again.";
    case LossPoint::DuringCommit:
        break;
    }
    return drive + " stopped answering (" + cause + ") during the commit, while it was writing its flash. The " +
           "update did not complete and restarting the computer will not complete it. The drive's firmware may " +
           "now be incomplete: if the drive does not come back when connected again (flashutil --list), it needs " +
           "its maker's recovery procedure.";
}

std::string NotSent(const std::string& devicePath, const std::string& command, const std::string& cause) {
    const std::string drive = devicePath.empty() ? "the drive" : devicePath;
    return command + " could not be sent to " + drive + " (" + cause + "); nothing was sent to its memory.";
}

std::string NoMakerProfiles(const std::string& devicePath) {
    return PrintableText(devicePath) + ": this firmware needs the flash-chip profiles of the drive's maker, and this utility was "
                        "built without them. Nothing was sent to the drive. Rebuild the utility with the maker's "
                        "profiles (flashutil --build ... --profiles FILE, or Profiles=FILE in the model's section "
                        "of the model file).";
}

std::string DamagedUtility(const std::string& file, const std::string& cause) {
    return "This utility is damaged: " + file + " no longer matches what was recorded when it was built (" + cause +
           "). Nothing was sent to any drive. Use an undamaged copy or build it again.";
}

std::string UnsealedUtility(const std::string& file) {
    return file + " carries no checksum (it was built by an earlier version), so damage to its image cannot be "
                  "detected.";
}

std::string SignedUtility(const std::string& file, const std::string& signer, const std::string& fingerprint) {
    return file + " is signed by " + signer + " (" + fingerprint + "), a key you trust.";
}

std::string UntrustedUtility(const std::string& file, const std::string& fingerprint) {
    return "Warning: " + file + " is signed by a key not trusted here (" + fingerprint +
           "). Anyone can make a key and sign: flash it only if you know this key is its maker's.";
}

std::string RefusedByPolicy(const std::string& file, const std::string& why) {
    return file + " is refused: " + why + ". Nothing was sent to any drive.";
}

}  // namespace FlashTexts
