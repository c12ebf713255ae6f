// SPDX-License-Identifier: Apache-2.0
// The commit that makes the drive write its flash, and what follows a commit it accepted.
#include "flash/FlashRun.h"

#include "flash/FlashTexts.h"
#include "flash/WaitTicker.h"

namespace {
constexpr unsigned PauseAfterCommitMilliseconds = 200;
constexpr int32_t CommitProgressMaximum = 200, CommitProgressPosition = 198;
}  // namespace

// The commit, and after success the refresh of the drive's entry and the restart question.
FlashOutcome FlashRun::Commit(int listIndex) {
    Report_.Step = FlashStep::Commit;
    Enter(RunPhase::Commit);
    Progress(CommitProgressPosition, CommitProgressMaximum);

    const bool flashAll = Utility_.FlashAll();
    // An interrupt must not break the command off while the drive writes its flash.
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(true);
    bool committed = false;
    {
        // The drive writes its flash before it answers, for up to the commit's timeout.
        WaitTicker alive([this](uint32_t seconds) { Events_.Waiting(seconds, CommitTimeoutSeconds); });
        committed = Commands_.WriteBuffer(0, Profile_.Bytes.data(),
                                          flashAll ? WriteBufferCode::CommitAll : WriteBufferCode::Commit, 0);
    }
    Events_.Waiting(0, 0);
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(false);

    if (!committed) {
        Enter(RunPhase::CommitFailed);
        SayIfDriveLost(FlashTexts::LossPoint::DuringCommit);
        return FlashOutcome::CommitFailed;
    }
    Progress(CommitProgressMaximum, CommitProgressMaximum);
    Drive_.SystemPlatform().Sleep(PauseAfterCommitMilliseconds);
    Enter(RunPhase::Completed);
    // The drive is asked again: its entry shows the new revision, or that it is not known.
    if (Drive_.Identify()) {
        Report_.NewIdentity = Drive_.Identity();
        Events_.IdentityChanged(listIndex, Report_.NewIdentity);
    } else {
        Report_.RevisionUnread = Drive_.IdentityProblem();
        Events_.IdentityChanged(listIndex, FlashTexts::RevisionUnknownEntry(Drive_.AtOpening().Identity));
        Answers_.Show(FlashTexts::RevisionUnconfirmed(Drive_.DevicePath(), Drive_.FailureCause(), NewRevision()),
                      MessageKind::Warning);
    }

    Report_.Step = FlashStep::Restart;
    if (Control_.ConfirmRestart && Control_.ConfirmRestart()) {
        Events_.BusyChanged(false);
        Report_.RestartRequested = Drive_.SystemPlatform().RequestRestart();
        if (!Report_.RestartRequested)
            Answers_.Show(_(FlashTexts::RestartRefused), MessageKind::Plain);
    }
    return FlashOutcome::Completed;
}
