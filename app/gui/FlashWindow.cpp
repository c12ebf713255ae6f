#include "app/gui/FlashWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <cstdio>

#include "flash/FlashEngine.h"
#include "flash/StartUp.h"
#include "scsi/CDDrives.h"

FlashWindow::FlashWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    StartUp();
}

FlashWindow::~FlashWindow() {
    // The drives (last to first) and IoBuffer, then the engine's StepBuffer and ProfileCopy.
    StartUp_.reset();
    Engine_.reset();
    if (CDDrive::Ui() == Ui_.get())
        CDDrive::SetUserInterface(nullptr);
}

void FlashWindow::StartUp() {
    Engine_ = std::make_unique<FlashEngine>(*Ui_, Settings_.Block);
    Engine_->ProfileImage = false;
    Engine_->DvdImage = false;
    Engine_->ProfileMatched = false;
    Engine_->FlashAll = false;
    ShiftBelowFileList();
    StartUp_ = std::make_unique<FlashStartUp>(Settings_.Block);
    StartUp_->FormIdentityTexts();
    SelectDriveLabel->setText(FromCoreText(StartUp_->PromptText()));
    if (!StartUp_->AskWarning(*Ui_)) {
        EndProgram();
        return;
    }
    FileListBox1->hide();
    setWindowTitle(FromCoreText(StartUp_->CaptionText()));
    // Detection may itself show messages (a drive that cannot be opened).
    CDDrive::SetUserInterface(Ui_.get());
    const FlashStartUp::Detection detection = StartUp_->Detect(*Ui_);
    // The list holds 24 drives; the window has no place for the rest, the error stream does.
    if (StartUp_->Drives && StartUp_->Drives->LeftOut() > 0)
        std::fprintf(stderr, "flashutil: %s\n", StartUp_->Drives->LeftOutText().c_str());
    if (detection != FlashStartUp::Detection::Ready) {
        EndProgram();
        return;
    }
    for (const std::string& entry : StartUp_->Entries())
        ComboBox->addItem(FromCoreText(entry));
    ComboBox->setCurrentIndex(0);
    StartUp_->FinishSelection(*Engine_);
    ChoiceChanged();
}

void FlashWindow::ChoiceChanged() {
    if (StartUp_)
        StartUp_->ComboBoxChange(ComboBox->currentIndex(), *Engine_);
}

void FlashWindow::Press() {
    if (Running() || !Engine_ || !Engine_->TargetDrive)
        return;
    const int selected = ComboBox->currentIndex();
    CDDrive& drive = *Engine_->TargetDrive;
    std::string why;
    if (Settings_.ClaimDrive && !Settings_.ClaimDrive(drive, why)) {
        Ui_->Show(why, MessageKind::Error);
        return;
    }
    RunOffWindowThread([&] { Engine_->FlashButtonClick(selected); });
    if (Settings_.ReleaseDrive)
        Settings_.ReleaseDrive(drive);
}

int FlashWindow::DriveIndex(int entry) const {
    return StartUp_ && entry >= 0 && entry < int(StartUp_->DriveIndex.size()) ? StartUp_->DriveIndex[std::size_t(entry)]
                                                                                : -1;
}

int FlashWindow::TargetDriveIndex() const {
    if (!StartUp_ || !StartUp_->Drives || !Engine_ || !Engine_->TargetDrive)
        return -1;
    for (int i = 0; i < StartUp_->Drives->Count(); ++i)
        if (StartUp_->Drives->Item(i) == Engine_->TargetDrive)
            return i;
    return -1;
}
