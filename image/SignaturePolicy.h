// SPDX-License-Identifier: Apache-2.0
#pragma once
// The administrator's policy, in <system configuration>/flashutil.conf (/etc/flashutil as
// installed): lines of KEY=VALUE, '#' starting a comment. RequireSignature=yes makes every
// mode refuse, before any drive command, a copy that is not signed by a key in the system's
// directory of trusted keys. Nothing a user sets (environment, options, the user's own
// trusted keys) weakens it. A policy file that exists but can't be read, or a
// RequireSignature value other than yes or no, is read as requiring signatures: an
// administrator's mistake fails closed.

#include <string>

struct SignaturePolicy {
    bool RequireSignature = false;
    std::string Problem;  // "<file>: <cause>" when the file could not be read as written
};

// Reads the policy file at path; no file is no requirement.
SignaturePolicy ReadSignaturePolicy(const std::string& path);

// The installed policy file's path.
std::string SignaturePolicyPath();
