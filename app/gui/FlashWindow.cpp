// SPDX-License-Identifier: Apache-2.0
#include "app/gui/FlashWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <cstdio>

#include "flash/FlashRun.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "image/AreaLocator.h"
#include "image/Builder.h"
#include "image/SignaturePolicy.h"
#include "image/TrustedKeys.h"
#include "scsi/CDDrives.h"
#include "app/commands/Options.h"

FlashWindow::FlashWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    StartUp();
}

FlashWindow::~FlashWindow() = default;

void FlashWindow::StartUp() {
    ShiftBelowFileList();
    const std::string file = !Settings_.UtilityFile.empty()      ? Settings_.UtilityFile
                             : Settings_.ExecutablePath.empty() ? RunningExecutablePath()
                                                                : Settings_.ExecutablePath;
    const CopyAreas areas{Settings_.Block.Raw(), Settings_.Seal, Settings_.Version, Settings_.Signature,
                          Settings_.PlaceDamage ? *Settings_.PlaceDamage : OwnAreasMismatch()};
    if (!CheckUtilityTrust(areas, file.empty() ? "this utility" : file, InstalledTrustedKeys(),
                           ReadSignaturePolicy(SignaturePolicyPath()), *Ui_, &Verdict_)) {
        EndProgram(ExitCode::FailedBeforeCommit);
        return;
    }
    StartUp_ = std::make_unique<FlashStartUp>(Settings_.Block, *Settings_.System);
    StartUp_->FormIdentityTexts();
    SelectDriveLabel->setText(FromCoreText(StartUp_->PromptText()));
    if (!StartUp_->AskWarning(*Ui_)) {
        EndProgram();
        return;
    }
    FileListBox1->hide();
    setWindowTitle(FromCoreText(StartUp_->CaptionText()));
    // Detection may itself show messages (a drive that cannot be opened).
    const FlashStartUp::Detection detection = StartUp_->Detect(*Ui_);
    // The list holds 24 drives; the window has no place for the rest, the error stream does.
    if (StartUp_->Drives() && StartUp_->Drives()->LeftOut() > 0)
        std::fprintf(stderr, "flashutil: %s\n", StartUp_->Drives()->LeftOutText().c_str());
    if (detection != FlashStartUp::Detection::Ready) {
        EndProgram();
        return;
    }
    for (const std::string& entry : StartUp_->Entries())
        ComboBox->addItem(FromCoreText(entry));
    ComboBox->setCurrentIndex(0);
    ChoiceChanged();
}

void FlashWindow::ChoiceChanged() {
    if (!StartUp_)
        return;
    if (CDDrive* drive = StartUp_->SelectEntry(ComboBox->currentIndex()))
        Target_ = drive;
}

void FlashWindow::Press() {
    if (Running() || Target_ == nullptr)
        return;
    const int selected = ComboBox->currentIndex();
    CDDrive& drive = *Target_;
    std::string why;
    std::unique_ptr<RunClaim> claim = Settings_.System->ClaimForRun(drive.Handle, why, nullptr);
    if (!claim) {
        Ui_->Show(why, MessageKind::Error);
        return;
    }
    RunControl control;
    control.MakerProfiles = Settings_.Seal ? SealedProfiles(Settings_.Seal) : std::span<const uint8_t>();
    control.NoCommit = Settings_.NoCommit;
    HistoryRun record(Settings_.History, Settings_.Block, drive, Settings_.NoCommit);
    record.NameUtility(Settings_.UtilityFile.empty() ? RunningExecutablePath() : Settings_.UtilityFile,
                       Settings_.UtilitySha256, Verdict_);
    control.BeforeFirstCommand = [&record] { record.Started(); };
    FlashReport report;
    RunOffWindowThread([&] { report = FlashRun(drive, Settings_.Block, *Ui_, *Ui_, control).Run(selected); });
    record.Ended(report);
}

int FlashWindow::DriveIndex(int entry) const {
    return StartUp_ ? StartUp_->DriveIndexOf(entry) : -1;
}

int FlashWindow::TargetDriveIndex() const {
    if (!StartUp_ || !StartUp_->Drives() || Target_ == nullptr)
        return -1;
    for (int i = 0; i < StartUp_->Drives()->Count(); ++i)
        if (StartUp_->Drives()->Item(i) == Target_)
            return i;
    return -1;
}
