// SPDX-License-Identifier: Apache-2.0
#include "platform/DriveId.h"

#include "base/Sha256.h"

std::optional<std::string> DriveIdOf(const DriveCandidate& candidate) {
    if (candidate.PhysicalPath.empty())
        return std::nullopt;
    return Sha256Hex(reinterpret_cast<const uint8_t*>(candidate.PhysicalPath.data()), candidate.PhysicalPath.size());
}
