// SPDX-License-Identifier: Apache-2.0
#include "sim/VirtualDrive.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "sim/StandInProfiles.h"

namespace {

constexpr uint8_t StatusCheckCondition = 0x02;
constexpr uint32_t InquiryDataLength = 96;
// A full 700 MB CD: 359,847 sectors of 2,048 bytes.
constexpr uint32_t DiscLastBlock = 359846;
constexpr uint32_t DiscBlockLength = 2048;

void PutBigEndian32(uint8_t* target, uint32_t value) {
    target[0] = uint8_t(value >> 24);
    target[1] = uint8_t(value >> 16);
    target[2] = uint8_t(value >> 8);
    target[3] = uint8_t(value);
}

}  // namespace

VirtualDrive::VirtualDrive(const VirtualDriveConfig& config, DriveAddress address, std::string devicePath)
    : Config_(config), Address_(address), DevicePath_(std::move(devicePath)),
      Disc_(config.Disc) {
    Config_.Inquiry.resize(VirtualDriveConfig::InquiryLength, ' ');
    Config_.Revision.resize(VirtualDriveConfig::RevisionLength, ' ');
    Config_.NewRevision.resize(VirtualDriveConfig::RevisionLength, ' ');
    Revision_ = Config_.Revision;
}

VirtualDrive::Store& VirtualDrive::Storage() const {
    if (!Store_)
        Store_.reset(new Store{std::vector<uint8_t>(MemorySize, MemoryFill), std::vector<uint8_t>(ImageAreaSize, FlashFill)});
    return *Store_;
}

std::unique_ptr<VirtualDrive> VirtualDrive::Renewed() {
    auto fresh = std::make_unique<VirtualDrive>(Config_, Address_, DevicePath_);
    if (Store_) {
        std::fill(Store_->Memory.begin(), Store_->Memory.end(), MemoryFill);
        std::fill(Store_->Flash.begin(), Store_->Flash.end(), FlashFill);
        fresh->Store_ = std::move(Store_);
    }
    return fresh;
}

const VirtualFault* VirtualDrive::FaultFor(uint32_t number) const {
    for (const VirtualFault& fault : Config_.Faults)
        if (fault.Command == number)
            return &fault;
    return nullptr;
}

void VirtualDrive::Execute(const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
                           CommandOutcome& outcome, uint16_t timeoutSeconds) {
    if (Unplugged()) {
        // What the system answers for a device it no longer has.
        outcome = CommandOutcome{};
        outcome.Error = ENODEV;
        return;
    }
    if (buffer == nullptr)
        length = 0;
    CommandTimeout_ = timeoutSeconds;
    RecordedCommand record;
    record.Number = ++Received_;
    std::copy(cdb, cdb + 12, record.Cdb.begin());
    record.Direction = direction;
    record.Length = length;
    if (direction != DirectionIn && length > 0)
        record.DataOut.assign(buffer, buffer + length);

    outcome = CommandOutcome{};
    outcome.PlatformOk = true;
    auto setSense = [&outcome](uint8_t key, uint8_t asc, uint8_t ascq) {
        outcome.Status = StatusCheckCondition;
        outcome.Sense[0] = 0x70;  // fixed format, current error
        outcome.Sense[2] = key;
        outcome.Sense[7] = 10;    // additional sense length
        outcome.Sense[12] = asc;
        outcome.Sense[13] = ascq;
    };

    const VirtualFault* fault = FaultFor(record.Number);
    if (fault != nullptr && fault->Kind != VirtualFaultKind::Corrupt) {
        // The drive never carries out a command that fails.
        switch (fault->Kind) {
        case VirtualFaultKind::Sense: setSense(fault->Key, fault->Asc, fault->Ascq); break;
        case VirtualFaultKind::Status: outcome.Status = fault->Status; break;
        case VirtualFaultKind::PlatformError:
        case VirtualFaultKind::Timeout:
            outcome.PlatformOk = false;
            outcome.Error = fault->Kind == VirtualFaultKind::Timeout ? ETIMEDOUT : fault->Error;
            outcome.TransportFailed = fault->Kind == VirtualFaultKind::Timeout;
            break;
        case VirtualFaultKind::Corrupt: break;
        }
    } else {
        const Reply reply = Carry(cdb, direction, buffer, length);
        record.Returned = direction == DirectionIn ? reply.Returned : 0;
        if (reply.Late) {
            outcome.PlatformOk = false;
            outcome.Error = ETIMEDOUT;
            outcome.TransportFailed = true;
        } else if (reply.Key != 0 || reply.Asc != 0 || reply.Ascq != 0)
            setSense(reply.Key, reply.Asc, reply.Ascq);
        else if (fault != nullptr && direction == DirectionIn && reply.Returned > 0)
            buffer[reply.Returned / 2] ^= 0xFF;  // one altered byte in what the host reads
    }

    record.Status = outcome.Status;
    record.Key = outcome.Sense[2];
    record.Asc = outcome.Sense[12];
    record.Ascq = outcome.Sense[13];
    record.Error = outcome.Error;
    Commands_.push_back(std::move(record));
}

VirtualDrive::Reply VirtualDrive::Carry(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length) {
    // A command that reads data must be sent with a data-in phase.
    const bool wrongWay = length > 0 && direction != DirectionIn;
    switch (cdb[0]) {
    case Opcode::TestUnitReady: return TestUnitReady();
    case Opcode::Inquiry: return wrongWay ? Reply{0x05, 0x24, 0x00} : Inquiry(cdb, buffer, length);
    case Opcode::ReadCapacity: return wrongWay ? Reply{0x05, 0x24, 0x00} : ReadCapacity(buffer, length);
    case Opcode::StartStopUnit:
        // LoEj and Start both set: load the medium; the drive then needs a while to settle.
        if ((cdb[4] & 0x03) == 0x03)
            BecomingReady_ = Config_.ReadyPolls;
        return {};
    case Opcode::StopPlayScan: return {};
    case Opcode::WriteBuffer: return WriteBuffer(cdb, direction, buffer, length);
    case Opcode::ReadBuffer: return ReadBuffer(cdb, direction, buffer, length);
    case Opcode::Vendor: return Vendor(cdb, direction, buffer, length);
    default: return {0x05, 0x20, 0x00};  // invalid command operation code
    }
}

VirtualDrive::Reply VirtualDrive::Inquiry(const uint8_t* cdb, uint8_t* buffer, uint32_t length) {
    if ((cdb[1] & 0x01) != 0 || cdb[2] != 0)
        return {0x05, 0x24, 0x00};  // vital product data pages are not offered
    uint8_t data[InquiryDataLength] = {};
    data[0] = 0x05;  // CD/DVD device
    data[1] = 0x80;  // removable medium
    data[2] = 0x05;
    data[3] = 0x32;
    data[4] = InquiryDataLength - 5;
    std::memcpy(data + 8, Config_.Inquiry.data(), VirtualDriveConfig::InquiryLength);
    std::memcpy(data + 32, Revision_.data(), VirtualDriveConfig::RevisionLength);
    const uint32_t allocation = uint32_t(cdb[3]) << 8 | cdb[4];
    const uint32_t returned = std::min({allocation, length, InquiryDataLength});
    std::memcpy(buffer, data, returned);
    return {0, 0, 0, returned};
}

VirtualDrive::Reply VirtualDrive::TestUnitReady() {
    if (BecomingReady_ > 0) {
        --BecomingReady_;
        return {0x02, 0x04, 0x01};
    }
    if (!Disc_)
        return {0x02, 0x3A, 0x00};
    return {};
}

VirtualDrive::Reply VirtualDrive::ReadCapacity(uint8_t* buffer, uint32_t length) {
    if (BecomingReady_ > 0)
        return {0x02, 0x04, 0x01};
    if (!Disc_)
        return {0x02, 0x3A, 0x00};
    uint8_t data[8];
    PutBigEndian32(data, DiscLastBlock);
    PutBigEndian32(data + 4, DiscBlockLength);
    const uint32_t returned = std::min<uint32_t>(length, sizeof data);
    std::memcpy(buffer, data, returned);
    return {0, 0, 0, returned};
}

VirtualDrive::Reply VirtualDrive::WriteBuffer(const uint8_t* cdb, uint8_t direction, uint8_t* buffer,
                                              uint32_t length) {
    if (cdb[1] != BufferField::WriteMode || cdb[2] != BufferField::BufferId)
        return {0x05, 0x24, 0x00};
    const uint32_t offset = Field24(cdb + 3);
    const uint32_t count = Field24(cdb + 6);
    const uint8_t code = cdb[9];

    if (code == WriteBufferCode::Commit || code == WriteBufferCode::CommitAll) {
        // The commit: the drive writes its flash from the image area of its memory. One that
        // takes longer than the host waits is cut off at the timeout, and the drive goes on.
        CommitRunning_ = true;
        const uint64_t limit = uint64_t(CommandTimeout_) * 1000;
        const bool late = CommandTimeout_ != 0 && Config_.CommitMilliseconds > limit;
        if (Config_.CommitMilliseconds > 0 && !(late && InstantTimeouts_))
            std::this_thread::sleep_for(std::chrono::milliseconds(late ? limit : Config_.CommitMilliseconds));
        std::copy(Memory().begin(), Memory().begin() + ImageAreaSize, Storage().Flash.begin());
        Revision_ = Config_.NewRevision;
        LastCommitCode_ = code;
        ++CommitCount_;
        CommitRunning_ = false;
        uint32_t returned = 0;
        if (direction == DirectionIn) {
            returned = std::min(length, CommandLength::CommitAnswer);
            std::memset(buffer, 0, returned);
        }
        if (late)
            return {0, 0, 0, 0, true};
        return {0, 0, 0, returned};
    }
    if (code != WriteBufferCode::Data && code != WriteBufferCode::Profile)
        return {0x05, 0x24, 0x00};
    // Entry critical has no data phase and is sent as data in; an empty profile upload
    // (a DVD profile with no matching chip) has the same bytes but is sent as data out.
    if (code == WriteBufferCode::Profile && count == 0 && length == 0 && direction == DirectionIn) {
        ++EntryCriticalCount_;
        return {};
    }
    // An upload: the data phase carries exactly the bytes the CDB announces.
    if (count != length || (length > 0 && direction == DirectionIn))
        return {0x05, 0x24, 0x00};
    if (uint64_t(offset) + count > MemorySize)
        return {0x05, 0x24, 0x00};
    std::copy(buffer, buffer + count, Storage().Memory.begin() + offset);
    if (code == WriteBufferCode::Profile)
        LastProfile_.assign(buffer, buffer + count);
    return {};
}

VirtualDrive::Reply VirtualDrive::ReadBuffer(const uint8_t* cdb, uint8_t direction, uint8_t* buffer,
                                             uint32_t length) {
    if (cdb[1] != BufferField::ReadMode || cdb[2] != BufferField::BufferId)
        return {0x05, 0x24, 0x00};
    const uint32_t offset = Field24(cdb + 3);
    const uint32_t count = Field24(cdb + 6);
    if (uint64_t(offset) + count > MemorySize || (length > 0 && direction != DirectionIn))
        return {0x05, 0x24, 0x00};
    const uint32_t returned = std::min(count, length);
    std::copy(Memory().begin() + offset, Memory().begin() + offset + returned, buffer);
    return {0, 0, 0, returned};
}

VirtualDrive::Reply VirtualDrive::Vendor(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length) {
    if (cdb[1] == VendorCode::ByteWrite)
        return {};  // E2 and flash byte writes: accepted, the record shows them
    if (cdb[1] != VendorCode::FlashInfo || cdb[2] > 0x01 || (length > 0 && direction != DirectionIn))
        return {0x05, 0x24, 0x00};
    uint8_t data[FlashIdLength] = {};
    if (cdb[2] == 0x00) {
        std::copy(Config_.ChipId.begin(), Config_.ChipId.end(), data);
    } else {
        // Zone map: a fixed pattern, so a read-back can be recognised.
        for (uint32_t i = 0; i < FlashIdLength; ++i)
            data[i] = uint8_t(i);
    }
    const uint32_t returned = std::min(length, FlashIdLength);
    std::memcpy(buffer, data, returned);
    return {0, 0, 0, returned};
}

// ---------------------------------------------------------------------------------------

VirtualPlatform::VirtualPlatform(const VirtualDriveConfig& config) {
    for (unsigned i = 0; i < config.Count; ++i)
        AddDrive(config);
}

VirtualDrive& VirtualPlatform::AddDrive(const VirtualDriveConfig& config) {
    const std::size_t index = Drives_.size();
    const DriveAddress address{'V', 0, uint8_t(index), 0};
    Drives_.push_back(std::make_unique<VirtualDrive>(config, address, "virtual:" + std::to_string(index)));
    Drives_.back()->SetInstantTimeouts(InstantSleep_);
    return *Drives_.back();
}

void VirtualPlatform::RenewDrives() {
    if (!Open_.empty())
        throw std::logic_error("virtual drives renewed while one is open");
    for (std::unique_ptr<VirtualDrive>& drive : Drives_) {
        drive = drive->Renewed();
        drive->SetInstantTimeouts(InstantSleep_);
    }
}

void VirtualPlatform::SetInstantSleep(bool instant) {
    InstantSleep_ = instant;
    for (const auto& drive : Drives_)
        drive->SetInstantTimeouts(instant);
}

NodeDevice VirtualPlatform::DeviceBehind(PlatformHandle handle) const {
    const auto found = Open_.find(handle);
    if (found == Open_.end() || !found->second->Unplugged())
        return {};
    return {"(none: " + found->second->DevicePath() + ")", std::nullopt, true};
}

std::unique_ptr<RunClaim> VirtualPlatform::ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) {
    const auto found = Open_.find(handle);
    if (found != Open_.end() && found->second->Config().ClaimError != 0) {
        why = found->second->DevicePath() + ": " + ErrorText(found->second->Config().ClaimError);
        return nullptr;
    }
    return Platform::ClaimForRun(handle, why, notice);
}

VirtualDrive* VirtualPlatform::Find(const DriveAddress& address) const {
    for (const auto& drive : Drives_)
        if (drive->Address() == address)
            return drive.get();
    return nullptr;
}

std::vector<DriveCandidate> VirtualPlatform::EnumerateOpticalDrives() {
    std::vector<DriveCandidate> candidates;
    for (const auto& drive : Drives_) {
        const DriveAddress& address = drive->Address();
        DriveCandidate candidate;
        candidate.Address = address;
        candidate.DevicePath = drive->DevicePath();
        candidate.IsVirtual = true;
        candidate.ScsiAddress = std::to_string(address.HostAdapter) + ":0:" + std::to_string(address.Target) + ":" +
                                std::to_string(address.Lun);
        // A node of its own and a serial number of its own; no stable link, as nothing in /dev names it.
        candidate.GenericNode = drive->DevicePath();
        candidate.Serial = "VIRTUAL-" + std::to_string(address.Target);
        // Its place among the virtual drives: the same on every run with the same options.
        candidate.PhysicalPath = "virtual/" + drive->DevicePath();
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::string VirtualPlatform::DevicePath(const DriveAddress& address) const {
    const VirtualDrive* drive = Find(address);
    return drive != nullptr ? drive->DevicePath() : std::string();
}

OpenOutcome VirtualPlatform::Open(const DriveAddress& address) {
    VirtualDrive* drive = Find(address);
    if (drive == nullptr)
        return {NoHandle, ENOENT};
    if (drive->Config().OpenError != 0)
        return {NoHandle, drive->Config().OpenError};
    const PlatformHandle handle = NextHandle_++;
    Open_[handle] = drive;
    return {handle, 0};
}

bool VirtualPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                           uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    const auto found = Open_.find(handle);
    if (found == Open_.end()) {
        outcome = CommandOutcome{};
        outcome.Error = EBADF;
        return false;
    }
    found->second->Execute(cdb, direction, buffer, length, outcome, timeoutSeconds);
    return outcome.PlatformOk;
}

void VirtualPlatform::Close(PlatformHandle handle) { Open_.erase(handle); }

std::string VirtualPlatform::ErrorText(int code) const {
    std::string text = std::generic_category().message(code);
    if (text.rfind("Unknown error", 0) == 0)
        return {};
    if (text.size() > 80)
        text.resize(80);
    return text;
}

void VirtualPlatform::Sleep(unsigned milliseconds) {
    Slept_ += milliseconds;
    if (!InstantSleep_)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool VirtualPlatform::RequestRestart() {
    ++RestartRequests_;
    return true;
}

std::span<const uint8_t> VirtualPlatform::StandInProfiles() const { return ::StandInProfiles(); }

bool IsVirtualDevicePath(const std::string& path) { return path.rfind("virtual:", 0) == 0; }
