// SPDX-License-Identifier: Apache-2.0
#include "trust/TrustDecision.h"

#include "trust/TrustedKeys.h"
#include "ui/Translate.h"

TrustDecision DecideTrust(const CopyVerdict& verdict, const SignaturePolicy& policy) {
    using State = CopyVerdict::State;
    using Kind = TrustDecision::Kind;
    TrustDecision decision;
    if (verdict.Result == State::Damaged)
        return decision;
    if (!policy.RequireSignature) {
        decision.Result = verdict.Result == State::Trusted     ? Kind::Trusted
                          : verdict.Result == State::Untrusted ? Kind::UntrustedAllowed
                                                               : Kind::UnsignedAllowed;
        return decision;
    }
    const std::string rule =
        FormatText(_("the system's policy requires a signature by a key in %s"), SystemTrustDirectory().c_str());
    const bool signedCopy = verdict.Result == State::Trusted || verdict.Result == State::Untrusted;
    // A signature that leaves bytes sent to the drive uncovered signs not what is flashed.
    if (signedCopy && verdict.SignatureCoversLess) {
        decision.Result = verdict.Result == State::Trusted ? Kind::PartlySignedRefused : Kind::UntrustedRefused;
        decision.Refusal = FormatText(_("it is not signed over every byte it sends (%s, as an earlier version signed); %s"),
                                      ShortCoverage(verdict).c_str(), rule.c_str());
        return decision;
    }
    switch (verdict.Result) {
    case State::Trusted:
        if (verdict.SystemTrusted) {
            decision.Result = Kind::Trusted;
            return decision;
        }
        decision.Result = Kind::UserKeyOnlyRefused;
        decision.Refusal = FormatText(_("it is signed by %s, a key only this user trusts; %s"), verdict.Signer.c_str(),
                                      rule.c_str());
        return decision;
    case State::Untrusted:
        decision.Result = Kind::UntrustedRefused;
        decision.Refusal = FormatText(_("it is signed by a key not trusted here (%s); %s"), verdict.Fingerprint.c_str(),
                                      rule.c_str());
        return decision;
    case State::Unsigned:
        decision.Result = Kind::UnsignedRefused;
        decision.Refusal = FormatText(_("it is not signed; %s"), rule.c_str());
        return decision;
    case State::Damaged: break;
    }
    return decision;
}
