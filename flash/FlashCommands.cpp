// The drive's memory and flash commands. Each sends one command (see scsi/Commands.h) to the
// target drive through the class-wide transfer buffer and judges the outcome.

#include <cstring>

#include "flash/FlashEngine.h"

bool FlashEngine::WriteBuffer(uint32_t offset, const uint8_t* data, uint8_t code, uint32_t count) {
    if (code == WriteBufferCode::Commit || code == WriteBufferCode::CommitAll)
        return Judge(Send(Commands::Commit(code == WriteBufferCode::CommitAll)), "Write Buffer> ");
    if (!FitsTransferBuffer(count, "Write Buffer> "))
        return false;
    if (count != 0)
        std::memcpy(CDDrive::Buffer(), data, count);
    Command command = Commands::WriteChunk(offset, count);
    command.Cdb[9] = code;
    return Judge(Send(command), "Write Buffer> ");
}

bool FlashEngine::ReadBuffer(uint32_t offset, uint8_t* data, uint32_t count) {
    if (!FitsTransferBuffer(count, "Read Buffer> "))
        return false;
    if (!Judge(Send(Commands::ReadChunk(offset, count)), "Read Buffer> "))
        return false;
    if (count != 0)
        std::memcpy(data, CDDrive::Buffer(), count);
    return true;
}

bool FlashEngine::WriteE2(const uint8_t* data, uint16_t address, uint8_t count) {
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t at = uint16_t(address + i);  // wraps at 16 bits
        if (!Judge(Send(Commands::WriteE2(at, data[i])), "Write E2> "))
            return false;
    }
    return true;
}

bool FlashEngine::WriteFlash(uint16_t address, uint8_t value) {
    return Judge(Send(Commands::WriteFlash(address, value)), "Write Flash> ");
}

bool FlashEngine::ReadFlashZone() {
    return Judge(Send(Commands::ReadFlashZone()), "Read Flash Zone Map > ");
}

bool FlashEngine::EntryCritical() {
    return Judge(Send(Commands::EntryCritical()), "Entry critical> ");
}

bool FlashEngine::CheckDisc() {
    Send(Commands::ReadCapacity());
    return TargetDrive->SenseIs(0x02, 0x3A);
}
