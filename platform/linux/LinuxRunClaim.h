// SPDX-License-Identifier: Apache-2.0
#pragma once
// A run's claim of a drive on Linux: the CD-ROM block node held exclusively and the
// system's sleep and shutdown inhibitor, both given back when the claim goes.

#include "platform/linux/LinuxPlatform.h"

class LinuxPlatform::Claim final : public RunClaim {
public:
    Claim(LinuxPlatform& owner, PlatformHandle handle) : Owner(&owner), Handle(handle) {}
    ~Claim() override {
        if (Owner)
            Owner->GiveBack(*this);
    }

    LinuxPlatform* Owner;  // null once given back
    PlatformHandle Handle;
    int BlockFd = -1;
    HeldProcess Inhibitor;
};
