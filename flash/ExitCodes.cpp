// SPDX-License-Identifier: Apache-2.0
#include "flash/ExitCodes.h"

namespace {
bool Succeeded(const DriveEnding& drive) {
    return !drive.Unclaimed && !drive.Unreached &&
           (drive.Outcome == FlashOutcome::Completed || drive.Outcome == FlashOutcome::Rehearsed);
}
bool Refused(const DriveEnding& drive) {
    return !drive.Unclaimed && !drive.Unreached &&
           (drive.Outcome == FlashOutcome::RevisionRefused || drive.Outcome == FlashOutcome::Declined);
}
}  // namespace

int ExitCodeOf(std::span<const DriveEnding> drives) {
    std::size_t succeeded = 0, busy = 0, refused = 0, unreached = 0;
    bool commitFailed = false;
    for (const DriveEnding& drive : drives) {
        succeeded += Succeeded(drive) ? 1 : 0;
        busy += drive.Unclaimed ? 1 : 0;
        unreached += drive.Unreached ? 1 : 0;
        refused += Refused(drive) ? 1 : 0;
        commitFailed = commitFailed || (!drive.Unclaimed && !drive.Unreached && drive.Outcome == FlashOutcome::CommitFailed);
    }
    if (succeeded == drives.size())
        return ExitCode::Success;
    if (succeeded > 0)
        return ExitCode::PartialSuccess;
    if (commitFailed)
        return ExitCode::FailedAtCommit;
    if (busy > 0 && busy == drives.size() - unreached)
        return ExitCode::Busy;
    if (refused == drives.size())
        return ExitCode::Refused;
    return ExitCode::FailedBeforeCommit;
}

int ExitCodeOf(FlashOutcome outcome) {
    const DriveEnding drive{outcome, false};
    return ExitCodeOf(std::span<const DriveEnding>(&drive, 1));
}

int VerifyExitCode(const TrustDecision& decision) {
    using Kind = TrustDecision::Kind;
    switch (decision.Result) {
    case Kind::Trusted: return ExitCode::Success;
    case Kind::Damaged: return ExitCode::VerifyDamaged;
    case Kind::UnsignedAllowed:
    case Kind::UnsignedRefused: return ExitCode::VerifyUnsigned;
    case Kind::UntrustedAllowed:
    case Kind::UntrustedRefused: return ExitCode::VerifyUntrusted;
    case Kind::UserKeyOnlyRefused:
    case Kind::PartlySignedRefused: return ExitCode::VerifyPolicy;
    }
    return ExitCode::VerifyDamaged;
}
