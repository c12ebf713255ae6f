// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's exit codes. The one rule that turns how a flash session ended into one of
// them is ExitCodeOf (session/DriveEnding.h); --verify's is VerifyExitCode below.

#include "trust/TrustDecision.h"

namespace ExitCode {
constexpr int Success = 0;
constexpr int Usage = 2;
constexpr int NoDrive = 3;             // no drive, or none qualifies
constexpr int Refused = 4;             // revision refused, or the person declined
constexpr int Busy = 5;                // drive busy or permission denied
constexpr int FailedBeforeCommit = 6;  // nothing changed in the drive
constexpr int FailedAtCommit = 7;      // at or after the commit
constexpr int ReplayDiverged = 8;      // a replayed run sent a command the recording does not hold
constexpr int PartialSuccess = 9;      // --all: some drives completed, others did not
constexpr int NothingToDo = 10;        // every qualifying drive already has this revision or a newer one
constexpr int Failure = 1;             // anything else (build failures, I/O errors)
// --verify's own codes, a command apart from the flash runs: why a copy is not one to trust
// (0 only for an intact copy signed by a trusted key). 10 there is not NothingToDo.
constexpr int VerifyDamaged = 10;    // its seal or signature does not match
constexpr int VerifyUnsigned = 11;   // not signed
constexpr int VerifyUntrusted = 12;  // signed by a key not trusted here
constexpr int VerifyPolicy = 13;     // signed by a key the user trusts, not the system's policy
}  // namespace ExitCode

// --verify's code for the decision on a copy: 0 for a trusted one, else the Verify code of
// why not; a copy the policy refuses keeps the code of its verdict, except that a trusted
// key's signature the policy does not count is VerifyPolicy.
int VerifyExitCode(const TrustDecision& decision);
