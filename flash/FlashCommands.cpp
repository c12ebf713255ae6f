// The drive's memory and flash commands. Each fills all 12 bytes of Cdb, sends it to the
// target drive through the class-wide transfer buffer and judges the outcome.

#include <cstring>

#include "flash/FlashEngine.h"

namespace {
constexpr uint8_t WriteBufferOp = 0x3B, ReadBufferOp = 0x3C, VendorOp = 0xDF, ReadCapacityOp = 0x25;
constexpr uint8_t ModeDownloadSave = 0x05, ModeData = 0x01, BufferId = 0x01;
constexpr uint8_t CommitCode = 0x80, CommitAllCode = 0xA0, ProfileCode = 0x7F;
// The commit carries no data out; the drive may answer up to 16 bytes.
constexpr uint32_t CommitAnswerLength = 16;
constexpr uint32_t FlashIdLength = 128, CapacityLength = 8;

uint8_t Byte(uint32_t value, int shift) { return uint8_t(value >> shift); }
}  // namespace

bool FlashEngine::WriteBuffer(uint32_t offset, const uint8_t* data, uint8_t code, uint32_t count) {
    SetCdb({WriteBufferOp, ModeDownloadSave, BufferId, Byte(offset, 16), Byte(offset, 8), Byte(offset, 0),
            Byte(count, 16), Byte(count, 8), Byte(count, 0), code});
    if (code == CommitCode || code == CommitAllCode)
        return Judge(SendCdb(DirectionIn, CommitAnswerLength), "Write Buffer> ");
    if (!FitsTransferBuffer(count, "Write Buffer> "))
        return false;
    if (count != 0)
        std::memcpy(CDDrive::Buffer(), data, count);
    return Judge(SendCdb(DirectionOut, count), "Write Buffer> ");
}

bool FlashEngine::ReadBuffer(uint32_t offset, uint8_t* data, uint32_t count) {
    SetCdb({ReadBufferOp, ModeData, BufferId, Byte(offset, 16), Byte(offset, 8), Byte(offset, 0), Byte(count, 16),
            Byte(count, 8), Byte(count, 0)});
    if (!FitsTransferBuffer(count, "Read Buffer> "))
        return false;
    if (!Judge(SendCdb(DirectionIn, count), "Read Buffer> "))
        return false;
    if (count != 0)
        std::memcpy(data, CDDrive::Buffer(), count);
    return true;
}

bool FlashEngine::WriteE2(const uint8_t* data, uint16_t address, uint8_t count) {
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t at = uint16_t(address + i);  // wraps at 16 bits
        SetCdb({VendorOp, 0x0A, 0, 0, 0, 0, 0, Byte(at, 8), Byte(at, 0), data[i]});
        if (!Judge(SendCdb(DirectionIn, 0), "Write E2> "))
            return false;
    }
    return true;
}

bool FlashEngine::WriteFlash(uint16_t address, uint8_t value) {
    SetCdb({VendorOp, 0x0A, 0, 0, 0, 0, 0, Byte(address, 8), Byte(address, 0), value});
    return Judge(SendCdb(DirectionOut, 1), "Write Flash> ");
}

bool FlashEngine::ReadFlashZone() {
    SetCdb({VendorOp, 0x11, 0x01});
    return Judge(SendCdb(DirectionIn, FlashIdLength), "Read Flash Zone Map > ");
}

bool FlashEngine::EntryCritical() {
    SetCdb({WriteBufferOp, ModeDownloadSave, BufferId, 0, 0, 0, 0, 0, 0, ProfileCode});
    return Judge(SendCdb(DirectionIn, 0), "Entry critical> ");
}

bool FlashEngine::CheckDisc() {
    SetCdb({ReadCapacityOp});
    SendCdb(DirectionIn, CapacityLength);
    return TargetDrive->SenseIs(0x02, 0x3A);
}
