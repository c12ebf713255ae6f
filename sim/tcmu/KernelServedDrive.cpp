// SPDX-License-Identifier: Apache-2.0
#include "sim/tcmu/KernelServedDrive.h"

#include <algorithm>
#include <cstring>

#include "scsi/Commands.h"

namespace {

namespace KernelOpcode {
constexpr uint8_t RequestSense = 0x03;
constexpr uint8_t PreventAllow = 0x1E;
constexpr uint8_t GetConfiguration = 0x46;
constexpr uint8_t GetEventStatus = 0x4A;
constexpr uint8_t ModeSense6 = 0x1A;
constexpr uint8_t ModeSense10 = 0x5A;
}  // namespace KernelOpcode

constexpr uint8_t CapabilitiesPage = 0x2A;
constexpr uint8_t MediaEventClass = 0x04;
constexpr uint16_t ProfileCdRom = 0x0008;

bool ProgramSends(uint8_t opcode) {
    switch (opcode) {
    case Opcode::TestUnitReady:
    case Opcode::Inquiry:
    case Opcode::StartStopUnit:
    case Opcode::ReadCapacity:
    case Opcode::WriteBuffer:
    case Opcode::ReadBuffer:
    case Opcode::StopPlayScan:
    case Opcode::Vendor: return true;
    default: return false;
    }
}

uint32_t Allocation16(const uint8_t* bytes) { return uint32_t(bytes[0]) << 8 | bytes[1]; }

KernelAnswer Data(std::vector<uint8_t> data, uint32_t allocation, uint32_t length) {
    data.resize(std::min<std::size_t>({data.size(), allocation, length}));
    return {0, 0, 0, std::move(data)};
}

KernelAnswer Sense(uint8_t key, uint8_t asc, uint8_t ascq) { return {key, asc, ascq, {}}; }

}  // namespace

CommandSource CommandRouter::Route(const uint8_t cdb[12]) {
    if (!Armed_)
        return CommandSource::Kernel;
    const uint8_t opcode = cdb[0];
    if (opcode == KernelOpcode::GetEventStatus) {
        AfterEvents_ = true;
        return CommandSource::Kernel;
    }
    if (!ProgramSends(opcode))
        return CommandSource::Kernel;
    // The program asks for the standard data only.
    if (opcode == Opcode::Inquiry && ((cdb[1] & 0x01) != 0 || cdb[2] != 0))
        return CommandSource::Kernel;
    if (AfterEvents_ && (opcode == Opcode::TestUnitReady || opcode == Opcode::ReadCapacity))
        return CommandSource::Kernel;
    AfterEvents_ = false;
    return CommandSource::Program;
}

uint8_t DirectionOf(const uint8_t cdb[12], uint32_t length) {
    if (length == 0)
        return DirectionIn;
    if (cdb[0] == Opcode::WriteBuffer)
        return cdb[9] == WriteBufferCode::Commit || cdb[9] == WriteBufferCode::CommitAll ? DirectionIn : DirectionOut;
    if (cdb[0] == Opcode::Vendor && cdb[1] == VendorCode::ByteWrite)
        return DirectionOut;
    return DirectionIn;
}

KernelAnswer AnswerKernelCommand(const uint8_t cdb[12], uint32_t length, const VirtualDrive& drive) {
    const bool disc = drive.HasDisc();
    switch (cdb[0]) {
    case Opcode::TestUnitReady: return disc ? KernelAnswer{} : Sense(0x02, 0x3A, 0x00);
    case KernelOpcode::RequestSense: {
        std::vector<uint8_t> data(18, 0);
        data[0] = 0x70;
        data[7] = 10;
        return Data(std::move(data), cdb[4], length);
    }
    case Opcode::Inquiry: {
        if ((cdb[1] & 0x01) != 0) {
            if (cdb[2] != 0x00)
                return Sense(0x05, 0x24, 0x00);
            // The supported pages: this one only.
            return Data({0x05, 0x00, 0x00, 0x01, 0x00}, Allocation16(cdb + 3), length);
        }
        if (cdb[2] != 0)
            return Sense(0x05, 0x24, 0x00);
        std::vector<uint8_t> data(36, 0);
        data[0] = 0x05;  // CD/DVD device
        data[1] = 0x80;  // removable medium
        data[2] = 0x05;
        data[3] = 0x32;
        data[4] = uint8_t(data.size() - 5);
        std::memcpy(data.data() + 8, drive.Config().Inquiry.data(), VirtualDriveConfig::InquiryLength);
        std::memcpy(data.data() + 32, drive.Revision().data(), VirtualDriveConfig::RevisionLength);
        return Data(std::move(data), Allocation16(cdb + 3), length);
    }
    case KernelOpcode::PreventAllow: return {};
    case Opcode::ReadCapacity: {
        if (!disc)
            return Sense(0x02, 0x3A, 0x00);
        // A full 700 MB CD of 2,048-byte blocks.
        return Data({0x00, 0x05, 0x7D, 0xA6, 0x00, 0x00, 0x08, 0x00}, 8, length);
    }
    case KernelOpcode::GetEventStatus: {
        if ((cdb[1] & 0x01) == 0)
            return Sense(0x05, 0x24, 0x00);  // only polled operation
        const uint32_t allocation = Allocation16(cdb + 7);
        if ((cdb[4] & (1u << MediaEventClass)) == 0)  // no class this drive supports: "no event available"
            return Data({0x00, 0x02, 0x80, 1u << MediaEventClass}, allocation, length);
        // Media class, no change, the medium present or not, the tray closed.
        return Data({0x00, 0x06, MediaEventClass, 1u << MediaEventClass, 0x00, uint8_t(disc ? 0x02 : 0x00), 0x00, 0x00},
                    allocation, length);
    }
    case KernelOpcode::GetConfiguration: {
        // The feature header alone: the current profile, none without a disc.
        const uint16_t profile = disc ? ProfileCdRom : 0;
        return Data({0x00, 0x00, 0x00, 0x04, 0x00, 0x00, uint8_t(profile >> 8), uint8_t(profile)},
                    Allocation16(cdb + 7), length);
    }
    case KernelOpcode::ModeSense6:
    case KernelOpcode::ModeSense10: {
        if ((cdb[2] & 0x3F) != CapabilitiesPage)
            return Sense(0x05, 0x24, 0x00);
        // The mode parameter header (4 or 8 bytes, no block descriptor), then the CD/DVD
        // capabilities page: reads CD-R, CD-RW, mode 2 and DVD-ROM, writes nothing; audio,
        // mode 2 forms 1 and 2, multi-session; lock, eject, a tray; 40x.
        const bool six = cdb[0] == KernelOpcode::ModeSense6;
        std::vector<uint8_t> data(six ? 4 : 8, 0);
        data.insert(data.end(), {CapabilitiesPage, 0x14, 0x0B, 0x00, 0x71, 0x03, 0x29, 0x03, 0x1B, 0x90, 0x01,
                                 0x00, 0x00, 0x00, 0x1B, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
        if (six)
            data[0] = uint8_t(data.size() - 1);
        else
            data[1] = uint8_t(data.size() - 2);
        return Data(std::move(data), six ? cdb[4] : Allocation16(cdb + 7), length);
    }
    default: return Sense(0x05, 0x20, 0x00);
    }
}
