// SPDX-License-Identifier: Apache-2.0
#include "session/FailureWords.h"

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
