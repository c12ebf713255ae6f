// SPDX-License-Identifier: Apache-2.0
// flashutil --verify [FILE]: whether this program, or the copy in FILE, is one to trust: exit
// 0 only for an intact copy signed by a trusted key (and, under the administrator's policy,
// by a key in the system's directory); otherwise one line saying why, and a code of its own
// for each reason. Makers and fleets call it before they ship or run a utility. Nothing is
// sent to any drive and nothing of FILE is run.

#include <cstdio>
#include <string>

#include "flash/FlashTexts.h"
#include "flash/ExitCodes.h"
#include "trust/CopyVerdict.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustDecision.h"
#include "trust/TrustedKeys.h"
#include "platform/PrintableText.h"
#include "app/commands/Commands.h"
#include "areas/UtilityFile.h"
#include "ui/Translate.h"

int RunVerify(const Options& options) {
    UtilityCopy subject;
    std::string why;
    // The verdict rests on the areas alone: the file is not hashed.
    if (!LoadUtilityCopy(options.Subject.value_or(""), subject, why, WholeFileHash::Leave)) {
        std::fprintf(stderr, "flashutil: %s\n", PrintableText(why).c_str());
        return ExitCode::Failure;
    }
    const std::string name = PrintableText(subject.File.empty() ? _("this program") : subject.File);
    const TrustedKeys trusted = InstalledTrustedKeys();
    // A key file that holds no key trusts nobody; said, so that its owner can mend it.
    for (const std::string& problem : trusted.Problems())
        std::fprintf(stderr, "flashutil: %s\n",
                     FormatText(_("warning: trusted key %s"), PrintableText(problem).c_str()).c_str());
    const CopyVerdict verdict = JudgeCopy(subject.Areas, trusted);
    const std::string line = name + ": " + PrintableText(VerdictLine(verdict));
    // An earlier version's copy may be sealed and signed over less than what a run sends.
    if (const std::string coverage = ShortCoverage(verdict); !coverage.empty())
        std::fprintf(stderr, "flashutil: %s\n", PrintableText(FlashTexts::PartlyCoveredUtility(name, coverage)).c_str());
    const SignaturePolicy policy = ReadSignaturePolicy(SignaturePolicyPath());
    const TrustDecision decision = DecideTrust(verdict, policy);
    switch (decision.Result) {
    case TrustDecision::Kind::Trusted: break;
    // A trusted key's signature the policy does not count: its refusal, in its words.
    case TrustDecision::Kind::UserKeyOnlyRefused:
    case TrustDecision::Kind::PartlySignedRefused: {
        std::string why = PrintableText(decision.Refusal);
        if (!policy.Problem.empty())
            why += " (" + PrintableText(policy.Problem) + ")";
        std::fprintf(stderr, "flashutil: %s\n", FormatText(_("%s: refused: %s"), name.c_str(), why.c_str()).c_str());
        return VerifyExitCode(decision);
    }
    // Damaged, unsigned or untrusted: what the verdict is, whatever the policy.
    default: std::fprintf(stderr, "flashutil: %s\n", line.c_str()); return VerifyExitCode(decision);
    }
    if (!policy.Problem.empty())
        std::fprintf(stderr, "flashutil: %s\n",
                     FormatText(_("warning: the system's policy is read as RequireSignature=yes: %s"),
                                PrintableText(policy.Problem).c_str())
                         .c_str());
    std::printf("%s\n", line.c_str());
    return VerifyExitCode(decision);
}
