// SPDX-License-Identifier: Apache-2.0
#pragma once
// A platform that hands every operation to another one. Decorators (the command trace,
// the terminal's interrupt guard) derive from it and override only what they add to.

#include "platform/Platform.h"

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& inner) : Inner_(inner) {}

    std::vector<DriveCandidate> EnumerateOpticalDrives() override { return Inner_.EnumerateOpticalDrives(); }
    std::string DevicePath(const DriveAddress& address) const override { return Inner_.DevicePath(address); }
    OpenOutcome Open(const DriveAddress& address) override { return Inner_.Open(address); }
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) override {
        return Inner_.Send(handle, cdb, direction, buffer, length, timeoutSeconds, outcome);
    }
    void Close(PlatformHandle handle) override { Inner_.Close(handle); }
    std::string ErrorText(int code) const override { return Inner_.ErrorText(code); }
    void Sleep(unsigned milliseconds) override { Inner_.Sleep(milliseconds); }
    bool RequestRestart() override { return Inner_.RequestRestart(); }
    bool VirtualDrives() const override { return Inner_.VirtualDrives(); }
    std::unique_ptr<RunClaim> ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) override {
        return Inner_.ClaimForRun(handle, why, notice);
    }
    std::span<const uint8_t> StandInProfiles() const override { return Inner_.StandInProfiles(); }
    NodeDevice DeviceBehind(PlatformHandle handle) const override { return Inner_.DeviceBehind(handle); }

protected:
    Platform& Inner_;
};
