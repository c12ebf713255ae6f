// SPDX-License-Identifier: Apache-2.0
#include "app/setup/VerbosePlatform.h"

#include <cerrno>
#include <cstdio>

#include "platform/PrintableText.h"
#include "base/Sha256.h"
#include "platform/SenseWords.h"
#include "scsi/CommandResult.h"
#include "scsi/Commands.h"

VerbosePlatform::VerbosePlatform(Platform& inner, LineSink sink) : ForwardingPlatform(inner), Sink_(std::move(sink)) {
    if (!Sink_)
        // A line names the device by the path the platform gave: shown without control bytes.
        Sink_ = [](const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", PrintableText(line).c_str()); };
}

std::string VerbosePlatform::Describe(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                      uint32_t length, const CommandOutcome& outcome, const std::string& errorText) {
    Command command;
    std::copy(cdb, cdb + 12, command.Cdb.begin());
    std::string line = device + ": " + CommandName(command) + " " + HexBytes(cdb, 12) + " " +
                       (direction == DirectionIn ? "in " : "out ") + std::to_string(length) + ": ";
    const CommandResult result = CommandResult::From(outcome);
    switch (result.Category) {
    case CommandCategory::Good: return line + "good";
    case CommandCategory::CheckCondition: return line + SenseInWords(result.SenseKey, result.Asc, result.Ascq);
    case CommandCategory::StatusOnly: return line + "status " + StatusInWords(result.Status);
    case CommandCategory::TransportError:
    case CommandCategory::SystemError: break;
    }
    return line + (errorText.empty() ? "error " + std::to_string(result.SystemError) : errorText);
}

OpenOutcome VerbosePlatform::Open(const DriveAddress& address) {
    const OpenOutcome opened = Inner_.Open(address);
    if (opened.Opened())
        Devices_[opened.Handle] = Inner_.DevicePath(address);
    return opened;
}

bool VerbosePlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                           uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    const bool ok = Inner_.Send(handle, cdb, direction, buffer, length, timeoutSeconds, outcome);
    const int savedErrno = errno;  // the command's error stays for its caller
    const auto device = Devices_.find(handle);
    const int error = outcome.Error;
    Sink_(Describe(device != Devices_.end() ? device->second : std::string("?"), cdb, direction, length, outcome,
                   error != 0 ? Inner_.ErrorText(error) : std::string()));
    errno = savedErrno;
    return ok;
}

void VerbosePlatform::Close(PlatformHandle handle) {
    Inner_.Close(handle);
    Devices_.erase(handle);
}
