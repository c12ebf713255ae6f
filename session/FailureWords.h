// SPDX-License-Identifier: Apache-2.0
#pragma once
// A drive failure in words, for the error stream. The run shows the failed command's own
// text ("Write Buffer> 05 24 00. 02, 0000") where it always did; this line says on
// standard error which device, which command, and what the drive meant:
//   /dev/sg1: WRITE BUFFER failed: Illegal Request, Invalid field in cdb

#include <string>

#include "flash/FlashRun.h"

// The line without the program's "flashutil: " prefix, or "" when the run has no command
// the drive answered with a failure: it succeeded, was refused before sending, or the
// command never reached the drive (a failure in the system, whose cause the caller says).
std::string DriveFailureInWords(const std::string& device, const FlashReport& report);
