// SPDX-License-Identifier: Apache-2.0
#include "app/commands/FleetEvents.h"

#include "flash/FlashTexts.h"
#include "ui/Translate.h"

std::string OutcomeKey(const FleetDrive& drive) {
    if (!drive.ProblemKey.empty())
        return drive.ProblemKey;
    if (!drive.Chosen())
        return "skipped";
    if (!drive.Refusal.empty())
        return "busy";
    if (!drive.Report)
        return "not_run";
    switch (drive.Report->Outcome) {
    case FlashOutcome::Completed: return "completed";
    case FlashOutcome::Rehearsed: return "rehearsed";
    case FlashOutcome::CommitFailed: return "commit_failed";
    case FlashOutcome::FailedBeforeCommit: return "failed_before_commit";
    case FlashOutcome::Interrupted: return "interrupted";
    case FlashOutcome::DiscPresent: return "disc_present";
    case FlashOutcome::Unidentified: return "unidentified";
    case FlashOutcome::RevisionRefused: return "revision_refused";
    case FlashOutcome::Declined: return "declined";
    }
    return "not_run";
}

std::string OutcomeWords(const FleetDrive& drive) {
    if (!drive.ProblemKey.empty())
        return drive.Problem;
    const std::string key = OutcomeKey(drive);
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

std::string StepKey(const std::string& status) {
    namespace S = FlashTexts::Status;
    static const struct {
        const char* Caption;
        const char* Key;
    } steps[] = {
        {S::ProfileUpload, "profile_upload"}, {S::ImageUpload, "image_upload"},
        {S::EntryCritical, "entry_critical"}, {S::Verify, "verify"},
        {S::Commit, "commit"},                {S::CommitFailed, "commit_failed"},
        {S::Completed, "completed"},          {S::Rehearsed, "rehearsed"},
    };
    // A failed phase keeps its caption and gets a suffix: the phase is still the caption's.
    for (const auto& step : steps)
        if (status.rfind(step.Caption, 0) == 0)
            return step.Key;
    return "";
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
