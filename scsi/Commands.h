// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every command the program sends to a drive, each defined once: its 12-byte CDB, the
// direction of its data phase and that phase's length. The flash engine builds its
// commands here, the virtual drive reads them back with the same constants, and tests
// name the commands they expect by the same calls.

#include <array>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

struct Command {
    std::array<uint8_t, 12> Cdb{};
    uint8_t Direction = DirectionIn;
    uint32_t Length = 0;  // bytes of the data phase; 0 for none
    uint16_t Timeout = 0;  // seconds; 0: the drive's own timeout

    friend bool operator==(const Command&, const Command&) = default;
};

namespace Opcode {
constexpr uint8_t TestUnitReady = 0x00;
constexpr uint8_t Inquiry = 0x12;
constexpr uint8_t StartStopUnit = 0x1B;
constexpr uint8_t ReadCapacity = 0x25;
constexpr uint8_t WriteBuffer = 0x3B;
constexpr uint8_t ReadBuffer = 0x3C;
constexpr uint8_t StopPlayScan = 0x4E;
constexpr uint8_t Vendor = 0xDF;
}  // namespace Opcode

// WRITE BUFFER and READ BUFFER: byte 1 is the mode, byte 2 the buffer, bytes 3-5 the offset
// and 6-8 the count (big-endian); byte 9 of WRITE BUFFER says what the drive is to do.
namespace BufferField {
constexpr uint8_t WriteMode = 0x05;  // download microcode and save
constexpr uint8_t ReadMode = 0x01;   // data
constexpr uint8_t BufferId = 0x01;
}  // namespace BufferField

namespace WriteBufferCode {
constexpr uint8_t Data = 0x00;       // data into the drive's memory
constexpr uint8_t Profile = 0x7F;    // a flash-chip profile; with no data phase, entry critical
constexpr uint8_t Commit = 0x80;     // write the flash from the drive's memory
constexpr uint8_t CommitAll = 0xA0;  // the same, all of the flash
}  // namespace WriteBufferCode

// The vendor command: byte 1 selects what it does.
namespace VendorCode {
constexpr uint8_t ByteWrite = 0x0A;  // one byte to the E2 or the flash: bytes 7-8 address, 9 value
constexpr uint8_t FlashInfo = 0x11;  // byte 2: 0 the flash chip's identity, 1 its zone map
}  // namespace VendorCode

namespace CommandLength {
constexpr uint32_t Inquiry = 0x80;
constexpr uint32_t Capacity = 8;
constexpr uint32_t FlashInfo = 128;
constexpr uint32_t CommitAnswer = 16;  // the commit moves no data out; the drive may answer this much
}  // namespace CommandLength

// The drive writes its flash while the commit runs: it may take minutes to answer.
constexpr uint16_t CommitTimeoutSeconds = 180;

// Where a profile image's flash-chip profile goes in the drive's memory; a DVD image's goes to 0.
constexpr uint32_t ProfileAreaOffset = 0x080000;

// The command's name as SCSI documents call it ("WRITE BUFFER"), for error lines; the
// vendor command is named with what byte 1 selects. "OPERATION xx" for any other opcode.
std::string CommandName(const Command& command);

namespace Commands {
Command TestUnitReady();
Command Inquiry();
Command LoadMedium();  // START STOP UNIT, load and start
Command StopUnit();    // START STOP UNIT, stop
Command StopPlayScan();
Command ReadCapacity();

// The image in pieces: count bytes at offset of the drive's memory.
Command WriteChunk(uint32_t offset, uint32_t count);
Command ReadChunk(uint32_t offset, uint32_t count);
// The flash-chip profile of length bytes: at ProfileAreaOffset, or at 0 for a DVD drive.
Command WriteProfile(bool dvd, uint32_t length);
Command ReadProfile(uint32_t length);
Command EntryCritical();
Command Commit(bool flashAll);

Command ReadFlashId();
Command ReadFlashZone();
Command WriteE2(uint16_t address, uint8_t value);
Command WriteFlash(uint16_t address, uint8_t value);
}  // namespace Commands

// A 24-bit big-endian field of a CDB (offsets and counts of the buffer commands).
constexpr uint32_t Field24(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 16 | uint32_t(bytes[1]) << 8 | bytes[2];
}
