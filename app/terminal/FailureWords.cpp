// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/FailureWords.h"

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

std::string TransportFailureInWords(const FlashReport& report, const std::string& device, const Platform& platform) {
    if (report.Outcome != FlashOutcome::FailedBeforeCommit && report.Outcome != FlashOutcome::CommitFailed)
        return {};
    if (!report.Failure || report.Failure->Result.SystemError == 0)
        return {};
    const int error = report.Failure->Result.SystemError;
    const std::string cause = platform.ErrorText(error);
    const std::string words = cause.empty() ? "error " + std::to_string(error) : cause;
    // The run itself told the person what a lost drive means for its flash; this names the loss.
    const bool lost = DriveStoppedAnswering(report.Failure->Result);
    return device + ": " + (lost ? "the drive stopped answering (" + words + ")" : words) +
           (report.Status.empty() ? std::string() : " (at: " + report.Status + ")");
}
