// SPDX-License-Identifier: Apache-2.0
#include "flash/FlashRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "flash/FlashTexts.h"
#include "flash/FlashVerdict.h"
#include "flash/ProfileData.h"
#include "flash/Qualification.h"
#include "flash/WaitTicker.h"

namespace {
constexpr unsigned PollMilliseconds = 30;
constexpr unsigned SettledPolls = 10;
constexpr unsigned PauseAfterCommitMilliseconds = 200;
constexpr int32_t CommitProgressMaximum = 200, CommitProgressPosition = 198;

}  // namespace

bool DriveStoppedAnswering(const CommandResult& result) {
    if (result.Category == CommandCategory::TransportError)
        return true;
    if (result.Category != CommandCategory::SystemError)
        return false;
    switch (result.SystemError) {
    case ENODEV:
    case ENXIO:
    case ETIMEDOUT:
    case ESHUTDOWN:
    case ENOTCONN: return true;
    default: return false;
    }
}

DriveLoss LossOf(const CommandResult& result, bool nodeGone) {
    if (!DriveStoppedAnswering(result))
        return DriveLoss::None;
    if (result.SystemError == ETIMEDOUT)
        return DriveLoss::TimedOut;
    if (nodeGone || result.SystemError == ENODEV || result.SystemError == ENXIO)
        return DriveLoss::Gone;
    return DriveLoss::ConnectionFailed;
}

FlashRun::FlashRun(CDDrive& drive, const IdentityBlock& utility, Answers& answers, RunObserver& events,
                   RunControl control)
    : Drive_(drive), Utility_(utility), Kind_(ImageKindOf(utility)), Answers_(answers), Events_(events),
      Control_(std::move(control)), Commands_(drive, answers) {}

void FlashRun::Enter(RunPhase phase) {
    Status_ = {phase, PhaseEnd::None};
    Events_.StatusChanged(Status_);
}

// The phase keeps its name; its caption tells how it broke off.
FlashOutcome FlashRun::Fail(PhaseEnd end) {
    Status_.End = end;
    Events_.StatusChanged(Status_);
    return FlashOutcome::FailedBeforeCommit;
}

FlashOutcome FlashRun::Interrupted() {
    Fail(PhaseEnd::Interrupted);
    return FlashOutcome::Interrupted;
}

void FlashRun::Progress(uint32_t done, uint32_t total) {
    PassTotal_ = total;
    Events_.ProgressChanged(done, total);
}

bool FlashRun::StopWanted() const { return Control_.StopRequested && Control_.StopRequested(); }

// The image area holds at most ImageCapacity bytes; a length beyond it (or none at all)
// would send bytes that are not the image, so such an image is refused before anything is sent.
FlashOutcome FlashRun::CheckImage() {
    if (Kind_.Size != 0 && Kind_.Size <= Layout::ImageCapacity)
        return FlashOutcome::Completed;
    Answers_.Show(FlashTexts::BadImageLength(Kind_.Size, Layout::ImageCapacity), MessageKind::Plain);
    return FlashOutcome::FailedBeforeCommit;
}

// The drive is judged again by the rule a plan is made by: what it answers now decides.
FlashOutcome FlashRun::CheckIdentified() {
    // A drive the system no longer has is gone, whatever it answered before it went.
    const NodeDevice device = Drive_.DeviceNow();
    if (device.Gone) {
        Report_.DriveGone = true;
        Answers_.Show(FlashTexts::DriveGone(Drive_.DevicePath()), MessageKind::Error);
        return FlashOutcome::Unidentified;
    }
    Verdict_ = JudgeForFlash(IdentityTexts::From(Utility_), NewRevision(),
                             {Drive_.RevisionText(), Drive_.IdentityProblem()});
    if (Verdict_.Result == FlashVerdict::Kind::Unidentified) {
        Answers_.Show(FlashTexts::Unidentified(Drive_.DevicePath(), Verdict_.Cause), MessageKind::Error);
        return FlashOutcome::Unidentified;
    }
    const std::string why = WhyNoLongerQualified();
    if (why.empty())
        return FlashOutcome::Completed;
    const CDDrive::Opening& opened = Drive_.AtOpening();
    std::string now = Drive_.Identity();
    if (device != opened.Device)
        now += " at " + device.SystemDevice;
    Answers_.Show(FlashTexts::NoLongerQualifies(Drive_.DevicePath(), opened.Identity, now, why), MessageKind::Error);
    return FlashOutcome::Unidentified;
}

// A drive list can be stale by the time a run starts (drives swapped or renumbered, a node
// that leads elsewhere): the drive must still be the device that was opened, and its last
// answer must qualify by the same rule as at start-up. Nothing is sent to ask: the answer the
// drive gave when it was listed is judged, with the system's word on the device behind the node.
std::string FlashRun::WhyNoLongerQualified() const {
    const CDDrive::Opening& opened = Drive_.AtOpening();
    const NodeDevice now = Drive_.DeviceNow();
    if (now.SystemDevice != opened.Device.SystemDevice)
        return "its node leads to another device than when it was opened";
    if (now.Serial && opened.Device.Serial && *now.Serial != *opened.Device.Serial)
        return "its serial number changed from " + *opened.Device.Serial + " to " + *now.Serial;
    const QualificationVerdict verdict =
        JudgeDrive(Utility_, Drive_.PeripheralType(), Drive_.ProductText(), Drive_.RevisionText());
    // A drive at or above the new revision is the revision check's to refuse, with its own words.
    if (verdict.OnlyTheRange && Verdict_.Result == FlashVerdict::Kind::RevisionRefused)
        return {};
    return verdict.Why;
}

std::string FlashRun::NewRevision() const { return Utility_.NewFwName().substr(0, 4); }

// A profile or DVD image needs the flash-chip profiles: the maker's, carried by the utility,
// or the platform's stand-ins, which only the virtual drive has. Without either the run is
// refused here, before the revision question and before any command of the run.
FlashOutcome FlashRun::CheckProfiles() {
    Blobs_ = {};
    if (!Kind_.NeedsProfile())
        return FlashOutcome::Completed;
    if (Control_.MakerProfiles.size() == Profiles::DataSize)
        Blobs_ = Control_.MakerProfiles;
    else if (std::span<const uint8_t> standIns = Drive_.SystemPlatform().StandInProfiles();
             standIns.size() == Profiles::DataSize)
        Blobs_ = standIns;
    if (!Blobs_.empty())
        return FlashOutcome::Completed;
    Answers_.Show(FlashTexts::NoMakerProfiles(Drive_.DevicePath()), MessageKind::Error);
    return FlashOutcome::FailedBeforeCommit;
}

// A drive at or above the new revision is refused here; the change itself was approved before the run.
FlashOutcome FlashRun::CheckRevision(const std::string& driveRevision) {
    if (Verdict_.Result != FlashVerdict::Kind::RevisionRefused)
        return FlashOutcome::Completed;
    Answers_.Show(FlashTexts::AlreadyUpdated(driveRevision), MessageKind::Warning);
    return FlashOutcome::RevisionRefused;
}

// Load, wait until the drive has settled without a disc, stop it. The answers are read from
// the sense bytes; a command that never reached the drive left none to read, so it ends the
// wait (a drive unplugged or switched off fails every command with no sense at all, which
// would otherwise pass for "a disc is in it").
FlashOutcome FlashRun::WaitUntilReady() {
    if (!Commands_.Unjudged(Commands::LoadMedium(), "Load medium"))
        return NotReached();
    unsigned settled = 0;
    unsigned becomingReady = 0;
    for (;;) {
        if (StopWanted())
            return Interrupted();
        Drive_.SystemPlatform().Sleep(PollMilliseconds);
        if (!Commands_.Unjudged(Commands::TestUnitReady(), "Test Unit Ready"))
            return NotReached();
        if (Drive_.SenseIs(0x02, 0x04, 0x01)) {
            settled = 0;
            // A drive that never settles would hold the run forever.
            if (++becomingReady >= MaxBecomingReadyPolls) {
                Answers_.Show(_(FlashTexts::StillBecomingReady), MessageKind::Plain);
                return FlashOutcome::FailedBeforeCommit;
            }
        } else if (Drive_.SenseIs(0x02, 0x3A)) {
            break;
        } else {
            const bool noDisc = Commands_.CheckDisc();
            if (!Commands_.Reached("Read Capacity"))
                return NotReached();
            if (!noDisc) {
                Answers_.Show(_(FlashTexts::RemoveDisc), MessageKind::Plain);
                return FlashOutcome::DiscPresent;
            }
        }
        if (++settled == SettledPolls)
            break;
    }
    if (!Commands_.Unjudged(Commands::StopPlayScan(), "Stop Play/Scan") ||
        !Commands_.Unjudged(Commands::StopUnit(), "Stop Unit"))
        return NotReached();
    return FlashOutcome::Completed;
}

// A readiness command that never reached the drive: the run ends before anything went to
// the drive's memory, naming the drive and the cause.
FlashOutcome FlashRun::NotReached() {
    const FailedCommand& failure = *Commands_.Failure();
    if (DriveStoppedAnswering(failure.Result))
        SayLoss(failure, FlashTexts::LossPoint::BeforeUpload);
    else
        Answers_.Show(FlashTexts::NotSent(Drive_.DevicePath(), failure.Name, Drive_.FailureCause()),
                      MessageKind::Error);
    return FlashOutcome::FailedBeforeCommit;
}

// After a failed command of the upload, the read-back or the commit: when the drive stopped
// answering, say so plainly, and what that means for its flash.
void FlashRun::SayIfDriveLost(FlashTexts::LossPoint point) {
    const std::optional<FailedCommand>& failure = Commands_.Failure();
    if (failure && DriveStoppedAnswering(failure->Result))
        SayLoss(*failure, point);
}

// A timeout is a drive that did not answer in time, which says nothing of its being there; a
// drive is called unplugged only when the system says its device is gone.
void FlashRun::SayLoss(const FailedCommand& failure, FlashTexts::LossPoint point) {
    const std::string& device = Drive_.DevicePath();
    const DriveLoss loss = LossOf(failure.Result, Drive_.DeviceNow().Gone);
    Report_.DriveGone = loss == DriveLoss::Gone;
    std::string words;
    switch (loss) {
    case DriveLoss::TimedOut:
        words = FlashTexts::DriveTimedOut(device, CommandName(failure.Sent),
                                          failure.Sent.Timeout != 0 ? failure.Sent.Timeout : Drive_.Timeout(), point);
        break;
    case DriveLoss::Gone: words = FlashTexts::DriveStoppedAnswering(device, Drive_.FailureCause(), point); break;
    case DriveLoss::ConnectionFailed:
    case DriveLoss::None: words = FlashTexts::DriveConnectionFailed(device, Drive_.FailureCause(), point); break;
    }
    Answers_.Show(words, MessageKind::Error);
}

// The image area always holds whole chunks, so the chunk that holds the last image byte
// goes out whole, with the bytes of the area that follow the image: SentImageLength bytes in
// all, every one of them covered by the seal and the signature of a copy this version builds.
void FlashRun::Advance(uint32_t offset) {
    Progress(std::min(offset + ChunkSize, Kind_.Size), Kind_.Size);  // a short last chunk fills the bar
}

// Profile, image upload, entry critical, profile check, read-back. Completed here means:
// the drive's memory holds the image and the commit may be sent.
FlashOutcome FlashRun::UploadAndVerify() {
    if (Kind_.NeedsProfile()) {
        Report_.Step = FlashStep::ProfileUpload;
        Enter(RunPhase::ProfileUpload);
        if (StopWanted())
            return Interrupted();
        if (!SetupFlashProfile(Commands_, Kind_, Blobs_, Profile_))
            return Fail(PhaseEnd::Failed);
    }

    Report_.Step = FlashStep::ImageUpload;
    Enter(RunPhase::ImageUpload);
    Progress(0, Kind_.Size);
    const uint8_t* image = Utility_.Image();
    for (uint32_t offset = 0, sent = Utility_.SentImageLength(); offset < sent; offset += ChunkSize) {
        if (StopWanted())
            return Interrupted();
        std::memcpy(StepBuffer_.data(), image + offset, ChunkSize);
        if (!Commands_.WriteBuffer(offset, StepBuffer_.data(), WriteBufferCode::Data, ChunkSize))
            return Fail(PhaseEnd::Failed);
        Advance(offset);
    }

    // Entry critical readies the flash for the commit: a rehearsal never sends it.
    if (Kind_.Profile && !Control_.NoCommit) {
        Report_.Step = FlashStep::EntryCritical;
        Enter(RunPhase::EntryCritical);
        if (!Commands_.EntryCritical())
            return Fail(PhaseEnd::Failed);
    }

    Enter(RunPhase::Verify);
    if (Profile_.Matched) {
        Report_.Step = FlashStep::ProfileCheck;
        if (!ReadVerifyProfile(Commands_, Kind_, Blobs_, Profile_))
            return Fail(PhaseEnd::ProfileCheckFailed);
    }
    return ReadBackAndCompare();
}

FlashOutcome FlashRun::ReadBackAndCompare() {
    Report_.Step = FlashStep::ReadBack;
    Progress(0, Kind_.Size);
    const uint8_t* image = Utility_.Image();
    for (uint32_t offset = 0, sent = Utility_.SentImageLength(); offset < sent; offset += ChunkSize) {
        if (StopWanted())
            return Interrupted();
        // Whatever the transfer buffer holds before the read must not pass for the chunk: a
        // read that moves fewer bytes than asked would otherwise leave a copy of identical data
        // (padding chunks) from an earlier command in place.
        const uint8_t* expected = image + offset;
        uint8_t* transfer = Drive_.Buffer();
        for (uint32_t i = 0, n = std::min(ChunkSize, CDDrive::BufferLength()); i < n; ++i)
            transfer[i] = uint8_t(~expected[i]);
        if (!Commands_.ReadBuffer(offset, StepBuffer_.data(), ChunkSize))
            return Fail(PhaseEnd::ReadFailed);
        if (std::memcmp(StepBuffer_.data(), expected, ChunkSize) != 0) {
            Fail(PhaseEnd::CompareFailed);
            Answers_.Show(_(FlashTexts::CompareFailed), MessageKind::Plain);
            return FlashOutcome::FailedBeforeCommit;
        }
        Advance(offset);
    }
    if (StopWanted())
        return Interrupted();
    return FlashOutcome::Completed;
}

// The commit, and after success the refresh of the drive's entry and the restart question.
FlashOutcome FlashRun::Commit(int listIndex) {
    Report_.Step = FlashStep::Commit;
    Enter(RunPhase::Commit);
    Progress(CommitProgressPosition, CommitProgressMaximum);

    const bool flashAll = Utility_.FlashAll();
    // An interrupt must not break the command off while the drive writes its flash.
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(true);
    bool committed = false;
    {
        // The drive writes its flash before it answers, for up to the commit's timeout.
        WaitTicker alive([this](uint32_t seconds) { Events_.Waiting(seconds, CommitTimeoutSeconds); });
        committed = Commands_.WriteBuffer(0, Profile_.Bytes.data(),
                                          flashAll ? WriteBufferCode::CommitAll : WriteBufferCode::Commit, 0);
    }
    Events_.Waiting(0, 0);
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(false);

    if (!committed) {
        Enter(RunPhase::CommitFailed);
        SayIfDriveLost(FlashTexts::LossPoint::DuringCommit);
        return FlashOutcome::CommitFailed;
    }
    Progress(CommitProgressMaximum, CommitProgressMaximum);
    Drive_.SystemPlatform().Sleep(PauseAfterCommitMilliseconds);
    Enter(RunPhase::Completed);
    // The drive is asked again: its entry shows the new revision, or that it is not known.
    if (Drive_.Identify()) {
        Report_.NewIdentity = Drive_.Identity();
        Events_.IdentityChanged(listIndex, Report_.NewIdentity);
    } else {
        Report_.RevisionUnread = Drive_.IdentityProblem();
        Events_.IdentityChanged(listIndex, FlashTexts::RevisionUnknownEntry(Drive_.AtOpening().Identity));
        Answers_.Show(FlashTexts::RevisionUnconfirmed(Drive_.DevicePath(), Drive_.FailureCause(), NewRevision()),
                      MessageKind::Warning);
    }

    Report_.Step = FlashStep::Restart;
    if (Control_.ConfirmRestart && Control_.ConfirmRestart()) {
        Events_.BusyChanged(false);
        Report_.RestartRequested = Drive_.SystemPlatform().RequestRestart();
        if (!Report_.RestartRequested)
            Answers_.Show(_(FlashTexts::RestartRefused), MessageKind::Plain);
    }
    return FlashOutcome::Completed;
}

FlashReport FlashRun::Finish(FlashOutcome outcome) {
    Report_.Outcome = outcome;
    Report_.Failure = Commands_.Failure();
    Report_.EndStatus = Status_;
    Report_.Status = FlashTexts::CaptionOf(Status_);
    return Report_;
}

void FlashRun::Reset() {
    Report_ = FlashReport{};
    Status_ = RunStatus{};
    PassTotal_ = 0;
    Profile_ = PreparedProfile{};
    Commands_.Forget();
}

FlashOutcome FlashRun::CheckBeforeSending() {
    if (FlashOutcome image = CheckImage(); image != FlashOutcome::Completed)
        return image;
    Report_.Step = FlashStep::Identification;
    if (FlashOutcome identified = CheckIdentified(); identified != FlashOutcome::Completed)
        return identified;
    if (FlashOutcome profiles = CheckProfiles(); profiles != FlashOutcome::Completed)
        return profiles;
    Report_.Step = FlashStep::RevisionCheck;
    if (FlashOutcome revision = CheckRevision(Drive_.RevisionText()); revision != FlashOutcome::Completed)
        return revision;
    Report_.Step = FlashStep::Confirmation;
    return FlashOutcome::Completed;
}

FlashReport FlashRun::Check() {
    Reset();
    return Finish(CheckBeforeSending());
}

FlashReport FlashRun::Run(int listIndex) {
    Reset();
    auto finish = [this](FlashOutcome outcome) { return Finish(outcome); };
    if (FlashOutcome checked = CheckBeforeSending(); checked != FlashOutcome::Completed)
        return finish(checked);

    Report_.Step = FlashStep::ReadinessWait;
    if (Control_.BeforeFirstCommand)
        Control_.BeforeFirstCommand();
    if (FlashOutcome ready = WaitUntilReady(); ready != FlashOutcome::Completed)
        return finish(ready);

    Progress(0, Kind_.Size);
    StepBuffer_.assign(ChunkSize, 0);
    Events_.BusyChanged(true);

    FlashOutcome outcome = UploadAndVerify();
    if (outcome == FlashOutcome::FailedBeforeCommit)
        SayIfDriveLost(FlashTexts::LossPoint::BeforeCommit);
    if (outcome == FlashOutcome::Completed && Control_.NoCommit) {
        outcome = FlashOutcome::Rehearsed;
        Enter(RunPhase::Rehearsed);
        Answers_.Show(_(FlashTexts::Rehearsed), MessageKind::Information);
    } else if (outcome == FlashOutcome::Completed) {
        outcome = Commit(listIndex);
    }

    Events_.BusyChanged(false);
    Progress(0, PassTotal_);
    return finish(outcome);
}
