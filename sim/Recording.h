// SPDX-License-Identifier: Apache-2.0
#pragma once
// A recording: a command trace written with --trace FILE --trace-data, read back for a replay.
// Each command is a line: what was sent (CDB, direction, length, the SHA-256 of data sent)
// and how the drive answered (status, sense, system error, residual, the data read in),
// with the device and where it sat. The lines that name a drive as it was opened are passed
// over: a replay is a drive of its own, with an id of its own.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

struct RecordedExchange {
    unsigned Line = 0;  // in the recording, from 1
    std::array<uint8_t, 12> Cdb{};
    uint8_t Direction = DirectionOut;
    uint32_t Length = 0;
    CommandOutcome Outcome;
    std::vector<uint8_t> DataIn;  // the buffer after a data-in command (Length bytes)
    std::string DataInSha256;     // instead: data read in that the run had sent, by its digest
    std::string SentSha256;       // for data sent to the drive: the digest of the bytes
};

struct Recording {
    std::string DevicePath;  // the one drive the recording holds
    DriveAddress Address;
    std::vector<RecordedExchange> Commands;
};

// Reads the text of a recording. nullopt on anything malformed, with error saying what and
// on which line ("line 3: ..."). An empty text, a trace without recorded data and one with
// commands for more than one device are refused too.
std::optional<Recording> ParseRecording(std::string_view text, std::string& error);

// A recording of a whole run is a few hundred kilobytes (data sent is kept by its digest):
// a file longer than this is refused unread, so a mistaken path cannot make a replay read
// without end.
constexpr std::size_t MaxRecordingBytes = std::size_t(64) << 20;  // 64 MiB

// The same from a file; errors name the file and the cause. Only a regular file of at most
// MaxRecordingBytes is read: a directory, a FIFO, a device or a socket is refused without
// being opened, so nothing waits for a writer and no device is touched.
std::optional<Recording> ReadRecording(const std::string& path, std::string& error);
