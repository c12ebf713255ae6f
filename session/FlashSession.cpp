// SPDX-License-Identifier: Apache-2.0
#include "session/FlashSession.h"

#include <cerrno>

#include "image/Seal.h"
#include "image/SignaturePolicy.h"
#include "image/TrustedKeys.h"
#include "session/Consent.h"
#include "session/FailureWords.h"
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

FlashSession::Opening FlashSession::Open() {
    UserInterface& person = FrontEnd_.Person();
    // The copy is judged before any drive is even looked for; a refusal has its line on the
    // error stream too, whatever the person was shown.
    std::string refusal;
    if (!CheckTrust(Settings_, person, &refusal)) {
        if (!refusal.empty())
            FrontEnd_.Note(refusal);
        OpeningCode_ = ExitCode::FailedBeforeCommit;
        return Opening::Damaged;
    }
    FrontEnd_.Judged(Settings_.Verdict);
    Platform* platform = FrontEnd_.ChoosePlatform(Block_, OpeningCode_);
    if (!platform)
        return Opening::NoPlatform;
    Platform_.emplace(*platform, FrontEnd_.Stops());
    StartUp_.emplace(Block_, *Platform_);
    StartUp_->FormIdentityTexts();
    FrontEnd_.Introduce(*StartUp_);
    if (!StartUp_->AskWarning(person) || FrontEnd_.Stops().Requested()) {
        OpeningCode_ = FrontEnd_.Declined();
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

int FlashSession::OpenForTerminal() {
    switch (const Opening opening = Open()) {
    case Opening::Ready: return -1;
    case Opening::NoDrive:
    case Opening::NoneQualify: return NothingToFlash(opening);
    case Opening::Damaged:
    case Opening::NoPlatform:
    case Opening::Declined: break;
    }
    return OpeningCode_;
}

// Nothing to flash: a drive that was busy or denied is the likelier cause than a missing one.
// Every drive is still described, so that a summary can say why none was flashed.
int FlashSession::NothingToFlash(Opening opening) {
    Drives_ = Describe(true);
    if (const GuardedPlatform::OpenFailure* failure = Platform_->BusyOrDenied()) {
        if (!BusyOrDeniedSaid_)
            FrontEnd_.Note(BusyOrDeniedInWords(*failure));
        return ExitCode::Busy;
    }
    const std::string searched = FrontEnd_.Searched();
    FrontEnd_.Note(opening == Opening::NoDrive
                       ? "no optical drive found" + (searched.empty() ? std::string() : " (" + searched + ")")
                       : std::string("no drive qualifies for this firmware"));
    return ExitCode::NoDrive;
}

std::string FlashSession::BusyOrDeniedInWords(const GuardedPlatform::OpenFailure& failure) const {
    return failure.DevicePath + ": " + Platform_->ErrorText(failure.Error) +
           (failure.Error == EBUSY ? "; another program holds the drive: close it and run again"
                                   : "; the drive can't be opened: run as a user allowed to use it");
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
    for (int i = 0; i < found.Count(); ++i)
        candidates.push_back({listIndex[std::size_t(i)], found.Item(i)->RevisionText(), found.Item(i)->IdentityProblem()});
    const std::vector<DrivePlan> plan = PlanFlash(StartUp_->Texts(), NewRevision(), candidates, all);

    std::vector<SessionDrive> drives;
    for (int i = 0; i < found.Count(); ++i) {
        const CDDrive& drive = *found.Item(i);
        SessionDrive entry;
        entry.Device = drive.DevicePath();
        entry.Identity = drive.Identity();
        entry.Revision = drive.RevisionText();
        entry.ListIndex = listIndex[std::size_t(i)];
        entry.Plan = plan[std::size_t(i)];
        if (entry.Plan.Choice == DrivePlan::Decision::Refuse && entry.Plan.Refusal == FlashOutcome::Unidentified) {
            entry.ProblemKey = DriveOutcomeKey::Unidentified;
            entry.Problem = entry.Plan.Reason;
        } else {
            entry.SkipReason = entry.Plan.Reason;
        }
        drives.push_back(std::move(entry));
    }
    for (const UnlistedDrive& unlisted : found.Unlisted()) {
        SessionDrive entry;
        entry.Device = unlisted.DevicePath;
        if (!all) {
            entry.SkipReason = unlisted.Cause;
        } else {
            entry.ProblemKey = unlisted.Why == UnlistedDrive::Reason::NotOpened      ? DriveOutcomeKey::NotOpened
                               : unlisted.Why == UnlistedDrive::Reason::Unidentified ? DriveOutcomeKey::Unidentified
                                                                                     : DriveOutcomeKey::LeftOut;
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
    HistoryRun record(Settings_.History, Block_, drive, Settings_.NoCommit);
    record.NameUtility(Settings_.Utility.FullPath, Settings_.Utility.Sha256, Settings_.Verdict);
    control.BeforeFirstCommand = [&record] { record.Started(); };
    const FlashReport report = FlashRun(drive, Block_, answers, events, std::move(control)).Run(listIndex);
    record.Ended(report);
    return report;
}

FlashReport FlashSession::FlashWithConsent(int driveIndex, int listIndex, RunObserver& observer) {
    Answers& person = FrontEnd_.Person();
    return ::FlashWithConsent(*StartUp_->Drives()->Item(driveIndex), Block_, person, observer, Control(),
                              [&](RunControl control) { return Run(driveIndex, listIndex, person, observer, control); });
}

std::optional<FlashReport> FlashSession::FlashEntry(int entry, RunObserver& observer) {
    const int target = DriveIndexOf(entry);
    if (target < 0)
        return std::nullopt;
    std::string why;
    std::unique_ptr<RunClaim> claim = Claim(target, why);
    if (!claim) {
        FrontEnd_.Person().Show(why, MessageKind::Error);
        return std::nullopt;
    }
    FlashReport report;
    FrontEnd_.RunDriveJob([&] { report = FlashWithConsent(target, entry, observer); });
    return report;
}

int FlashSession::FlashFirstDrive(RunObserver& observer) {
    if (const int code = OpenForTerminal(); code >= 0)
        return code;
    Drives_ = Describe(false);
    FrontEnd_.Planned(*StartUp_, Drives_, NewRevision());
    const int target = DriveIndexOf(0);
    const CDDrive& drive = *StartUp_->Drives()->Item(target);
    const std::string revisionBefore = drive.RevisionText();
    std::string why;
    std::unique_ptr<RunClaim> claim = Claim(target, why);
    if (!claim) {
        FrontEnd_.Note(why);
        return ExitCode::Busy;
    }
    FlashReport report;
    FrontEnd_.RunDriveJob([&] { report = FlashWithConsent(target, 0, observer); });
    claim.reset();
    FrontEnd_.RunEnded(report);

    if (FrontEnd_.NobodyToAsk())
        return FrontEnd_.Declined();
    // Whatever the run showed the person, the error stream gets at least one line naming the
    // device and why the drive was not flashed.
    bool said = false;
    auto say = [&](const std::string& words) {
        if (!words.empty())
            FrontEnd_.Note(words);
        said = said || !words.empty();
    };
    const std::string timeout = TimeoutInWords(drive.DevicePath(), report, drive.Timeout());
    say(timeout.empty() ? TransportFailureInWords(report, drive.DevicePath(), *Platform_) : timeout);
    say(DriveFailureInWords(drive.DevicePath(), report));
    say(UnconfirmedInWords(drive.DevicePath(), report, NewRevision()));
    if (FrontEnd_.Stops().Requested()) {
        if (report.Outcome == FlashOutcome::Completed)
            say("interrupted after the flash completed; not asking further");
        else if (report.Outcome == FlashOutcome::CommitFailed)
            say("interrupted; the commit had already been sent and failed");
        else
            say("interrupted before the commit; the drive's flash is unchanged");
    }
    if (!said)
        say(OutcomeInWords(drive.DevicePath(), report, revisionBefore, NewRevision()));
    return ExitCodeOf(report.Outcome);
}

std::string TransportFailureInWords(const FlashReport& report, const std::string& device, const Platform& platform) {
    if (report.Outcome != FlashOutcome::FailedBeforeCommit && report.Outcome != FlashOutcome::CommitFailed)
        return {};
    if (!report.Failure || report.Failure->Result.SystemError == 0)
        return {};
    const int error = report.Failure->Result.SystemError;
    const std::string cause = platform.ErrorText(error);
    const std::string words = cause.empty() ? "error " + std::to_string(error) : cause;
    // The run itself told the person what a lost drive means for its flash; this names the loss.
    const bool lost = DriveStoppedAnswering(report.Failure->Result);
    return device + ": " + (lost ? "the drive stopped answering (" + words + ")" : words) +
           (report.Status.empty() ? std::string() : " (at: " + report.Status + ")");
}
