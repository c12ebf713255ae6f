// SPDX-License-Identifier: Apache-2.0
#pragma once
// --verbose: one line on standard error for each command sent to a drive, as it answers:
//   flashutil: /dev/sg1: WRITE BUFFER 3b0501000000004000000000 out 16384: good
//   flashutil: /dev/sg1: READ CAPACITY 250000000000000000000000 in 8: Not Ready, Medium not present
// The trace file (--trace) is the record for tools; this is for a person watching.

#include <functional>
#include <string>
#include <unordered_map>

#include "platform/ForwardingPlatform.h"

class VerbosePlatform : public ForwardingPlatform {
public:
    using LineSink = std::function<void(const std::string& line)>;

    // inner is not owned. The sink gets each line without prefix or line feed; by default
    // they go to standard error with the program's prefix.
    explicit VerbosePlatform(Platform& inner, LineSink sink = {});

    // The line for one command that has answered.
    static std::string Describe(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                uint32_t length, const CommandOutcome& outcome, const std::string& errorText);

    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) override;
    void Close(PlatformHandle handle) override;

private:
    LineSink Sink_;
    std::unordered_map<PlatformHandle, std::string> Devices_;
};
