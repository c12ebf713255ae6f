// SPDX-License-Identifier: Apache-2.0
#pragma once
// The system log (syslog, read with journalctl): one line for each run's outcome, so an
// administrator sees what was flashed without the program's own history file.

#include <string>

#include "history/HistoryRecord.h"

class SystemLog {
public:
    virtual ~SystemLog() = default;
    // priority as syslog(3) takes it (LOG_NOTICE, LOG_WARNING, LOG_ERR).
    virtual void Write(int priority, const std::string& line) = 0;
};

// syslog(3) with the ident "flashutil" and the facility LOG_USER.
class LibcSystemLog : public SystemLog {
public:
    LibcSystemLog();
    void Write(int priority, const std::string& line) override;
};

// The line for a run that ended: the device, the drive, the utility, the revisions and the
// outcome, and its priority (a completed run is a notice, a failure before the commit a
// warning, a failed commit an error).
std::string SystemLogLine(const RunStart& start, const RunEnd& end);
int SystemLogPriority(FlashOutcome outcome);
