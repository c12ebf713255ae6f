// SPDX-License-Identifier: Apache-2.0
#include "image/CopyVerdict.h"

#include "image/Signature.h"

CopyVerdict JudgeCopy(const CopyAreas& copy, const TrustedKeys& trusted) {
    using State = CopyVerdict::State;
    const IdentityBlock utility = copy.View();
    CopyVerdict verdict;
    verdict.Seal = JudgeSeal(utility, copy.Seal, copy.Version, copy.PlaceDamage);
    const SignatureCheck signature = CheckSignature(utility, copy.Seal, copy.Version, copy.Signature);
    if (signature.Result != SignatureCheck::State::Unsigned && signature.Signer != PublicKeyBytes{})
        verdict.Fingerprint = KeyFingerprint(signature.Signer);
    if (verdict.Seal.Result == SealCheck::State::Damaged) {
        verdict.Cause = verdict.Seal.Cause;
        return verdict;
    }
    switch (signature.Result) {
    case SignatureCheck::State::Broken: verdict.Cause = signature.Cause; return verdict;
    case SignatureCheck::State::Unsigned: verdict.Result = State::Unsigned; return verdict;
    case SignatureCheck::State::Valid: break;
    }
    // Only the builder signs, and it seals what it signs: a signed copy without a seal was changed.
    if (verdict.Seal.Result != SealCheck::State::Intact) {
        verdict.Cause = "it is signed but not sealed";
        return verdict;
    }
    if (const TrustedKey* key = trusted.Find(signature.Signer)) {
        verdict.Result = State::Trusted;
        verdict.Signer = key->Name;
        verdict.SystemTrusted = key->System;
    } else {
        verdict.Result = State::Untrusted;
    }
    return verdict;
}

const char* VerdictName(CopyVerdict::State state) {
    switch (state) {
    case CopyVerdict::State::Trusted: return "trusted";
    case CopyVerdict::State::Untrusted: return "untrusted";
    case CopyVerdict::State::Damaged: return "damaged";
    case CopyVerdict::State::Unsigned: return "unsigned";
    }
    return "damaged";
}

std::string VerdictLine(const CopyVerdict& verdict) {
    switch (verdict.Result) {
    case CopyVerdict::State::Trusted: return "signed by " + verdict.Signer + " (" + verdict.Fingerprint + ")";
    case CopyVerdict::State::Untrusted:
        return "signed by a key not trusted here (" + verdict.Fingerprint + ")";
    case CopyVerdict::State::Damaged: return "damaged: " + verdict.Cause;
    case CopyVerdict::State::Unsigned: return "not signed";
    }
    return {};
}

std::string PolicyRefusal(const CopyVerdict& verdict, const SignaturePolicy& policy) {
    if (!policy.RequireSignature)
        return {};
    const std::string rule = "the system's policy requires a signature by a key in " + SystemTrustDirectory();
    switch (verdict.Result) {
    case CopyVerdict::State::Trusted:
        if (verdict.SystemTrusted)
            return {};
        return "it is signed by " + verdict.Signer + ", a key only this user trusts; " + rule;
    case CopyVerdict::State::Untrusted: return "it is signed by a key not trusted here (" + verdict.Fingerprint + "); " + rule;
    case CopyVerdict::State::Unsigned: return "it is not signed; " + rule;
    case CopyVerdict::State::Damaged: return "it is damaged (" + verdict.Cause + ")";
    }
    return rule;
}
