// SPDX-License-Identifier: Apache-2.0
#include "flash/FlashRun.h"

#include "flash/FlashTexts.h"
#include "flash/FlashVerdict.h"
#include "flash/ProfileData.h"
#include "flash/Qualification.h"

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
