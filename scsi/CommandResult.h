// SPDX-License-Identifier: Apache-2.0
#pragma once
// How one command ended, decoded once from what the platform brought back, so that no
// caller has to read raw sense bytes or status values again.

#include <cstdint>

#include "platform/Platform.h"

enum class CommandCategory {
    Good,            // carried out: good status, no sense
    CheckCondition,  // the drive refused or failed it and said why (sense key, ASC, ASCQ)
    StatusOnly,      // a status other than good (busy, reservation conflict) and no sense
    TransportError,  // the command never completed: timed out, reset, the drive gone
    SystemError,     // the system call itself failed (a bad handle, no access, no memory)
};

struct CommandResult {
    CommandCategory Category = CommandCategory::Good;
    uint8_t Status = 0;
    uint8_t SenseKey = 0;  // sense byte 2 taken whole (the key and its flag bits)
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    uint32_t Residual = 0;  // bytes of the data phase the drive did not move
    int SystemError = 0;    // errno-style code for a transport or system error, else 0

    bool Good() const { return Category == CommandCategory::Good; }
    // The drive received the command and answered it, well or not.
    bool Delivered() const {
        return Category != CommandCategory::TransportError && Category != CommandCategory::SystemError;
    }

    static CommandResult From(const CommandOutcome& outcome);
    // A command refused before it was sent (the system error says why).
    static CommandResult Refused(int error, uint32_t length);
};
