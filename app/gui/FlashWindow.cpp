// SPDX-License-Identifier: Apache-2.0
#include "app/gui/FlashWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <cstdio>

#include "flash/RunDisplay.h"
#include "image/Builder.h"
#include "session/FlashSession.h"

FlashWindow::FlashWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    StartUp();
}

FlashWindow::~FlashWindow() = default;

void FlashWindow::StartUp() {
    ShiftBelowFileList();
    const std::string file = Settings_.ExecutablePath.empty() ? RunningExecutablePath() : Settings_.ExecutablePath;
    const SessionSettings session{Settings_.Seal, file, Settings_.History, Settings_.NoCommit};
    if (!FlashSession::CheckSeal(Settings_.Block, session, *Ui_)) {
        EndProgram(ExitCode::FailedBeforeCommit);
        return;
    }
    Session_ = std::make_unique<FlashSession>(Settings_.Block, *Settings_.System, session);
    SelectDriveLabel->setText(FromCoreText(Session_->StartUp().PromptText()));
    if (!Session_->AskWarning(*Ui_)) {
        EndProgram();
        return;
    }
    FileListBox1->hide();
    setWindowTitle(FromCoreText(Session_->StartUp().CaptionText()));
    // Detection may itself show messages (a drive that cannot be opened).
    const FlashStartUp::Detection detection = Session_->Detect(*Ui_);
    // The list holds 24 drives; the window has no place for the rest, the error stream does.
    if (const std::string leftOut = Session_->LeftOutText(); !leftOut.empty())
        std::fprintf(stderr, "flashutil: %s\n", leftOut.c_str());
    if (detection != FlashStartUp::Detection::Ready) {
        EndProgram();
        return;
    }
    for (const std::string& entry : Session_->StartUp().Entries())
        ComboBox->addItem(FromCoreText(entry));
    ComboBox->setCurrentIndex(0);
    ChoiceChanged();
}

void FlashWindow::ChoiceChanged() {
    if (!Session_)
        return;
    if (Session_->SelectEntry(ComboBox->currentIndex()) != nullptr)
        Target_ = Session_->DriveIndexOf(ComboBox->currentIndex());
}

void FlashWindow::Press() {
    if (Running() || !Session_ || Target_ < 0)
        return;
    const int selected = ComboBox->currentIndex();
    const int target = Target_;
    std::string why, notice;  // the window has no place for the platform's notice
    std::unique_ptr<RunClaim> claim = Session_->Claim(target, why, notice);
    if (!claim) {
        Ui_->Show(why, MessageKind::Error);
        return;
    }
    RunDisplay display(*Ui_);
    RunOffWindowThread([&] { Session_->Run(target, selected, *Ui_, display, {}); });
}

int FlashWindow::DriveIndex(int entry) const { return Session_ ? Session_->DriveIndexOf(entry) : -1; }

int FlashWindow::TargetDriveIndex() const { return Session_ ? Target_ : -1; }
