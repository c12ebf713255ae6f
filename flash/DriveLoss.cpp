// SPDX-License-Identifier: Apache-2.0
#include "flash/DriveLoss.h"

#include <cerrno>

#include "flash/FlashRun.h"
#include "flash/FlashTexts.h"

bool DriveStoppedAnswering(const CommandResult& result) {
    if (result.Category == CommandCategory::TransportError)
        return true;
    if (result.Category != CommandCategory::SystemError)
        return false;
    switch (result.SystemError) {
    case ENODEV:
    case ENXIO:
    case ETIMEDOUT:
    case ESHUTDOWN:
    case ENOTCONN: return true;
    default: return false;
    }
}

DriveLoss LossOf(const CommandResult& result, bool nodeGone) {
    if (!DriveStoppedAnswering(result))
        return DriveLoss::None;
    if (result.SystemError == ETIMEDOUT)
        return DriveLoss::TimedOut;
    if (nodeGone || result.SystemError == ENODEV || result.SystemError == ENXIO)
        return DriveLoss::Gone;
    return DriveLoss::ConnectionFailed;
}

// How a run tells that its drive stopped answering, and what that means for its flash.

// After a failed command of the upload, the read-back or the commit: when the drive stopped
// answering, say so plainly, and what that means for its flash.
void FlashRun::SayIfDriveLost(FlashTexts::LossPoint point) {
    const std::optional<FailedCommand>& failure = Commands_.Failure();
    if (failure && DriveStoppedAnswering(failure->Result))
        SayLoss(*failure, point);
}

// A timeout is a drive that did not answer in time, which says nothing of its being there; a
// drive is called unplugged only when the system says its device is gone.
void FlashRun::SayLoss(const FailedCommand& failure, FlashTexts::LossPoint point) {
    const std::string& device = Drive_.DevicePath();
    const DriveLoss loss = LossOf(failure.Result, Drive_.DeviceNow().Gone);
    Report_.DriveGone = loss == DriveLoss::Gone;
    std::string words;
    switch (loss) {
    case DriveLoss::TimedOut:
        words = FlashTexts::DriveTimedOut(device, CommandName(failure.Sent),
                                          failure.Sent.Timeout != 0 ? failure.Sent.Timeout : Drive_.Timeout(), point);
        break;
    case DriveLoss::Gone: words = FlashTexts::DriveStoppedAnswering(device, Drive_.FailureCause(), point); break;
    case DriveLoss::ConnectionFailed:
    case DriveLoss::None: words = FlashTexts::DriveConnectionFailed(device, Drive_.FailureCause(), point); break;
    }
    Answers_.Show(words, MessageKind::Error);
}
