// SPDX-License-Identifier: Apache-2.0
#pragma once
// The one verdict on a copy's seal and signature, computed here and shown the same way by
// the run, the window, --info, --verify, the history and the JSON stream:
//   Trusted    intact and signed by a trusted key (its name and fingerprint)
//   Untrusted  intact and signed by a key not trusted here (its fingerprint; a warning)
//   Damaged    its seal or its signature does not match, or its areas can't be trusted:
//              refused before any drive command
//   Unsigned   intact or unsealed as before, without a signature
// What the administrator's policy makes of it is TrustDecision.h's to say. A copy made by an
// earlier version may be sealed and signed over its image alone, not over the area's bytes
// after it that its last chunk sends: that is said (ShortCoverage), and the policy counts such
// a copy as not signed.

#include <cstdint>
#include <string>

#include "areas/CopyAreas.h"
#include "areas/IdentityBlock.h"
#include "areas/Seal.h"
#include "trust/TrustedKeys.h"

struct CopyVerdict {
    enum class State { Trusted, Untrusted, Damaged, Unsigned } Result = State::Damaged;
    SealCheck Seal;           // the seal's own verdict
    std::string Cause;        // what is damaged, in English (marked N_() where it is written)
    std::string Signer;       // the trusted key's name
    std::string Fingerprint;  // the signing key's, when signed (also when its signature is broken)
    bool SystemTrusted = false;  // the signer's key is in the system's directory
    // Of the image area's Sent bytes a run sends, how many the intact seal and the valid
    // signature cover (0: no seal, no signature).
    uint32_t Sent = 0, SealCovers = 0, SignatureCovers = 0;
    bool SealCoversLess = false, SignatureCoversLess = false;
};

CopyVerdict JudgeCopy(const CopyAreas& copy, const TrustedKeys& trusted);

// "trusted", "untrusted", "damaged", "unsigned": the word the JSON and the history use.
const char* VerdictName(CopyVerdict::State state);

// One line saying what the verdict is, for a person ("signed by NAME (SHA256:...)", ...), in
// the user's language.
std::string VerdictLine(const CopyVerdict& verdict);

// What an earlier version's seal or signature leaves uncovered of the bytes a run sends, in
// the user's language ("its seal covers only the first N of the M bytes it sends to the
// drive"); "" when they cover every byte sent (or there is neither).
std::string ShortCoverage(const CopyVerdict& verdict);
