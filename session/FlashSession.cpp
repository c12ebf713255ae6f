// SPDX-License-Identifier: Apache-2.0
#include "session/FlashSession.h"

#include <cerrno>

#include "platform/DriveId.h"

#include "areas/Seal.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustedKeys.h"
#include "session/Consent.h"
#include "flash/FlashTexts.h"
#include "ui/Translate.h"

FlashSession::FlashSession(SessionSettings settings, SessionFrontEnd& frontEnd)
    : Settings_(std::move(settings)), FrontEnd_(frontEnd), Block_(Settings_.Utility.Areas.Block) {}

FlashSession::~FlashSession() = default;

bool FlashSession::CheckTrust(SessionSettings& settings, Answers& answers, std::string* refusal) {
    const UtilityCopy& utility = settings.Utility;
    return CheckUtilityTrust(utility.Areas, utility.File.empty() ? _("this utility") : utility.File,
                             InstalledTrustedKeys(), ReadSignaturePolicy(SignaturePolicyPath()), answers,
                             &settings.Verdict, refusal);
}

Opening FlashSession::Open() {
    if (!Opened_)
        Opened_ = OpenOnce();
    return *Opened_;
}

Opening FlashSession::OpenOnce() {
    UserInterface& person = FrontEnd_.Person();
    // The copy is judged before any drive is even looked for; a refusal has its line on the
    // error stream too, whatever the person was shown.
    // A folder's utilities were judged as it was looked at: only those allowed are in it.
    std::string refusal;
    if (!Settings_.Folder && !CheckTrust(Settings_, person, &refusal)) {
        if (!refusal.empty())
            FrontEnd_.Note(refusal);
        return Opening::Damaged;
    }
    if (!Settings_.Folder)
        FrontEnd_.Judged(Settings_.Verdict);
    Platform* platform = FrontEnd_.ChoosePlatform(Block_, PlatformCode_);
    if (!platform)
        return Opening::NoPlatform;
    Platform_.emplace(*platform, FrontEnd_.Stops());
    StartUp_.emplace(Block_, *Platform_);
    if (const std::shared_ptr<const Catalogue> folder = Settings_.Folder)
        StartUp_->QualifyBy([folder](const CDDrive& drive) {
            for (const CatalogueUtility& utility : folder->Utilities)
                if (JudgeDrive(utility.Texts, drive.PeripheralType(), drive.ProductText(), drive.RevisionText()).Qualifies)
                    return true;
            return false;
        }, {FlashTexts::FolderWarning(folder->Folder), FlashTexts::FolderReportHead(folder->Folder),
            FlashTexts::FolderCaption(folder->Folder)});
    StartUp_->FormIdentityTexts();
    FrontEnd_.Introduce(*StartUp_);
    if (!StartUp_->AskWarning(person) || FrontEnd_.Stops().Requested()) {
        // An interrupt while the warning waits stops the session before any drive is looked
        // for: an interrupt, not a declined warning.
        Stopped_ = FrontEnd_.Stops().Requested();
        if (!Stopped_)
            FrontEnd_.Declined();
        return Opening::Declined;
    }
    FrontEnd_.WarningAccepted(*StartUp_);

    // A drive that was busy or denied is the likelier cause of finding none: said first.
    const FlashStartUp::Detection detection = StartUp_->Detect(person, [this] {
        if (const GuardedPlatform::OpenFailure* failure = Platform_->BusyOrDenied()) {
            FrontEnd_.Note(BusyOrDeniedInWords(*failure));
            BusyOrDeniedSaid_ = true;
        }
    });
    if (const CDDrives* drives = StartUp_->Drives(); drives && drives->LeftOut() > 0)
        FrontEnd_.Note(drives->LeftOutText());
    switch (detection) {
    case FlashStartUp::Detection::Ready: return Opening::Ready;
    case FlashStartUp::Detection::NoDrive: return Opening::NoDrive;
    case FlashStartUp::Detection::NoneQualify: return Opening::NoneQualify;
    }
    return Opening::NoDrive;
}

SessionResult FlashSession::Result() const {
    SessionResult result;
    result.Opened = Opened_.value_or(Opening::NoPlatform);
    result.PlatformCode = PlatformCode_;
    result.BusyOrDenied = Platform_ && Platform_->BusyOrDenied();
    result.Declined = Declined_;
    result.Stopped = Stopped_;
    result.Ran = Ran_;
    result.NewRevision = NewRevision();
    result.Drives = Drives_;
    return result;
}

// Nothing to flash: a drive that was busy or denied is the likelier cause than a missing one.
// Every drive is still described, so that a summary can say why none was flashed.
SessionResult FlashSession::NothingToFlash() {
    Drives_ = Describe(true);
    if (const GuardedPlatform::OpenFailure* failure = Platform_->BusyOrDenied(); failure && !BusyOrDeniedSaid_)
        FrontEnd_.Note(BusyOrDeniedInWords(*failure));
    return Result();
}

SessionResult FlashSession::Run(const FlashRequest& request) {
    switch (Open()) {
    case Opening::Ready: break;
    case Opening::NoDrive:
    case Opening::NoneQualify: return NothingToFlash();
    case Opening::Damaged:
    case Opening::NoPlatform:
    case Opening::Declined: return Result();
    }
    switch (request.Drives) {
    case FlashRequest::Target::Planned: return FlashPlanned(*request.Fleet, request.All);
    case FlashRequest::Target::FirstDrive: return FlashOne(0, *request.Observer, true);
    case FlashRequest::Target::ListEntry: return FlashOne(request.Entry, *request.Observer, false);
    }
    return Result();
}

std::string FlashSession::BusyOrDeniedInWords(const GuardedPlatform::OpenFailure& failure) const {
    return failure.DevicePath + ": " + Platform_->ErrorText(failure.Error) +
           (failure.Error == EBUSY ? "; another program holds the drive: close it and run again"
                                   : "; the drive can't be opened: run as a user allowed to use it");
}

// The id and serial number the system gives for the drive at entry's node.
void FlashSession::NameDrive(SessionDrive& entry) const {
    if (const DriveCandidate* candidate = Platform_->CandidateAt(entry.Device)) {
        entry.DeviceId = DriveIdOf(*candidate);
        entry.Serial = candidate->Serial;
    }
}

// What is done with each drive the system named, by the plan. A drive the session could not
// look at (not opened, not identified, beyond a full list) is a failed drive of a session of
// all; otherwise it is merely not chosen.
std::vector<SessionDrive> FlashSession::Describe(bool all) const {
    const CDDrives& found = *StartUp_->Drives();
    std::vector<int> listIndex(std::size_t(found.Count()), -1);
    for (int k = 0; k < int(StartUp_->Entries().size()); ++k)
        listIndex[std::size_t(StartUp_->DriveIndexOf(k))] = k;
    std::vector<PlanCandidate> candidates;
    for (int i = 0; i < found.Count(); ++i) {
        const CDDrive& drive = *found.Item(i);
        candidates.push_back({listIndex[std::size_t(i)], drive.RevisionText(), drive.IdentityProblem(),
                              drive.PeripheralType(), drive.ProductText()});
    }
    const Catalogue* folder = Settings_.Folder.get();
    const std::vector<DrivePlan> plan = folder ? PlanFromFolder(*folder, candidates, all)
                                               : PlanFlash(StartUp_->Texts(), NewRevision(), candidates, all);

    std::vector<SessionDrive> drives;
    for (int i = 0; i < found.Count(); ++i) {
        const CDDrive& drive = *found.Item(i);
        SessionDrive entry;
        entry.Device = drive.DevicePath();
        NameDrive(entry);
        entry.Identity = drive.Identity();
        entry.Revision = drive.RevisionText();
        entry.ListIndex = listIndex[std::size_t(i)];
        entry.Timeout = drive.Timeout();
        entry.Plan = plan[std::size_t(i)];
        if (folder && entry.Plan.Utility >= 0)
            entry.Utility = &folder->Utilities[std::size_t(entry.Plan.Utility)];
        if (entry.Plan.Choice == DrivePlan::Decision::Ambiguous) {
            entry.Unreached = DriveEnding::Ambiguous;
            entry.Problem = entry.Plan.Reason;
        } else if (entry.Plan.Choice == DrivePlan::Decision::Refuse && entry.Plan.Refusal == FlashOutcome::Unidentified) {
            entry.Unreached = DriveEnding::Unidentified;
            entry.Problem = entry.Plan.Reason;
        } else {
            entry.SkipReason = entry.Plan.Reason;
        }
        drives.push_back(std::move(entry));
    }
    for (const UnlistedDrive& unlisted : found.Unlisted()) {
        SessionDrive entry;
        entry.Device = unlisted.DevicePath;
        NameDrive(entry);
        if (!all) {
            entry.SkipReason = unlisted.Cause;
        } else {
            entry.Unreached = unlisted.Why == UnlistedDrive::Reason::NotOpened      ? DriveEnding::NotOpened
                              : unlisted.Why == UnlistedDrive::Reason::Unidentified ? DriveEnding::Unidentified
                                                                                    : DriveEnding::LeftOut;
            entry.Problem = unlisted.Cause;
        }
        drives.push_back(std::move(entry));
    }
    return drives;
}

// The drive is claimed for its run (on Linux: no mounted disc, no other holder, and no sleep
// or shutdown) until the claim goes. A notice the platform gives (a sleep it could not hold
// off) goes to the error stream.
std::unique_ptr<RunClaim> FlashSession::Claim(int driveIndex, std::string& why) {
    std::string notice;
    std::unique_ptr<RunClaim> claim =
        Platform_->ClaimForRun(StartUp_->Drives()->Item(driveIndex)->Handle(), why, &notice);
    if (!notice.empty())
        FrontEnd_.Note(notice);
    return claim;
}

// Everything a run of this session is given, in the one place it is composed: the run's own
// checks (before the revision question) and the run itself see the same profiles and the
// same rehearsal. Only the history's hook is added per run, by Run.
RunControl FlashSession::Control() const {
    RunControl control;
    StopRequests& stops = FrontEnd_.Stops();
    control.StopRequested = [&stops] { return stops.Requested(); };
    control.HoldInterrupts = [&stops](bool hold) { stops.Hold(hold); };
    const uint8_t* seal = Settings_.Utility.Areas.Seal;
    control.MakerProfiles = seal ? SealedProfiles(seal) : std::span<const uint8_t>();
    control.NoCommit = Settings_.NoCommit;
    return control;
}

FlashReport FlashSession::Run(int driveIndex, int listIndex, Answers& answers, RunObserver& events,
                              RunControl control) {
    CDDrive& drive = *StartUp_->Drives()->Item(driveIndex);
    // With a folder, the drive's own utility: its image, its profiles, its record.
    const CatalogueUtility* own = OwnUtility(driveIndex);
    const UtilityCopy& copy = own ? own->Copy : Settings_.Utility;
    const IdentityBlock block = own ? copy.View() : Block_;
    if (own)
        control.MakerProfiles = copy.Areas.Seal ? SealedProfiles(copy.Areas.Seal) : std::span<const uint8_t>();
    HistoryRun record(Settings_.History, block, drive, Settings_.NoCommit);
    record.NameUtility(copy.FullPath, copy.Sha256, own ? own->Verdict : Settings_.Verdict);
    if (std::size_t(driveIndex) < Drives_.size())
        record.NameDrive(Drives_[std::size_t(driveIndex)].DeviceId, Drives_[std::size_t(driveIndex)].Serial);
    control.BeforeFirstCommand = [&record] { record.Started(); };
    const FlashReport report = FlashRun(drive, block, answers, events, std::move(control)).Run(listIndex);
    record.Ended(report, EndingKey(EndingOf(report.Outcome)));
    return report;
}

const CatalogueUtility* FlashSession::OwnUtility(int driveIndex) const {
    return std::size_t(driveIndex) < Drives_.size() ? Drives_[std::size_t(driveIndex)].Utility : nullptr;
}

std::vector<SessionDrive> FlashSession::Preview() const {
    return StartUp_ && StartUp_->Drives() ? Describe(true) : std::vector<SessionDrive>();
}

// With a folder the checks and the question are those of the drive's own utility, and the
// question names its file and its signer.
FlashReport FlashSession::FlashWithConsent(int driveIndex, int listIndex, RunObserver& observer) {
    Answers& person = FrontEnd_.Person();
    const CatalogueUtility* own = OwnUtility(driveIndex);
    RunControl control = Control();
    std::string with;
    if (own) {
        control.MakerProfiles = own->Copy.Areas.Seal ? SealedProfiles(own->Copy.Areas.Seal) : std::span<const uint8_t>();
        with = FlashTexts::UtilityNamed(own->Name, VerdictLine(own->Verdict));
    }
    const IdentityBlock block = own ? own->Copy.View() : Block_;
    return ::FlashWithConsent(
        *StartUp_->Drives()->Item(driveIndex), block, person, observer, std::move(control),
        [&](RunControl approved) { return Run(driveIndex, listIndex, person, observer, approved); }, with);
}

// The single drive is given its run whatever the plan says of it: the run's own checks refuse
// a drive the plan would not flash, with the words of the refusal the person is shown.
//
// With a folder every drive is planned, so that the chosen one has its own utility; a drive
// the folder gives none (ambiguous, up to date, not identified) has nothing to run, and the
// person is told why.
SessionResult FlashSession::FlashOne(int entry, RunObserver& observer, bool terminal) {
    Drives_ = Describe(Settings_.Folder != nullptr);
    if (terminal)
        FrontEnd_.Planned(*StartUp_, Drives_, NewRevision());
    const int target = DriveIndexOf(entry);
    if (target < 0)
        return Result();
    SessionDrive& ran = Drives_[std::size_t(target)];
    if (Settings_.Folder && !ran.Utility) {
        FrontEnd_.Person().Show(FlashTexts::NotFlashedFromFolder(ran.Problem.empty() ? ran.SkipReason : ran.Problem),
                                MessageKind::Error);
        return Result();
    }
    ran.SkipReason.clear();
    ran.Unreached.reset();
    ran.Problem.clear();
    std::string why;
    std::unique_ptr<RunClaim> claim = Claim(target, why);
    if (!claim) {
        ran.Refusal = why;
        if (terminal)
            FrontEnd_.Note(why);
        return Result();
    }
    FlashReport report;
    FrontEnd_.RunDriveJob([&] { report = FlashWithConsent(target, entry, observer); });
    claim.reset();
    ran.Report = report;
    Ran_ = true;
    if (!terminal)
        return Result();
    FrontEnd_.RunEnded(report);
    if (FrontEnd_.NobodyToAsk()) {
        Declined_ = true;
        FrontEnd_.Declined();
    }
    Stopped_ = FrontEnd_.Stops().Requested();
    return Result();
}
