// SPDX-License-Identifier: Apache-2.0
#include "flash/StartUp.h"

#include "flash/FlashTexts.h"
#include "ui/Translate.h"
#include "image/AreaLocator.h"
#include "image/Seal.h"
#include "image/VersionArea.h"
#include "platform/PrintableText.h"

bool CheckUtilitySeal(const IdentityBlock& block, const uint8_t* seal, const std::string& file, Answers& answers) {
    // The areas the run uses must be the ones every reader of its file finds, so that what
    // --info shows and what the seal covers is what is flashed.
    const SealCheck check = JudgeSeal(block, seal, EmbeddedVersionBytes(), OwnAreasMismatch());
    switch (check.Result) {
    case SealCheck::State::Intact: return true;
    case SealCheck::State::Unsealed:
        answers.Show(FlashTexts::UnsealedUtility(file), MessageKind::Warning);
        return true;
    case SealCheck::State::Damaged: break;
    }
    answers.Show(FlashTexts::DamagedUtility(file, check.Cause), MessageKind::Error);
    return false;
}

FlashStartUp::FlashStartUp(const IdentityBlock& block, Platform& platform) : Block_(block), Platform_(platform) {}

void FlashStartUp::FormIdentityTexts() { Texts_ = IdentityTexts::From(Block_); }

std::string FlashStartUp::PromptText() const { return FlashTexts::Prompt(Texts_); }
std::string FlashStartUp::CaptionText() const { return FlashTexts::Caption(Texts_); }
std::string FlashStartUp::WarningText() const { return FlashTexts::Warning(Texts_); }

bool FlashStartUp::AskWarning(Answers& answers) {
    return answers.Ask(Question::StartUpWarning, WarningText(), MessageKind::Warning, MessageAnswer::Yes, _("Warning"));
}

bool FlashStartUp::CheckCondition() const {
    if (!Drives_ || Drives_->Current() == nullptr)
        return false;
    const CDDrive* drive = Drives_->Current();
    return DriveQualifies(Texts_, drive->PeripheralType(), drive->ProductText(), drive->RevisionText());
}

FlashStartUp::Detection FlashStartUp::Detect(UserInterface& ui) {
    // Built before detection, so that it is ready if nothing qualifies.
    ErrorReport_ = FlashTexts::ErrorReportHead(Texts_);
    Entries_.clear();
    DriveIndex_.fill(0);
    Drives_ = std::make_unique<CDDrives>(Platform_, &ui);

    if (Drives_->Count() == 0) {
        ErrorReport_ += _(FlashTexts::NoDriveTail);
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
