// SPDX-License-Identifier: Apache-2.0
#pragma once
// A drive's id: the SHA-256 (hex) of where it sits in the machine (its physical path), so the
// same drive has the same id across boots, replugs into the same port and renumbered nodes,
// while its node (/dev/sgN) may change. Every output that names a drive gives it beside the node.

#include <optional>
#include <string>

#include "platform/Platform.h"

// None when the system does not tell where the drive sits.
std::optional<std::string> DriveIdOf(const DriveCandidate& candidate);
