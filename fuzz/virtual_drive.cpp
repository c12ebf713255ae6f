// SPDX-License-Identifier: Apache-2.0
// The virtual drive over arbitrary command streams: each command is 12 CDB bytes, a
// direction byte and a 16-bit length, sent through the drive class as a program would
// (lengths beyond the drive's 16 KiB buffer are refused unsent).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"

namespace {

VirtualPlatform& SharedPlatform() {
    static VirtualPlatform platform = [] {
        VirtualDriveConfig config;
        config.ReadyPolls = 2;
        return VirtualPlatform(config);
    }();
    return platform;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every input meets a drive as new; its memory is reused rather than allocated again.
    VirtualPlatform& platform = SharedPlatform();
    platform.RenewDrives();
    platform.SetInstantSleep(true);
    const std::unique_ptr<CDDrive> drive = CDDrive::Open(platform, platform.Drive(0).Address()).Take();
    if (!drive)
        __builtin_trap();
    for (std::size_t at = 0; at + 15 <= size; at += 15) {
        const uint8_t* c = data + at;
        Command command;
        std::copy(c, c + 12, command.Cdb.begin());
        command.Direction = c[12];
        command.Length = uint32_t(c[13]) << 8 | c[14];
        drive->Execute(command);
    }
    if (platform.Drive(0).Memory().size() != VirtualDrive::MemorySize)
        __builtin_trap();
    return 0;
}
