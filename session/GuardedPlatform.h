// SPDX-License-Identifier: Apache-2.0
#pragma once
// The platform as a flash session uses it: passes everything to another platform,
// holds stop requests while each command runs (so that no command is broken off),
// remembers why devices could not be opened, so that a busy drive or a missing
// permission can be told apart from a missing drive, and the drives last enumerated.

#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "platform/StopRequests.h"

class GuardedPlatform : public ForwardingPlatform {
public:
    struct OpenFailure {
        std::string DevicePath;
        int Error = 0;
    };

    GuardedPlatform(Platform& inner, StopRequests& stops) : ForwardingPlatform(inner), Stops_(stops) {}

    // Every open that failed, in order.
    const std::vector<OpenFailure>& OpenFailures() const { return OpenFailures_; }
    // The first open that failed because the device is busy or access was denied; null when none.
    const OpenFailure* BusyOrDenied() const;
    // The drive of the last enumeration with this device path; null when none.
    const DriveCandidate* CandidateAt(const std::string& devicePath) const;

    std::vector<DriveCandidate> EnumerateOpticalDrives() override;

    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) override;

private:
    StopRequests& Stops_;
    std::vector<OpenFailure> OpenFailures_;
    std::vector<DriveCandidate> Candidates_;
};
