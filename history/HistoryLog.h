// SPDX-License-Identifier: Apache-2.0
#pragma once
// The history of runs: every flash run that sends anything to a drive leaves a start record
// when it begins to and an end record when it has ended (see HistoryRecord.h), and its
// outcome goes to the system log.
//
// Each record is one line appended with O_APPEND in a single write(2) and synced before the
// run goes on, so records of runs on several drives at once (from several threads or
// processes) never mix, and a crash or a power cut never damages earlier records. A
// history that cannot be written (no place, a read-only home, a full disk) is reported once
// through the notice and changes nothing in the run.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "flash/FlashRun.h"
#include "history/HistoryRecord.h"
#include "history/SystemLog.h"
#include "base/UtcTime.h"
#include "trust/CopyVerdict.h"
#include "areas/IdentityBlock.h"
#include "scsi/CDDrive.h"

class HistoryLog {
public:
    using Notice = std::function<void(const std::string& text)>;

    // path as HistoryPath gives it ("" when there is none); log may be null (none).
    HistoryLog(std::string path, Notice notice, SystemLog* log);

    const std::string& Path() const { return Path_; }

    // Appends one record line. False when it could not be written; the first failure is
    // told through the notice, later ones are not. Safe from several threads at once.
    bool Append(const std::string& line);
    // Writes one line to the system log, if there is one.
    void Log(int priority, const std::string& line);

private:
    bool Failed(const std::string& cause);

    const std::string Path_;
    const Notice Notice_;
    SystemLog* const Log_;
    std::atomic<bool> Reported_{false};
};

// The record of one drive run. The front end makes it before the run, calls Started() when
// the run is about to send its first command (RunControl::BeforeFirstCommand) and Ended()
// with the run's report. A run that never started sending leaves no record. Used from one
// thread at a time; several runs may record into one history at once.
class HistoryRun {
public:
    // history may be null: nothing is recorded.
    HistoryRun(HistoryLog* history, const IdentityBlock& utility, const CDDrive& drive, bool rehearsal);

    // The utility's file, the SHA-256 of the whole file and the verdict on its signature, for
    // the start record; call before Started().
    void NameUtility(const std::string& file, const std::string& fileSha256, const CopyVerdict& verdict);

    // The drive's id and serial number, for the start record; call before Started().
    void NameDrive(const std::optional<std::string>& deviceId, const std::optional<std::string>& serial);

    void Started();
    // outcomeKey: how the run ended, as the session names it (EndingKey).
    void Ended(const FlashReport& report, const std::string& outcomeKey);

    const std::optional<RunStart>& Start() const { return Start_; }

private:
    HistoryLog* History_;
    const IdentityBlock Utility_;
    const CDDrive& Drive_;
    const bool Rehearsal_;
    RunUtility Named_;
    std::optional<std::string> DeviceId_, Serial_;
    std::optional<RunStart> Start_;
    std::chrono::steady_clock::time_point StartedAt_{};
};

// A new run id: 16 hex digits, random.
std::string NewRunId();
