// SPDX-License-Identifier: Apache-2.0
#include "scsi/CommandResult.h"

CommandResult CommandResult::From(const CommandOutcome& outcome) {
    CommandResult result;
    result.Status = outcome.Status;
    result.SenseKey = outcome.Sense[2];
    result.Asc = outcome.Sense[12];
    result.Ascq = outcome.Sense[13];
    result.Residual = outcome.Residual;
    if (!outcome.PlatformOk) {
        result.SystemError = outcome.Error;
        result.Category = outcome.TransportFailed ? CommandCategory::TransportError : CommandCategory::SystemError;
    } else if (result.SenseKey != 0 || result.Asc != 0 || result.Ascq != 0) {
        result.Category = CommandCategory::CheckCondition;
    } else if (result.Status != 0) {
        result.Category = CommandCategory::StatusOnly;
    }
    return result;
}

CommandResult CommandResult::Refused(int error, uint32_t length) {
    CommandResult result;
    result.Category = CommandCategory::SystemError;
    result.SystemError = error;
    result.Residual = length;
    return result;
}
