// SPDX-License-Identifier: Apache-2.0
#include "session/FlashSession.h"

#include "image/Seal.h"
#include "image/SignaturePolicy.h"
#include "image/TrustedKeys.h"

FlashSession::FlashSession(const IdentityBlock& block, Platform& platform, SessionSettings settings)
    : Block_(block), Platform_(platform), Settings_(std::move(settings)), StartUp_(block, platform) {
    StartUp_.FormIdentityTexts();
}

bool FlashSession::CheckTrust(SessionSettings& settings, Answers& answers) {
    return CheckUtilityTrust(settings.Areas, settings.File.empty() ? "this utility" : settings.File,
                             InstalledTrustedKeys(), ReadSignaturePolicy(SignaturePolicyPath()), answers,
                             &settings.Verdict);
}

std::string FlashSession::LeftOutText() const {
    const CDDrives* drives = StartUp_.Drives();
    return drives && drives->LeftOut() > 0 ? drives->LeftOutText() : std::string();
}

std::vector<int> FlashSession::ListIndexes() const {
    std::vector<int> listIndex(std::size_t(StartUp_.Drives()->Count()), -1);
    for (int k = 0; k < int(StartUp_.Entries().size()); ++k)
        listIndex[std::size_t(StartUp_.DriveIndexOf(k))] = k;
    return listIndex;
}

std::vector<DrivePlan> FlashSession::Plan(bool all) const {
    const std::vector<int> listIndex = ListIndexes();
    std::vector<PlanCandidate> candidates;
    for (int i = 0; i < StartUp_.Drives()->Count(); ++i) {
        const CDDrive& drive = *StartUp_.Drives()->Item(i);
        candidates.push_back({listIndex[std::size_t(i)], drive.RevisionText(), drive.IdentityProblem()});
    }
    return PlanFlash(StartUp_.Texts(), NewRevision(), candidates, all);
}

std::unique_ptr<RunClaim> FlashSession::Claim(int driveIndex, std::string& why, std::string& notice) {
    return Platform_.ClaimForRun(Drive(driveIndex).Handle(), why, &notice);
}

FlashReport FlashSession::Run(int driveIndex, int listIndex, Answers& answers, RunObserver& events,
                              RunControl control) {
    CDDrive& drive = Drive(driveIndex);
    control.MakerProfiles = Settings_.Areas.Seal ? SealedProfiles(Settings_.Areas.Seal) : std::span<const uint8_t>();
    control.NoCommit = Settings_.NoCommit;
    HistoryRun record(Settings_.History, Block_, drive, Settings_.NoCommit);
    record.NameUtility(Settings_.FullPath, Settings_.Sha256, Settings_.Verdict);
    control.BeforeFirstCommand = [&record] { record.Started(); };
    const FlashReport report = FlashRun(drive, Block_, answers, events, std::move(control)).Run(listIndex);
    record.Ended(report);
    return report;
}
