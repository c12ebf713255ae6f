// SPDX-License-Identifier: Apache-2.0
#include "app/commands/FleetEvents.h"

#include "flash/RunNames.h"

std::string DriveOutcomeKeyOf(const FleetDrive& drive) {
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

std::string OutcomeWords(const FleetDrive& drive) {
    if (!drive.ProblemKey.empty())
        return drive.Problem;
    const std::string key = DriveOutcomeKeyOf(drive);
    if (key == "skipped")
        return "skipped: " + drive.SkipReason;
    if (key == "busy")
        return "not claimed: " + drive.Refusal;
    if (key == "commit_failed")
        return "FAILED at the commit";
    if (key == "failed_before_commit")
        return "FAILED before the commit (flash unchanged)";
    if (key == "interrupted")
        return "interrupted before the commit (flash unchanged)";
    if (key == "disc_present")
        return "not flashed: a disc is in the tray";
    if (key == "not_run")
        return "not run (interrupted)";
    std::string words = key;
    for (char& c : words)
        if (c == '_')
            c = ' ';
    return words;
}

std::string QuestionKey(Question question) {
    switch (question) {
    case Question::StartUpWarning: return "start_up_warning";
    case Question::UpdateConfirmation: return "update_confirmation";
    case Question::Restart: return "restart";
    case Question::None: break;
    }
    return "message";
}
