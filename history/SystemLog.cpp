// SPDX-License-Identifier: Apache-2.0
#include "history/SystemLog.h"

#include <syslog.h>

LibcSystemLog::LibcSystemLog() { ::openlog("flashutil", LOG_PID, LOG_USER); }

void LibcSystemLog::Write(int priority, const std::string& line) { ::syslog(priority, "%s", line.c_str()); }

std::string SystemLogLine(const RunStart& start, const RunEnd& end) {
    const RunDrive& drive = start.Drive;
    std::string line = drive.Device + " (" + drive.Vendor + " " + drive.Product + " " + drive.Revision + "): " +
                       (start.Rehearsal ? "rehearsal of " : "") + "firmware " + start.Utility.NewRevision +
                       " for " + start.Utility.Model + ": " + end.Outcome;
    if (end.RevisionAfter)
        line += ", revision now " + *end.RevisionAfter;
    else
        line += ", revision now unknown";
    if (end.Failure) {
        line += "; " + end.Failure->Command + " failed at " + end.Step;
        if (!end.Failure->Sense.empty())
            line += " with sense " + end.Failure->Sense;
        if (end.Failure->SystemError != 0)
            line += " with system error " + std::to_string(end.Failure->SystemError);
    }
    return line + " (run " + start.Run + ")";
}

int SystemLogPriority(FlashOutcome outcome) {
    if (outcome == FlashOutcome::Completed || outcome == FlashOutcome::Rehearsed)
        return LOG_NOTICE;
    if (outcome == FlashOutcome::CommitFailed)
        return LOG_ERR;
    return LOG_WARNING;
}
