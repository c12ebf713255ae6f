// SPDX-License-Identifier: Apache-2.0
#pragma once
// A platform that passes everything to another one and writes one JSON line per command:
//   {"device": "/dev/sg1", "cdb": "3b0501004000004000000000", "dir": "out", "len": 16384,
//    "status": 0, "sense": [0, 0, 0], "error": 0, "ms": 1.25}
// With the data recorded (--trace-data) each line goes on with what a replay needs:
//    ..., "ms": 1.25, "ok": true, "transport_failed": false, "residual": 0,
//    "sense_data": "<32 sense bytes, hex>", "data": "<the buffer after a data-in command, hex>"
// or, for data sent to the drive, "sha256": "<digest of the bytes sent>" (never the bytes);
// data read in that equals data sent earlier in the run (an upload read back) is not written
// either: "data_sha256": "<its digest>" stands for it, so no image reaches the recording;
// then where the drive sits: "address": {"letter": "R", "host": 2, "target": 0, "lun": 0}.
// Each time a drive is opened, a line names it before its commands, by the id that stays
// when its node is renumbered (DriveIdOf) and its serial, null where the system tells none:
//   {"device": "/dev/sg1", "record": "drive", "device_id": "<64 hex>", "serial": "X1",
//    "time": "2026-01-31T23:59:59Z", "schema": "flashutil-trace/1"}
// A command line has no "record" key.
// Each line is handed to the sink as soon as the command has answered, so a trace file
// is complete up to the last command even when the program dies.

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ForwardingPlatform.h"

class TracingPlatform : public ForwardingPlatform {
public:
    using LineSink = std::function<void(const std::string& line)>;

    // inner is not owned. The sink receives each line without its line feed.
    TracingPlatform(Platform& inner, LineSink sink);

    using FailureSink = std::function<void(const std::string& message)>;

    // Writes to a file, each line with one write as it comes. The path must be a regular file
    // or a character device (/dev/null); a symbolic link is not followed. An existing file is
    // replaced only when it is empty or an earlier trace (its first line is a trace line).
    // nullptr and error set when the file cannot be opened, is of another kind or holds
    // anything else; then the file is as it was.
    // When a write fails, onWriteFailure is told once, naming the file and the cause, and the
    // trace stops; the commands go on.
    static std::unique_ptr<TracingPlatform> ToFile(Platform& inner, const std::string& path, std::string& error,
                                                   FailureSink onWriteFailure);

    // One trace line (no line feed).
    static std::string FormatLine(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                  uint32_t length, const CommandOutcome& outcome, double milliseconds);
    // The same line's members, in order.
    static nlohmann::ordered_json LineFields(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                             uint32_t length, const CommandOutcome& outcome, double milliseconds);

    // What a replay needs, added after the members of LineFields: outcome, residual, full
    // sense, and the data read in (hex) or the SHA-256 of the data sent.
    static void AddDataFields(nlohmann::ordered_json& line, uint8_t direction, const uint8_t* buffer,
                              uint32_t length, const CommandOutcome& outcome, const std::string& sentDigest,
                              const DriveAddress& address, bool readBackOfSent);

    // Whether each line also carries the data fields (off by default).
    void SetRecordData(bool on) { RecordData_ = on; }

    // A drive's line: what its last enumeration said of it, for the line its opening writes.
    static std::string DriveLine(const std::string& device, const std::optional<std::string>& deviceId,
                                 const std::optional<std::string>& serial, const std::string& time);

    std::vector<DriveCandidate> EnumerateOpticalDrives() override;
    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) override;
    void Close(PlatformHandle handle) override;

private:
    std::mutex LineMutex_;  // drives on threads of their own: whole lines, one at a time
    LineSink Sink_;
    bool RecordData_ = false;
    std::unordered_set<std::string> SentDigests_;  // of every block sent, while recording data
    struct OpenDevice {
        std::string Path;
        DriveAddress Address;
    };
    std::unordered_map<PlatformHandle, OpenDevice> Devices_;
    std::vector<DriveCandidate> Enumerated_;  // the last enumeration, which names each drive opened
};
