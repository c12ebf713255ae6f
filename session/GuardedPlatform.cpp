// SPDX-License-Identifier: Apache-2.0
#include "session/GuardedPlatform.h"

#include <cerrno>


std::vector<DriveCandidate> GuardedPlatform::EnumerateOpticalDrives() {
    Candidates_ = Inner_.EnumerateOpticalDrives();
    return Candidates_;
}

const DriveCandidate* GuardedPlatform::CandidateAt(const std::string& devicePath) const {
    for (const DriveCandidate& candidate : Candidates_)
        if (candidate.DevicePath == devicePath)
            return &candidate;
    return nullptr;
}

OpenOutcome GuardedPlatform::Open(const DriveAddress& address) {
    const OpenOutcome opened = Inner_.Open(address);
    if (!opened.Opened())
        OpenFailures_.push_back({Inner_.DevicePath(address), opened.Error});
    return opened;
}

bool GuardedPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                           uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    Stops_.Hold(true);
    const bool ok = Inner_.Send(handle, cdb, direction, buffer, length, timeoutSeconds, outcome);
    Stops_.Hold(false);
    return ok;
}

const GuardedPlatform::OpenFailure* GuardedPlatform::BusyOrDenied() const {
    for (const OpenFailure& failure : OpenFailures_)
        if (failure.Error == EBUSY || failure.Error == EACCES || failure.Error == EPERM)
            return &failure;
    return nullptr;
}
