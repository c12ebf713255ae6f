// SPDX-License-Identifier: Apache-2.0
#pragma once
// The administrator's policy, in <system configuration>/flashutil.conf (/etc/flashutil as
// installed): lines of KEY=VALUE, '#' starting a comment. RequireSignature=yes makes every
// mode refuse, before any drive command, a copy that is not signed by a key in the system's
// directory of trusted keys. Nothing a user sets (environment, options, the user's own
// trusted keys) weakens it. An administrator's mistake fails closed: the policy requires
// signatures when the file exists but can't be read (a symbolic link that leads nowhere, a
// FIFO, a device, a file longer than 64 KiB), when it or its directory can be changed by
// others than its owner or is owned by another user than root or the reader, and when any
// line is neither blank, a comment nor RequireSignature=yes or no (spaces and tabs around
// the key and the value allowed; a carriage return is not, so CRLF line ends fail closed).

#include <string>

struct SignaturePolicy {
    bool RequireSignature = false;
    std::string Problem;  // "<file>: <cause>" or "<file>:<line>: <cause>" when it could not be read as written
};

// Reads the policy file at path; no file is no requirement.
SignaturePolicy ReadSignaturePolicy(const std::string& path);

// The installed policy file's path.
std::string SignaturePolicyPath();
