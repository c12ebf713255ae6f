// SPDX-License-Identifier: Apache-2.0
#include "flash/RunNames.h"

const char* StepKey(FlashStep step) {
    switch (step) {
    case FlashStep::ImageCheck: return "image_check";
    case FlashStep::Identification: return "identification";
    case FlashStep::RevisionCheck: return "revision_check";
    case FlashStep::Confirmation: return "confirmation";
    case FlashStep::ReadinessWait: return "readiness_wait";
    case FlashStep::ProfileUpload: return "profile_upload";
    case FlashStep::ImageUpload: return "image_upload";
    case FlashStep::EntryCritical: return "entry_critical";
    case FlashStep::ProfileCheck: return "profile_check";
    case FlashStep::ReadBack: return "read_back";
    case FlashStep::Commit: return "commit";
    case FlashStep::Restart: return "restart";
    }
    return "image_check";
}

const char* PhaseKey(const RunStatus& status) {
    if (!status.Phase)
        return "";
    switch (*status.Phase) {
    case RunPhase::ProfileUpload: return "profile_upload";
    case RunPhase::ImageUpload: return "image_upload";
    case RunPhase::EntryCritical: return "entry_critical";
    case RunPhase::Verify: return "verify";
    case RunPhase::Commit: return "commit";
    case RunPhase::CommitFailed: return "commit_failed";
    case RunPhase::Completed: return "completed";
    case RunPhase::Rehearsed: return "rehearsed";
    }
    return "";
}
