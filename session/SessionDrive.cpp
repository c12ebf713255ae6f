// SPDX-License-Identifier: Apache-2.0
#include "session/SessionDrive.h"

#include "flash/RunNames.h"
#include "ui/Translate.h"

std::string DriveOutcomeKeyOf(const SessionDrive& drive) {
    if (!drive.ProblemKey.empty())
        return drive.ProblemKey;
    if (!drive.Chosen())
        return DriveOutcomeKey::Skipped;
    if (!drive.Refusal.empty())
        return DriveOutcomeKey::Busy;
    if (!drive.Report)
        return DriveOutcomeKey::NotRun;
    return OutcomeKey(drive.Report->Outcome);
}

std::string OutcomeWords(const SessionDrive& drive) {
    if (!drive.ProblemKey.empty())
        return drive.Problem;
    const std::string key = DriveOutcomeKeyOf(drive);
    if (key == "skipped")
        return _("skipped: ") + drive.SkipReason;
    if (key == "busy")
        return _("not claimed: ") + drive.Refusal;
    if (key == "commit_failed")
        return _("FAILED at the commit");
    if (key == "failed_before_commit")
        return _("FAILED before the commit (flash unchanged)");
    if (key == "interrupted")
        return _("interrupted before the commit (flash unchanged)");
    if (key == "disc_present")
        return _("not flashed: a disc is in the tray");
    if (key == "not_run")
        return _("not run (interrupted)");
    if (key == "completed")
        return _("completed");
    if (key == "rehearsed")
        return _("rehearsed");
    if (key == "unidentified")
        return _("unidentified");
    if (key == "revision_refused")
        return _("revision refused");
    if (key == "declined")
        return _("declined");
    std::string words = key;
    for (char& c : words)
        if (c == '_')
            c = ' ';
    return words;
}
