// SPDX-License-Identifier: Apache-2.0
// The virtual drive over arbitrary command streams: each command is 12 CDB bytes, a
// direction byte and a 16-bit length, sent through the drive class as a program would
// (lengths beyond the drive's 16 KiB buffer are refused unsent).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/SilentUserInterface.h"
#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SilentUserInterface ui;
    VirtualDriveConfig config;
    config.ReadyPolls = 2;
    VirtualPlatform platform(config);
    platform.SetInstantSleep(true);
    CDDrive drive(platform, platform.Drive(0).Address(), &ui);
    if (!drive.IsOpen())
        __builtin_trap();
    for (std::size_t at = 0; at + 15 <= size; at += 15) {
        const uint8_t* c = data + at;
        const uint32_t length = uint32_t(c[13]) << 8 | c[14];
        drive.ExecCommand(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], length);
    }
    if (platform.Drive(0).Memory().size() != VirtualDrive::MemorySize)
        __builtin_trap();
    return 0;
}
