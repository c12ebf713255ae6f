// SPDX-License-Identifier: Apache-2.0
#include "flash/ExitCodes.h"

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
