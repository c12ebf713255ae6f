// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a flash run tells as it goes, as values: the phase it is in and how that phase
// ended, how far a pass has come (done of total), the busy cursor and the drive's new
// identity line. A front end shows them its own way; the caption texts for a status are
// rendered in one place (FlashTexts::CaptionOf). Messages and questions go through Answers.

#include <cstdint>
#include <optional>
#include <string>

// The phases a run shows to the person, each with a caption of its own. The profile check
// and the read-back share the Verify caption.
enum class RunPhase { ProfileUpload, ImageUpload, EntryCritical, Verify, Commit, CommitFailed, Completed, Rehearsed };

// How the current phase broke off; its caption keeps the phase's text and gains a suffix.
enum class PhaseEnd { None, Failed, ProfileCheckFailed, ReadFailed, CompareFailed, Interrupted };

struct RunStatus {
    std::optional<RunPhase> Phase;  // none before the first phase
    PhaseEnd End = PhaseEnd::None;

    friend bool operator==(const RunStatus&, const RunStatus&) = default;
};

class RunObserver {
public:
    virtual ~RunObserver() = default;

    virtual void StatusChanged(const RunStatus& status) = 0;
    // A pass (upload, read-back, commit) has moved done of total; done 0 also ends a pass.
    virtual void ProgressChanged(uint32_t done, uint32_t total) = 0;
    // The hourglass cursor for the part of the run that talks to the drive.
    virtual void BusyChanged(bool busy) = 0;
    // After a completed flash: the drive list's entry listIndex now reads identityLine.
    virtual void IdentityChanged(int listIndex, const std::string& identityLine) = 0;
    // While the run waits for the commit's answer: seconds waited of at most limit, about once
    // a second, from a thread of its own; limit 0 once the answer came. Nothing else of the
    // run is told meanwhile. A front end that shows no signs of life ignores it.
    virtual void Waiting(uint32_t /*seconds*/, uint32_t /*limit*/) {}
};
