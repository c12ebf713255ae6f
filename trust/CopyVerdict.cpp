// SPDX-License-Identifier: Apache-2.0
#include "trust/CopyVerdict.h"

#include "trust/Signature.h"
#include "ui/Translate.h"

CopyVerdict JudgeCopy(const CopyAreas& copy, const TrustedKeys& trusted) {
    using State = CopyVerdict::State;
    const IdentityBlock utility = copy.View();
    CopyVerdict verdict;
    verdict.Seal = JudgeSeal(utility, copy.Seal, copy.Version, copy.PlaceDamage);
    const SignatureCheck signature = CheckSignature(utility, copy.Seal, copy.Version, copy.Signature);
    verdict.Sent = utility.SentImageLength();
    if (verdict.Seal.Result == SealCheck::State::Intact) {
        verdict.SealCovers = verdict.Seal.Covered;
        verdict.SealCoversLess = verdict.Seal.CoversLessThanSent();
    }
    if (signature.Result == SignatureCheck::State::Valid) {
        verdict.SignatureCovers = signature.Covered;
        verdict.SignatureCoversLess = signature.CoversLessThanSent();
    }
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
        verdict.Cause = N_("it is signed but not sealed");
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

// The cause is kept in English (JSON records it) and put into the user's language here,
// where a person reads it; a cause without a translation stays as it is.
static const char* CauseInLanguage(const CopyVerdict& verdict) { return _(verdict.Cause.c_str()); }

std::string VerdictLine(const CopyVerdict& verdict) {
    switch (verdict.Result) {
    case CopyVerdict::State::Trusted:
        return FormatText(_("signed by %s (%s)"), verdict.Signer.c_str(), verdict.Fingerprint.c_str());
    case CopyVerdict::State::Untrusted:
        return FormatText(_("signed by a key not trusted here (%s)"), verdict.Fingerprint.c_str());
    case CopyVerdict::State::Damaged: return FormatText(_("damaged: %s"), CauseInLanguage(verdict));
    case CopyVerdict::State::Unsigned: return _("not signed");
    }
    return {};
}

std::string ShortCoverage(const CopyVerdict& verdict) {
    const bool seal = verdict.SealCoversLess, signature = verdict.SignatureCoversLess;
    if ((!seal && !signature) || verdict.Result == CopyVerdict::State::Damaged)
        return {};
    const std::string covered = std::to_string(signature ? verdict.SignatureCovers : verdict.SealCovers),
                      sent = std::to_string(verdict.Sent);
    const char* text =
        seal && signature ? _("its seal and its signature cover only the first %s of the %s bytes it sends to the drive")
        : seal            ? _("its seal covers only the first %s of the %s bytes it sends to the drive")
                          : _("its signature covers only the first %s of the %s bytes it sends to the drive");
    return FormatText(text, covered.c_str(), sent.c_str());
}
