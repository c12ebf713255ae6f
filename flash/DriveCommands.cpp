// SPDX-License-Identifier: Apache-2.0
#include "flash/DriveCommands.h"

#include <cstring>

#include "flash/FlashTexts.h"

namespace P = FlashTexts::Prefix;

CommandResult DriveCommands::Send(const Command& command) {
    LastCommand_ = command;
    return Drive_.Execute(command);
}

bool DriveCommands::Unjudged(const Command& command, const char* name) {
    Send(command);
    return Reached(name);
}

bool DriveCommands::Reached(const char* name) {
    const CommandResult& result = Drive_.LastResult();
    if (result.Delivered())
        return true;
    if (!Failure_)
        Failure_ = FailedCommand{name, LastCommand_, result};
    return false;
}

// A command succeeded when the drive left no sense. Two more outcomes leave the sense bytes
// at zero although the command was not carried out, and count as failures too: a platform
// call that failed before the drive answered (a timeout, a drive gone), and a status other
// than GOOD without sense (busy, reservation conflict). Otherwise a commit that never ran
// could be reported as a finished flash.
bool DriveCommands::Judged(const Command& command, const char* prefix) {
    const CommandResult result = Send(command);
    if (result.Good())
        return true;
    Keep(prefix, command, result);
    Answers_.Show(std::string(prefix) + Drive_.ErrorText(), MessageKind::Plain);
    return false;
}

void DriveCommands::Keep(const char* prefix, const Command& command, const CommandResult& result) {
    if (Failure_)
        return;
    std::string name = prefix;
    name = name.substr(0, name.find('>'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    Failure_ = FailedCommand{name, command, result};
}

bool DriveCommands::FitsTransferBuffer(uint32_t count, const char* prefix) {
    const uint32_t room = CDDrive::BufferLength();
    if (count <= room)
        return true;
    Answers_.Show(FlashTexts::TransferTooLong(prefix, count, room), MessageKind::Plain);
    return false;
}

bool DriveCommands::WriteBuffer(uint32_t offset, const uint8_t* data, uint8_t code, uint32_t count) {
    if (code == WriteBufferCode::Commit || code == WriteBufferCode::CommitAll)
        return Judged(Commands::Commit(code == WriteBufferCode::CommitAll), P::WriteBuffer);
    if (!FitsTransferBuffer(count, P::WriteBuffer))
        return false;
    if (count != 0)
        std::memcpy(Drive_.Buffer(), data, count);
    Command command = Commands::WriteChunk(offset, count);
    command.Cdb[9] = code;
    return Judged(command, P::WriteBuffer);
}

bool DriveCommands::ReadBuffer(uint32_t offset, uint8_t* data, uint32_t count) {
    if (!FitsTransferBuffer(count, P::ReadBuffer))
        return false;
    if (!Judged(Commands::ReadChunk(offset, count), P::ReadBuffer))
        return false;
    if (count != 0)
        std::memcpy(data, Drive_.Buffer(), count);
    return true;
}

bool DriveCommands::WriteE2(const uint8_t* data, uint16_t address, uint8_t count) {
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t at = uint16_t(address + i);  // wraps at 16 bits
        if (!Judged(Commands::WriteE2(at, data[i]), P::WriteE2))
            return false;
    }
    return true;
}

bool DriveCommands::WriteFlash(uint16_t address, uint8_t value) {
    return Judged(Commands::WriteFlash(address, value), P::WriteFlash);
}

bool DriveCommands::ReadFlashZone() { return Judged(Commands::ReadFlashZone(), P::ReadFlashZone); }

bool DriveCommands::EntryCritical() { return Judged(Commands::EntryCritical(), P::EntryCritical); }

bool DriveCommands::CheckDisc() {
    Send(Commands::ReadCapacity());
    return Drive_.SenseIs(0x02, 0x3A);
}
