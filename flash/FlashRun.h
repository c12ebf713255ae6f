// SPDX-License-Identifier: Apache-2.0
#pragma once
// One flash run: the FLASH button pressed for one drive. Given the drive, the utility (its
// identity block and image), the answers seam and the run's observer, it confirms the
// revision change, waits for an empty drive, uploads the profile and the image into the
// drive's memory, reads everything back, and only after an exact match sends the commit
// that makes the drive write its flash. It ends with a report; it keeps nothing afterwards.
// A rehearsal (RunControl::NoCommit) stops after the comparison: the drive's flash is never
// asked to change.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "flash/DriveCommands.h"
#include "flash/DriveLoss.h"
#include "flash/FlashTexts.h"
#include "flash/FlashVerdict.h"
#include "flash/ImageKind.h"
#include "flash/Profiles.h"
#include "areas/IdentityBlock.h"
#include "scsi/CDDrive.h"
#include "ui/Answers.h"
#include "ui/RunObserver.h"

// How a run ended.
enum class FlashOutcome {
    Unidentified,        // the drive's identity or revision is unknown, or it is no longer the drive that
                         // qualified (another device, product, type or range): nothing sent
    RevisionRefused,     // drive already at or above the new revision: nothing sent
    Declined,            // the person did not answer Yes: nothing sent
    DiscPresent,         // "Remove disc, before to do the flash task."
    Interrupted,         // stopped on request during upload or read-back, before any commit
    FailedBeforeCommit,  // a command or the comparison failed; the commit was not sent
    CommitFailed,        // the commit itself failed ("Flash Fail.")
    Completed,           // "Flash Completed."
    Rehearsed,           // a rehearsal's read-back matched; neither entry critical nor the commit was sent
};

// The step a run was in when it ended.
enum class FlashStep {
    ImageCheck, Identification, RevisionCheck, Confirmation, ReadinessWait, ProfileUpload,
    ImageUpload, EntryCritical, ProfileCheck, ReadBack, Commit, Restart,
};

struct FlashReport {
    FlashOutcome Outcome = FlashOutcome::FailedBeforeCommit;
    FlashStep Step = FlashStep::ImageCheck;
    std::optional<FailedCommand> Failure;  // the command that failed, and how
    RunStatus EndStatus;                   // the status the run ended with
    std::string Status;                    // its caption
    std::string NewIdentity;               // the drive's identity line after a completed flash; "" when unread
    // Why the drive could not be identified again after a completed commit ("INQUIRY failed:
    // ..."): the commit was accepted, but its new revision is not confirmed. "" otherwise.
    std::string RevisionUnread;
    bool DriveGone = false;  // the drive's node was found to lead to no device any more
    bool RestartRequested = false;         // the person asked for the restart and it was requested
};

// Hooks a front end may give the run.
struct RunControl {
    // Polled between commands of the upload and read-back; true stops the run before any commit.
    std::function<bool()> StopRequested;
    // Called with true right before the commit is sent and with false once it has answered,
    // so a front end can hold interrupts that would otherwise break the command off.
    std::function<void(bool)> HoldInterrupts;
    // The maker's flash-chip profiles the utility carries (Profiles::DataSize bytes), empty
    // when it carries none. A profile or DVD image then uses the platform's stand-ins, which
    // only the virtual drive has; on any other platform it is refused before anything is sent.
    std::span<const uint8_t> MakerProfiles;
    // A rehearsal: everything up to and including the read-back and comparison, then stop.
    bool NoCommit = false;
    // The restart question, asked right after a completed commit while the run still shows
    // it; true when the person wants the restart. None: not asked here (a session of several
    // drives asks once every run has ended). The run itself asks nothing: the revision change
    // was approved before it was started.
    std::function<bool()> ConfirmRestart;
    // Called once, right before the run sends its first command to the drive (never for a
    // run that ends before that), so a front end can record that the drive is being changed.
    std::function<void()> BeforeFirstCommand;
};

class FlashRun {
public:
    static constexpr uint32_t ChunkSize = CDDrive::TransferBufferLength;  // one chunk fills the transfer buffer
    // The seal and the signature cover the bytes IdentityBlock::SentImageLength names: the chunks sent.
    static_assert(ChunkSize == Layout::UploadChunkSize, "the run sends the chunks the seal covers");
    // The polls of the readiness wait after which a drive that still reports "becoming ready"
    // is given up (about a minute of 30 ms polls), so a stuck drive cannot hang the run.
    static constexpr unsigned MaxBecomingReadyPolls = 2000;

    FlashRun(CDDrive& drive, const IdentityBlock& utility, Answers& answers, RunObserver& events,
             RunControl control = {});

    // What a run checks before it sends anything (the image, that the drive is still the one
    // listed and qualifies, the profiles, the revision), with its message when one fails: the
    // report's outcome is Completed when the run may go on. Nothing is sent to the drive.
    FlashReport Check();

    // Runs, the change of revision being approved: the checks of Check() again, then the
    // commands. listIndex is the drive list entry of the drive; after a completed flash that
    // entry is replaced with the drive's new identity line.
    FlashReport Run(int listIndex);

private:
    FlashOutcome CheckImage();
    FlashOutcome CheckIdentified();
    std::string NewRevision() const;
    std::string WhyNoLongerQualified() const;
    FlashOutcome CheckProfiles();
    FlashOutcome CheckRevision(const std::string& driveRevision);
    FlashOutcome CheckBeforeSending();
    void Reset();
    FlashReport Finish(FlashOutcome outcome);
    FlashOutcome WaitUntilReady();
    FlashOutcome UploadAndVerify();
    FlashOutcome ReadBackAndCompare();
    FlashOutcome Commit(int listIndex);
    FlashOutcome Fail(PhaseEnd end);
    void Enter(RunPhase phase);
    void Progress(uint32_t done, uint32_t total);
    FlashOutcome Interrupted();
    FlashOutcome NotReached();
    void SayIfDriveLost(FlashTexts::LossPoint point);
    void SayLoss(const FailedCommand& failure, FlashTexts::LossPoint point);
    bool StopWanted() const;
    void Advance(uint32_t offset);

    CDDrive& Drive_;
    const IdentityBlock Utility_;
    const ImageKind Kind_;
    Answers& Answers_;
    RunObserver& Events_;
    const RunControl Control_;
    DriveCommands Commands_;
    FlashReport Report_;
    FlashVerdict Verdict_;  // the drive as judged at FLASH
    RunStatus Status_;      // the run's own status, told to Events_ on every change
    uint32_t PassTotal_ = 0;  // the total of the current pass of the bar
    PreparedProfile Profile_;
    std::span<const uint8_t> Blobs_;  // the profiles this run uploads
    std::vector<uint8_t> StepBuffer_;
};
