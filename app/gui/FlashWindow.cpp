// SPDX-License-Identifier: Apache-2.0
#include "app/gui/FlashWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <cstdio>

#include "flash/RunDisplay.h"
#include "builder/Builder.h"
#include "session/FlashSession.h"
#include "app/gui/WindowAccessibility.h"
#include "ui/Translate.h"

// What the window does for its session: boxes through the window's user interface, the
// platform it was given, the prompt label and caption, and the run on a thread of its own
// while the window stays alive.
class FlashWindow::FrontEnd : public SessionFrontEnd {
public:
    explicit FrontEnd(FlashWindow& window) : Window_(window) {}

    UserInterface& Person() override { return *Window_.Ui_; }
    Platform* ChoosePlatform(const IdentityBlock& utility, int& exitCode) override {
        const FlashFormSettings& settings = Window_.Settings_;
        return settings.ChoosePlatform ? settings.ChoosePlatform(utility, exitCode) : settings.System;
    }
    // The list holds 24 drives; the window has no place for the rest, the error stream does.
    void Note(const std::string& line) override { std::fprintf(stderr, "flashutil: %s\n", line.c_str()); }
    void Introduce(const FlashStartUp& startUp) override {
        Window_.SelectDriveLabel->setText(FromCoreText(startUp.PromptText()));
    }
    void WarningAccepted(const FlashStartUp& startUp) override {
        Window_.FileListBox1->hide();
        Window_.setWindowTitle(FromCoreText(startUp.CaptionText()));
    }
    void RunDriveJob(const std::function<void()>& job) override { Window_.RunOffWindowThread(job); }

private:
    FlashWindow& Window_;
};

FlashWindow::FlashWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    StartUp();
}

FlashWindow::~FlashWindow() = default;

void FlashWindow::StartUp() {
    ShiftBelowFileList();
    SessionSettings session(Settings_.Utility, Settings_.History, Settings_.NoCommit);
    session.Folder = Settings_.Folder;
    // The window's messages name this program by the file it was told it runs from, another
    // copy by its absolute path.
    UtilityCopy& utility = session.Utility;
    utility.File = !utility.Own                       ? utility.FullPath
                   : Settings_.ExecutablePath.empty() ? RunningExecutablePath()
                                                      : Settings_.ExecutablePath;
    FrontEnd_ = std::make_unique<FrontEnd>(*this);
    Session_ = std::make_unique<FlashSession>(std::move(session), *FrontEnd_);
    // Declined, or nothing to flash: the person was shown why, and the window closes.
    if (Session_->Open() != Opening::Ready) {
        EndProgram(ExitCodeOf(Session_->Result(), Presenter::Window));
        return;
    }
    for (const std::string& entry : Session_->StartUp().Entries())
        ComboBox->addItem(FromCoreText(entry));
    NameUtilities();
    MarkVirtualEntries();
    ComboBox->setCurrentIndex(0);
    ChoiceChanged();
    FitTexts();
}

// A virtual drive's entry says so in its accessible description, and to the eye in a tool tip
// on the entry and on the list while it is chosen. The tool tip, not the caption or the entry's
// text: those are the program's fixed texts (the desktop shows the caption, the history records
// it) and the English window's geometry stays as it is; a tool tip changes neither.
void FlashWindow::MarkVirtualEntries() {
    const QString mark = QString::fromUtf8(_("Virtual drive: nothing is sent to a real drive."));
    for (int entry = 0; entry < ComboBox->count(); ++entry) {
        const CDDrive* drive = Session_->StartUp().Drives()->Item(Session_->DriveIndexOf(entry));
        if (!drive || !drive->SystemPlatform().VirtualDrives())
            continue;
        // An entry of a folder's window has its utility's reason in its tool tip already.
        const QString said = ComboBox->itemData(entry, Qt::ToolTipRole).toString();
        const QString told = said.isEmpty() || said.contains(mark) ? mark : said + QStringLiteral("\n") + mark;
        ComboBox->setItemData(entry, told, Qt::ToolTipRole);
        ComboBox->setItemData(entry, told, Qt::AccessibleDescriptionRole);
    }
    FollowEntryToolTips(ComboBox);
}

void FlashWindow::ChoiceChanged() {
    if (!Session_ || Session_->DriveIndexOf(ComboBox->currentIndex()) < 0)
        return;
    Selected_ = ComboBox->currentIndex();
}

void FlashWindow::Press() {
    if (Running() || !Session_ || Selected_ < 0)
        return;
    RunDisplay display(*Ui_);
    // A drive that could not be claimed is told in a box; a run shows its own messages.
    for (const SessionDrive& drive : Session_->Run(FlashRequest::ListEntry(Selected_, display)).Drives)
        if (!drive.Refusal.empty())
            Ui_->Show(drive.Refusal, MessageKind::Error);
    NameUtilities();  // the run gave its entry the drive's new identity
    MarkVirtualEntries();
}

int FlashWindow::DriveIndex(int entry) const { return Session_ ? Session_->DriveIndexOf(entry) : -1; }

int FlashWindow::TargetDriveIndex() const { return Session_ ? Session_->DriveIndexOf(Selected_) : -1; }
