// SPDX-License-Identifier: Apache-2.0
#pragma once
// A drive failure in words, for the error stream. The run shows the failed command's own
// text ("Write Buffer> 05 24 00. 02, 0000") where it always did; this line says on
// standard error which device, which command, and what the drive meant:
//   /dev/sg1: WRITE BUFFER failed: Illegal Request, Invalid field in cdb

#include <string>

#include "flash/FlashRun.h"
#include "platform/Platform.h"

// The line without the program's "flashutil: " prefix, or "" when the run has no command
// the drive answered with a failure: it succeeded, was refused before sending, or the
// command never reached the drive (a failure in the system, whose cause the caller says).
std::string DriveFailureInWords(const std::string& device, const FlashReport& report);

// A command the drive did not answer before its time was up, naming the device, the command
// and the time given (timeoutSeconds unless the command carries its own); "" for any other run.
std::string TimeoutInWords(const std::string& device, const FlashReport& report, unsigned timeoutSeconds);

// A completed commit after which the drive could not be identified again: why its new revision
// is not confirmed, then the same naming the device and how to check; "" for any other run.
std::string UnconfirmedCause(const FlashReport& report);
std::string UnconfirmedInWords(const std::string& device, const FlashReport& report, const std::string& newRevision);

// Whether a drive's command failed in the system rather than in the drive (a drive unplugged
// or reset, a timeout), in words naming the device and the cause; "" when it did not.
std::string TransportFailureInWords(const FlashReport& report, const std::string& device, const Platform& platform);
