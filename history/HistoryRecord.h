// SPDX-License-Identifier: Apache-2.0
#pragma once
// The records of the history of runs, one JSON object per line: a start record when a run
// begins to send commands to a drive and an end record when it has ended, linked by the
// run's id. A start without an end is a run that never finished (a crash, a power cut).
//
// Start: {"record":"start","run":ID,"time":UTC,"version":V,"rehearsal":B,
//         "utility":{"model","maker","new_revision","image_sha256","sent_sha256","file","file_sha256",
//                    "signature":{"verdict","signer","fingerprint"}},
//         ("maker": the name of the utility's maker; records written before it was kept lack it)
//         ("signer", "fingerprint": null when none; records written before wrote "" for none)
//         ("sent_sha256": of the bytes of the image area the run sends, the image and the rest of
//         its last chunk; records written before it was kept lack it and read as "")
//         (the utility's file, the SHA-256 of the whole file and the verdict on its signature;
//         records written before they were kept lack them and read as "")
//         "drive":{"device","device_id","serial","identity","vendor","product","revision","virtual"}}
//         ("vendor": the drive's INQUIRY vendor, never the utility's maker)
//         ("device_id", "serial": null when the system does not tell them; records written
//         before they were kept lack them)
//         ("virtual": a drive the program played, a replayed one too, whatever its device path;
//         records written before it was kept lack it and read as false)
// End:   {"record":"end","run":ID,"time":UTC,"outcome":O,"step":S,"status":TEXT,
//         "revision_after":R|null,"identity_after":L|null,"duration_ms":N,
//         "failure":null|{"command","cdb","category","status","sense","sense_text","system_error"}}

#include <cstdint>
#include <optional>
#include <string>

#include "flash/FlashRun.h"
#include "flash/RunNames.h"

// The utility as a record names it.
struct RunUtility {
    std::string Model, NewRevision, ImageSha256;
    std::string SentSha256;                           // of the image area's bytes the run sends
    std::string File, FileSha256;                     // the utility's file and the SHA-256 of all of it
    std::string Verdict, Signer, Fingerprint;         // "trusted"..., the trusted key's name, the signing key's ("" for none)
    std::optional<std::string> Maker;                 // the maker's name; records written before lack it
};

// The drive as a record names it, at the run's start.
struct RunDrive {
    std::string Device, Identity, Vendor, Product, Revision;
    bool Virtual = false;
    // The drive's id and serial number, where the system told them; records written before
    // they were kept lack them.
    std::optional<std::string> DeviceId = std::nullopt, Serial = std::nullopt;
};

struct RunStart {
    std::string Run, Time, Version;
    bool Rehearsal = false;
    RunUtility Utility;
    RunDrive Drive;
};

// The command a run ended on, and how.
struct RunFailure {
    std::string Command;    // "Write Buffer", ...
    std::string Cdb;        // hex digits
    std::string Category;   // "check-condition", "status-only", "transport-error", "system-error"
    int Status = 0;         // the SCSI status byte
    std::string Sense;      // "KK/AA/QQ", "" without sense
    std::string SenseText;  // the sense in words, "" without sense
    int SystemError = 0;    // errno-style, 0 when none
};

struct RunEnd {
    std::string Run, Time;
    std::string Outcome, Step, Status;
    std::optional<std::string> RevisionAfter;  // null when unknown (a failed commit)
    std::optional<std::string> IdentityAfter;  // the identity line read after a completed flash
    int64_t DurationMs = 0;
    std::optional<RunFailure> Failure;
};

// The command a run ended on, as a record gives it. Steps are named by StepKey
// (flash/RunNames.h), outcomes by the session that records the run.
RunFailure FailureOf(const FailedCommand& failed);

// The record as one line of JSON, newline included.
std::string StartLine(const RunStart& start);
std::string EndLine(const RunEnd& end);

// A line read back: exactly one of start or end is set, or neither when the line is no record.
struct ParsedRecord {
    std::optional<RunStart> Start;
    std::optional<RunEnd> End;
};
ParsedRecord ParseRecord(const std::string& line);

// Which record a line is and the run it names, found without making a record of it: only the
// line up to its "record" and "run" keys is read (for a first reading of a whole file). A line
// ParseRecord reads as the start (the end) of run R is a start (an end) of run R here too,
// unless it gives one of the two keys twice (the program never does; ParseRecord takes the
// last value).
enum class RecordKind { None, Start, End };
struct RecordKey {
    RecordKind Kind = RecordKind::None;
    std::string Run;
};
RecordKey ScanRecord(const std::string& line);
