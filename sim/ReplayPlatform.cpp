// SPDX-License-Identifier: Apache-2.0
#include "sim/ReplayPlatform.h"

#include <cstring>
#include <system_error>

#include "base/Sha256.h"
#include "sim/VirtualDrive.h"

ReplayPlatform::ReplayPlatform(Recording recording) : Recording_(std::move(recording)) {}

std::vector<DriveCandidate> ReplayPlatform::EnumerateOpticalDrives() {
    DriveCandidate candidate;
    candidate.Address = Recording_.Address;
    candidate.DevicePath = Recording_.DevicePath;
    candidate.IsVirtual = true;
    candidate.GenericNode = Recording_.DevicePath;
    // Not the recorded drive's place: a replay is a drive of its own.
    candidate.PhysicalPath = "replay/" + Recording_.DevicePath;
    return {candidate};
}

std::string ReplayPlatform::DevicePath(const DriveAddress& address) const {
    return address == Recording_.Address ? Recording_.DevicePath : std::string();
}

OpenOutcome ReplayPlatform::Open(const DriveAddress& address) {
    if (!(address == Recording_.Address))
        return {NoHandle, ENODEV};
    return {NextHandle_++, 0};
}

namespace {

std::string Described(const uint8_t cdb[12], uint8_t direction, uint32_t length, const std::string& digest) {
    std::string text = "CDB " + HexBytes(cdb, 12) + ", " + (direction == DirectionIn ? "data in" : "data out") +
                       ", " + std::to_string(length) + " bytes";
    if (direction != DirectionIn)
        text += ", SHA-256 " + digest;
    return text;
}

}  // namespace

bool ReplayPlatform::Diverge(const std::string& why, const uint8_t cdb[12], uint8_t direction, uint32_t length,
                             const std::string& digest, CommandOutcome& outcome) {
    if (!Divergence_) {
        std::string report = "the run left the recording at command " + std::to_string(Next_ + 1) + ": " + why;
        if (Next_ < Recording_.Commands.size()) {
            const RecordedExchange& recorded = Recording_.Commands[Next_];
            report += "\n  recorded (line " + std::to_string(recorded.Line) + "): " +
                      Described(recorded.Cdb.data(), recorded.Direction, recorded.Length, recorded.SentSha256);
        }
        report += "\n  sent: " + Described(cdb, direction, length, digest);
        Divergence_ = report;
    }
    outcome = CommandOutcome{};
    outcome.Error = DivergenceError;
    outcome.TransportFailed = true;
    return false;
}

bool ReplayPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                          uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    (void)handle;
    (void)timeoutSeconds;
    const uint8_t sentDirection = direction == DirectionIn ? DirectionIn : DirectionOut;
    const std::string digest =
        sentDirection == DirectionOut ? Sha256Hex(length > 0 ? buffer : nullptr, length) : std::string();
    if (Divergence_)
        return Diverge("", cdb, sentDirection, length, digest, outcome);
    if (Next_ >= Recording_.Commands.size())
        return Diverge("the recording ends after " + std::to_string(Recording_.Commands.size()) + " commands", cdb,
                       sentDirection, length, digest, outcome);
    const RecordedExchange& recorded = Recording_.Commands[Next_];
    std::string why;
    if (std::memcmp(recorded.Cdb.data(), cdb, 12) != 0)
        why = "the CDB differs";
    else if (recorded.Direction != sentDirection)
        why = "the direction differs";
    else if (recorded.Length != length)
        why = "the length differs";
    else if (sentDirection == DirectionOut && recorded.SentSha256 != digest)
        why = "the data sent differs (SHA-256)";
    if (!why.empty())
        return Diverge(why, cdb, sentDirection, length, digest, outcome);

    const std::vector<uint8_t>* data = &recorded.DataIn;
    if (!recorded.DataInSha256.empty()) {
        const auto sent = Sent_.find(recorded.DataInSha256);
        if (sent == Sent_.end())
            return Diverge("the recorded answer is data this run has not sent", cdb, sentDirection, length, digest,
                           outcome);
        data = &sent->second;
    }
    if (sentDirection == DirectionOut && length > 0 && buffer != nullptr)
        Sent_.try_emplace(digest, buffer, buffer + length);

    ++Next_;
    outcome = recorded.Outcome;
    if (sentDirection == DirectionIn && length > 0 && buffer != nullptr && data->size() == length)
        std::memcpy(buffer, data->data(), length);
    return outcome.PlatformOk;
}

void ReplayPlatform::Close(PlatformHandle handle) { (void)handle; }

std::string ReplayPlatform::ErrorText(int code) const {
    if (code == DivergenceError)
        return "the command differs from the recording";
    std::string text = std::generic_category().message(code);
    if (code == 0 || text.rfind("Unknown error", 0) == 0)
        return {};
    return text.substr(0, 80);
}

void ReplayPlatform::Sleep(unsigned milliseconds) { (void)milliseconds; }

bool ReplayPlatform::RequestRestart() { return true; }

bool ReplayPlatform::VirtualDrives() const { return IsVirtualDevicePath(Recording_.DevicePath); }
