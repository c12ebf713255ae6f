// SPDX-License-Identifier: Apache-2.0
#include "scsi/Commands.h"

#include <initializer_list>

namespace {

Command Make(std::initializer_list<uint8_t> bytes, uint8_t direction = DirectionIn, uint32_t length = 0) {
    Command command;
    std::size_t i = 0;
    for (uint8_t b : bytes)
        command.Cdb[i++] = b;
    command.Direction = direction;
    command.Length = length;
    return command;
}

uint8_t Byte(uint32_t value, int shift) { return uint8_t(value >> shift); }

Command WriteBuffer(uint32_t offset, uint32_t count, uint8_t code, uint8_t direction, uint32_t length) {
    using namespace BufferField;
    return Make({Opcode::WriteBuffer, WriteMode, BufferId, Byte(offset, 16), Byte(offset, 8), Byte(offset, 0),
                 Byte(count, 16), Byte(count, 8), Byte(count, 0), code},
                direction, length);
}

Command ReadBuffer(uint32_t offset, uint32_t count) {
    using namespace BufferField;
    return Make({Opcode::ReadBuffer, ReadMode, BufferId, Byte(offset, 16), Byte(offset, 8), Byte(offset, 0),
                 Byte(count, 16), Byte(count, 8), Byte(count, 0)},
                DirectionIn, count);
}

Command ByteWrite(uint16_t address, uint8_t value, uint8_t direction, uint32_t length) {
    return Make({Opcode::Vendor, VendorCode::ByteWrite, 0, 0, 0, 0, 0, Byte(address, 8), Byte(address, 0), value},
                direction, length);
}

}  // namespace

namespace Commands {

Command TestUnitReady() { return Make({Opcode::TestUnitReady}); }
Command Inquiry() { return Make({Opcode::Inquiry, 0, 0, 0, CommandLength::Inquiry}, DirectionIn, CommandLength::Inquiry); }
Command LoadMedium() { return Make({Opcode::StartStopUnit, 0, 0, 0, 0x03}); }
Command StopUnit() { return Make({Opcode::StartStopUnit}); }
Command StopPlayScan() { return Make({Opcode::StopPlayScan}); }
Command ReadCapacity() { return Make({Opcode::ReadCapacity}, DirectionIn, CommandLength::Capacity); }

Command WriteChunk(uint32_t offset, uint32_t count) {
    return WriteBuffer(offset, count, WriteBufferCode::Data, DirectionOut, count);
}
Command ReadChunk(uint32_t offset, uint32_t count) { return ReadBuffer(offset, count); }

Command WriteProfile(bool dvd, uint32_t length) {
    return WriteBuffer(dvd ? 0 : ProfileAreaOffset, length, WriteBufferCode::Profile, DirectionOut, length);
}
Command ReadProfile(uint32_t length) { return ReadBuffer(ProfileAreaOffset, length); }

// Entry critical has no data phase and goes out as data in; the same bytes sent as data out
// are an empty profile upload.
Command EntryCritical() { return WriteBuffer(0, 0, WriteBufferCode::Profile, DirectionIn, 0); }

Command Commit(bool flashAll) {
    Command commit = WriteBuffer(0, 0, flashAll ? WriteBufferCode::CommitAll : WriteBufferCode::Commit, DirectionIn,
                                 CommandLength::CommitAnswer);
    commit.Timeout = CommitTimeoutSeconds;
    return commit;
}

Command ReadFlashId() { return Make({Opcode::Vendor, VendorCode::FlashInfo, 0x00}, DirectionIn, CommandLength::FlashInfo); }
Command ReadFlashZone() { return Make({Opcode::Vendor, VendorCode::FlashInfo, 0x01}, DirectionIn, CommandLength::FlashInfo); }
Command WriteE2(uint16_t address, uint8_t value) { return ByteWrite(address, value, DirectionIn, 0); }
Command WriteFlash(uint16_t address, uint8_t value) { return ByteWrite(address, value, DirectionOut, 1); }

}  // namespace Commands

std::string CommandName(const Command& command) {
    switch (command.Cdb[0]) {
    case Opcode::TestUnitReady: return "TEST UNIT READY";
    case Opcode::Inquiry: return "INQUIRY";
    case Opcode::StartStopUnit: return "START STOP UNIT";
    case Opcode::ReadCapacity: return "READ CAPACITY";
    case Opcode::WriteBuffer: return "WRITE BUFFER";
    case Opcode::ReadBuffer: return "READ BUFFER";
    case Opcode::StopPlayScan: return "STOP PLAY/SCAN";
    case Opcode::Vendor:
        if (command.Cdb[1] == VendorCode::ByteWrite)
            return "vendor BYTE WRITE";
        if (command.Cdb[1] == VendorCode::FlashInfo)
            return "vendor FLASH INFO";
        return "vendor command";
    }
    static constexpr char Hex[] = "0123456789ABCDEF";
    return std::string("OPERATION ") + Hex[command.Cdb[0] >> 4] + Hex[command.Cdb[0] & 0x0F];
}
