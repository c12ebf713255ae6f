// SPDX-License-Identifier: Apache-2.0
#pragma once
// What is made of a copy's verdict (CopyVerdict.h) under the administrator's policy
// (SignaturePolicy.h): the one decision a run's start and --verify both act on, so that they
// never disagree about a copy. Only keys in the system's directory count under the policy,
// and only a signature over every byte a run sends.

#include <string>

#include "trust/CopyVerdict.h"
#include "trust/SignaturePolicy.h"

struct TrustDecision {
    enum class Kind {
        Trusted,              // intact and signed by a trusted key (a system's key over every byte sent, under the policy)
        Damaged,              // refused whatever the policy says
        UnsignedAllowed,      // not signed, and no policy asks for a signature
        UnsignedRefused,      // not signed, and the policy asks for a signature
        UntrustedAllowed,     // signed by a key not trusted here, without a policy (a warning)
        UntrustedRefused,     // signed by a key not trusted here, under the policy
        UserKeyOnlyRefused,   // signed by a key only this user trusts, under the policy
        PartlySignedRefused,  // a trusted key's signature leaves bytes sent uncovered, under the policy
    } Result = Kind::Damaged;
    // Why the policy refuses the copy, in the user's language; "" when it does not (and for a
    // damaged copy, whose cause the verdict holds).
    std::string Refusal;

    // Whether a run may go on with the copy.
    bool Allowed() const {
        return Result == Kind::Trusted || Result == Kind::UnsignedAllowed || Result == Kind::UntrustedAllowed;
    }
};

TrustDecision DecideTrust(const CopyVerdict& verdict, const SignaturePolicy& policy);
