// SPDX-License-Identifier: Apache-2.0
#pragma once
// A drive played back from a recording (--virtual-drive=replay=FILE): the one drive the
// recording holds, under its recorded device path, address and identity, answering each
// command with the recorded answer, in order: status, sense, system error, residual and data
// (data the recording names by digest, an upload read back, is the block the run sent).
//
// Every command sent is checked against the recorded one: CDB, direction, length and the
// SHA-256 of the data sent. At the first difference (or a command beyond the recording's
// end) the command fails in the platform with DivergenceError, the report is kept, and
// every later command fails the same way: nothing further is answered.

#include <cerrno>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "sim/Recording.h"

class ReplayPlatform : public Platform {
public:
    // The platform error of a command that differs from the recording.
    static constexpr int DivergenceError = EPROTO;

    explicit ReplayPlatform(Recording recording);

    // Where the replay left the recording: the report of the first difference, if any.
    const std::optional<std::string>& Divergence() const { return Divergence_; }
    std::size_t Answered() const { return Next_; }
    std::size_t Recorded() const { return Recording_.Commands.size(); }

    std::vector<DriveCandidate> EnumerateOpticalDrives() override;
    std::string DevicePath(const DriveAddress& address) const override;
    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeoutSeconds, CommandOutcome& outcome) override;
    void Close(PlatformHandle handle) override;
    std::string ErrorText(int code) const override;
    void Sleep(unsigned milliseconds) override;  // instant: the recording sets the pace of nothing
    bool RequestRestart() override;              // restarts nothing
    // As the drive recorded: a replay shows the run the recording holds, its messages and all.
    bool VirtualDrives() const override;

private:
    bool Diverge(const std::string& why, const uint8_t cdb[12], uint8_t direction, uint32_t length,
                 const std::string& digest, CommandOutcome& outcome);

    Recording Recording_;
    std::unordered_map<std::string, std::vector<uint8_t>> Sent_;  // the blocks sent, by digest
    std::size_t Next_ = 0;
    std::optional<std::string> Divergence_;
    PlatformHandle NextHandle_ = 200;
};
