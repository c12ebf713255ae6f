// SPDX-License-Identifier: Apache-2.0
// The readiness wait before the upload: the drive loaded, settled without a disc, stopped.
#include "flash/FlashRun.h"

#include "flash/FlashTexts.h"

namespace {
constexpr unsigned PollMilliseconds = 30;
constexpr unsigned SettledPolls = 10;
}  // namespace

// Load, wait until the drive has settled without a disc, stop it. The answers are read from
// the sense bytes; a command that never reached the drive left none to read, so it ends the
// wait (a drive unplugged or switched off fails every command with no sense at all, which
// would otherwise pass for "a disc is in it").
FlashOutcome FlashRun::WaitUntilReady() {
    if (!Commands_.Unjudged(Commands::LoadMedium(), "Load medium"))
        return NotReached();
    unsigned settled = 0;
    unsigned becomingReady = 0;
    for (;;) {
        if (StopWanted())
            return Interrupted();
        Drive_.SystemPlatform().Sleep(PollMilliseconds);
        if (!Commands_.Unjudged(Commands::TestUnitReady(), "Test Unit Ready"))
            return NotReached();
        if (Drive_.SenseIs(0x02, 0x04, 0x01)) {
            settled = 0;
            // A drive that never settles would hold the run forever.
            if (++becomingReady >= MaxBecomingReadyPolls) {
                Answers_.Show(_(FlashTexts::StillBecomingReady), MessageKind::Plain);
                return FlashOutcome::FailedBeforeCommit;
            }
        } else if (Drive_.SenseIs(0x02, 0x3A)) {
            break;
        } else {
            const bool noDisc = Commands_.CheckDisc();
            if (!Commands_.Reached("Read Capacity"))
                return NotReached();
            if (!noDisc) {
                Answers_.Show(_(FlashTexts::RemoveDisc), MessageKind::Plain);
                return FlashOutcome::DiscPresent;
            }
        }
        if (++settled == SettledPolls)
            break;
    }
    if (!Commands_.Unjudged(Commands::StopPlayScan(), "Stop Play/Scan") ||
        !Commands_.Unjudged(Commands::StopUnit(), "Stop Unit"))
        return NotReached();
    return FlashOutcome::Completed;
}

// A readiness command that never reached the drive: the run ends before anything went to
// the drive's memory, naming the drive and the cause.
FlashOutcome FlashRun::NotReached() {
    const FailedCommand& failure = *Commands_.Failure();
    if (DriveStoppedAnswering(failure.Result))
        SayLoss(failure, FlashTexts::LossPoint::BeforeUpload);
    else
        Answers_.Show(FlashTexts::NotSent(Drive_.DevicePath(), failure.Name, Drive_.FailureCause()),
                      MessageKind::Error);
    return FlashOutcome::FailedBeforeCommit;
}
