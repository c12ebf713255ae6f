// SPDX-License-Identifier: Apache-2.0
#include "session/FailureWords.h"

#include <cerrno>

#include "platform/SenseWords.h"
#include "scsi/Commands.h"

std::string DriveFailureInWords(const std::string& device, const FlashReport& report) {
    if (!report.Failure || !report.Failure->Result.Delivered() || report.Failure->Result.Good())
        return {};
    const CommandResult& result = report.Failure->Result;
    const std::string what = device + ": " + CommandName(report.Failure->Sent) + " failed: ";
    if (result.Category == CommandCategory::CheckCondition)
        return what + SenseInWords(result.SenseKey, result.Asc, result.Ascq);
    return what + "status " + StatusInWords(result.Status);
}

std::string OutcomeInWords(const std::string& device, const FlashReport& report, const std::string& driveRevision,
                           const std::string& newRevision) {
    const std::string at = report.Status.empty() ? std::string() : " (at: " + report.Status + ")";
    switch (report.Outcome) {
    case FlashOutcome::Completed:
    case FlashOutcome::Rehearsed: return {};
    case FlashOutcome::DiscPresent:
        return device + ": a disc is in the tray; remove it and run the update again (nothing was sent to the drive)";
    case FlashOutcome::RevisionRefused:
        return device + ": the drive already has revision " + driveRevision + ", and this firmware's " + newRevision +
               " is not newer; nothing was sent to the drive";
    case FlashOutcome::Declined: return device + ": the update was declined; nothing was sent to the drive";
    case FlashOutcome::Unidentified:
        if (report.DriveGone)
            return device + ": the drive is gone: its node no longer leads to a device (unplugged or switched off); "
                            "nothing was sent to it";
        return device +
               ": the drive is not one this firmware is for, or it could not be identified; nothing was sent to it";
    case FlashOutcome::Interrupted: return device + ": interrupted before the commit; the drive's flash is unchanged";
    case FlashOutcome::FailedBeforeCommit:
        return device + ": failed before the commit" + at + "; the drive's flash is unchanged";
    case FlashOutcome::CommitFailed:
        return device + ": the commit failed" + at + "; the drive may need the update again";
    }
    return {};
}

std::string TimeoutInWords(const std::string& device, const FlashReport& report, unsigned timeoutSeconds) {
    if (!report.Failure || report.Failure->Result.SystemError != ETIMEDOUT)
        return {};
    const Command& sent = report.Failure->Sent;
    const unsigned seconds = sent.Timeout != 0 ? sent.Timeout : timeoutSeconds;
    return device + ": " + CommandName(sent) + ": the drive did not answer within " + std::to_string(seconds) +
           (seconds == 1 ? " second" : " seconds") +
           (report.Status.empty() ? std::string() : " (at: " + report.Status + ")") +
           (report.Outcome == FlashOutcome::CommitFailed
                ? "; whether it wrote its flash is unknown: switch nothing off, wait five minutes, restart the "
                  "computer and check its revision (flashutil --list)"
                : std::string());
}

std::string UnconfirmedCause(const FlashReport& report) {
    if (report.Outcome != FlashOutcome::Completed || report.RevisionUnread.empty())
        return {};
    return "the commit was accepted, but the new revision could not be read back (" + report.RevisionUnread + ")";
}

std::string UnconfirmedInWords(const std::string& device, const FlashReport& report, const std::string& newRevision) {
    const std::string cause = UnconfirmedCause(report);
    if (cause.empty())
        return {};
    return device + ": " + cause + "; restart the computer and check the drive's revision with flashutil --list (it "
                                   "should be " + newRevision + ")";
}
