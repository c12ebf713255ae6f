// SPDX-License-Identifier: Apache-2.0
#include "flash/StartUp.h"

#include "flash/FlashTexts.h"
#include "ui/Translate.h"
#include "areas/Seal.h"
#include "platform/PrintableText.h"

bool CheckUtilityTrust(const CopyAreas& copy, const std::string& file, const TrustedKeys& trusted,
                       const SignaturePolicy& policy, Answers& answers, CopyVerdict* verdictOut,
                       std::string* refusalOut) {
    const CopyVerdict verdict = JudgeCopy(copy, trusted);
    const TrustDecision decision = DecideTrust(verdict, policy);
    if (verdictOut)
        *verdictOut = verdict;
    if (refusalOut)
        refusalOut->clear();
    if (decision.Result == TrustDecision::Kind::Damaged) {
        answers.Show(FlashTexts::DamagedUtility(file, verdict.Cause), MessageKind::Error);
        if (refusalOut)
            *refusalOut = file + ": the utility is damaged (" + verdict.Cause +
                          "); nothing was sent to any drive: use an undamaged copy or build it again";
        return false;
    }
    // A key file or directory others could have written trusts nobody; said where it matters:
    // for a signed copy, or under the policy.
    if (!verdict.Fingerprint.empty() || policy.RequireSignature)
        for (const std::string& problem : trusted.Problems())
            answers.Show(FormatText(_("A trusted key is not used: %s"), PrintableText(problem).c_str()),
                         MessageKind::Warning);
    if (!decision.Allowed()) {
        std::string refusal = decision.Refusal;
        if (!policy.Problem.empty())
            refusal += " (" + policy.Problem + ")";
        answers.Show(FlashTexts::RefusedByPolicy(file, refusal), MessageKind::Error);
        if (refusalOut)
            *refusalOut = file + ": refused by the signature policy: " + refusal + "; nothing was sent to any drive";
        return false;
    }
    // A policy file read as requiring signatures because it could not be read as written:
    // its administrator learns of it also when the copy passes.
    if (!policy.Problem.empty())
        answers.Show(FormatText(_("The system's policy is read as RequireSignature=yes: %s"), policy.Problem.c_str()),
                     MessageKind::Warning);
    switch (verdict.Result) {
    case CopyVerdict::State::Trusted:
        answers.Show(FlashTexts::SignedUtility(file, verdict.Signer, verdict.Fingerprint), MessageKind::Information);
        break;
    case CopyVerdict::State::Untrusted:
        answers.Show(FlashTexts::UntrustedUtility(file, verdict.Fingerprint), MessageKind::Warning);
        break;
    case CopyVerdict::State::Unsigned:
        if (verdict.Seal.Result == SealCheck::State::Unsealed)
            answers.Show(FlashTexts::UnsealedUtility(file), MessageKind::Warning);
        break;
    case CopyVerdict::State::Damaged: break;
    }
    if (const std::string coverage = ShortCoverage(verdict); !coverage.empty())
        answers.Show(FlashTexts::PartlyCoveredUtility(file, coverage), MessageKind::Warning);
    return true;
}

FlashStartUp::FlashStartUp(const IdentityBlock& block, Platform& platform) : Block_(block), Platform_(platform) {}

void FlashStartUp::FormIdentityTexts() { Texts_ = IdentityTexts::From(Block_); }

std::string FlashStartUp::PromptText() const { return FlashTexts::Prompt(Texts_); }
std::string FlashStartUp::CaptionText() const {
    return Words_.Caption.empty() ? FlashTexts::Caption(Texts_) : Words_.Caption;
}
std::string FlashStartUp::WarningText() const {
    return Words_.Warning.empty() ? FlashTexts::Warning(Texts_) : Words_.Warning;
}

bool FlashStartUp::AskWarning(Answers& answers) {
    return answers.Ask(Question::StartUpWarning, WarningText(), MessageKind::Warning, MessageAnswer::Yes, _("Warning"));
}

bool FlashStartUp::CheckCondition() const {
    if (!Drives_ || Drives_->Current() == nullptr)
        return false;
    const CDDrive* drive = Drives_->Current();
    if (Rule_)
        return Rule_(*drive);
    return JudgeDrive(Texts_, drive->PeripheralType(), drive->ProductText(), drive->RevisionText()).Qualifies;
}

FlashStartUp::Detection FlashStartUp::Detect(UserInterface& ui, const std::function<void()>& beforeReport) {
    // Built before detection, so that it is ready if nothing qualifies.
    ErrorReport_ = Words_.ReportHead.empty() ? FlashTexts::ErrorReportHead(Texts_) : Words_.ReportHead;
    Entries_.clear();
    DriveIndex_.fill(0);
    auto reports = std::make_unique<ShownDriveReports>(ui);
    Drives_ = std::make_unique<CDDrives>(Platform_, reports.get());
    Reports_ = std::move(reports);

    if (Drives_->Count() == 0) {
        ErrorReport_ += _(FlashTexts::NoDriveTail);
        if (beforeReport)
            beforeReport();
        ui.Show(ErrorReport_, MessageKind::Error, _("Error"));
        return Detection::NoDrive;
    }

    ErrorReport_ += _(FlashTexts::DetectedDrivesHead) + std::string(59, '-') + "\n";
    for (int i = 0; i < Drives_->Count(); ++i) {
        Drives_->Select(static_cast<int16_t>(i));
        CDDrive* drive = Drives_->Current();
        if (CheckCondition()) {
            DriveIndex_[Entries_.size()] = i;  // Count never exceeds the table's size
            Entries_.push_back(drive->IdentityLine());
        } else {
            ErrorReport_ += PrintableText(drive->IdentityLine()) + "\n";  // one line per drive, whatever it answered
        }
    }

    if (Entries_.empty()) {
        if (beforeReport)
            beforeReport();
        ui.Show(ErrorReport_, MessageKind::Error, _("Error"));
        return Detection::NoneQualify;
    }
    return Detection::Ready;
}

CDDrive* FlashStartUp::SelectEntry(int index) {
    if (!Drives_ || index < 0 || static_cast<std::size_t>(index) >= Entries_.size())
        return nullptr;
    Drives_->Select(static_cast<int16_t>(DriveIndex_[index] & 0xFFFF));
    return Drives_->Current();
}

int FlashStartUp::DriveIndexOf(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < Entries_.size() ? DriveIndex_[std::size_t(index)] : -1;
}
