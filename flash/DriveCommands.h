// SPDX-License-Identifier: Apache-2.0
#pragma once
// The drive's memory and flash commands as a flash run sends them. Each sends one command
// to the drive, judges how it ended and, when it failed, shows the command's message and
// keeps the failure for the run's report.

#include <cstdint>
#include <optional>
#include <string>

#include "scsi/CDDrive.h"
#include "ui/Answers.h"

// A command that failed, and how.
struct FailedCommand {
    std::string Name;  // "Write Buffer", "Read Buffer", ...
    Command Sent;
    CommandResult Result;
};

class DriveCommands {
public:
    DriveCommands(CDDrive& drive, Answers& answers) : Drive_(drive), Answers_(answers) {}

    // WRITE BUFFER of count bytes of data to offset with the given code; the commit codes
    // send the commit, which carries no data.
    bool WriteBuffer(uint32_t offset, const uint8_t* data, uint8_t code, uint32_t count);
    // READ BUFFER of count bytes at offset into data.
    bool ReadBuffer(uint32_t offset, uint8_t* data, uint32_t count);
    bool WriteE2(const uint8_t* data, uint16_t address, uint8_t count);
    bool WriteFlash(uint16_t address, uint8_t value);
    bool ReadFlashZone();
    bool EntryCritical();
    // True when the drive holds no disc (READ CAPACITY answers "no medium"). Whether the
    // command reached the drive at all is for the caller to ask (Reached()).
    bool CheckDisc();

    // Sends command and judges it: it succeeded when the platform call did and the drive left
    // no sense and a good status. Otherwise shows prefix + the drive's error text.
    bool Judged(const Command& command, const char* prefix);
    // Sends command without judging its answer (the readiness commands read the sense
    // themselves). A command that never reached the drive has no answer to read: then the
    // failure is kept under name and false is returned.
    bool Unjudged(const Command& command, const char* name);
    // Whether the last command sent reached the drive and came back with its answer, good or
    // not; when not, its failure is kept (the first one of the run).
    bool Reached(const char* name);
    // Refuses a transfer that would not fit the drive's transfer buffer, with prefix's message.
    bool FitsTransferBuffer(uint32_t count, const char* prefix);

    CDDrive& Drive() { return Drive_; }
    Answers& Messages() { return Answers_; }
    // The CDB of the last command sent.
    const std::array<uint8_t, 12>& LastCdb() const { return LastCommand_.Cdb; }
    // The first command that failed, if any; Forget() starts afresh.
    const std::optional<FailedCommand>& Failure() const { return Failure_; }
    void Forget() { Failure_.reset(); }

private:
    CommandResult Send(const Command& command);
    void Keep(const char* prefix, const Command& command, const CommandResult& result);

    CDDrive& Drive_;
    Answers& Answers_;
    Command LastCommand_;
    std::optional<FailedCommand> Failure_;
};
