// SPDX-License-Identifier: Apache-2.0
#include "app/gui/WindowUserInterface.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "flash/FlashTexts.h"
#include "flash/WaitTicker.h"
#include "app/gui/WindowAccessibility.h"
#include "ui/Translate.h"

const char* const ApplicationTitle = "KAVENO Windows Flash utility";

QString FromCoreText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

std::string ToCoreText(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

WindowUserInterface::WindowUserInterface(QWidget* window, QGroupBox* statusFrame,
                                         QProgressBar* progressBar, QComboBox* driveList)
    : Window_(window), StatusFrame_(statusFrame), ProgressBar_(progressBar), DriveList_(driveList) {
    Progress_.Minimum = ProgressBar_->minimum();
    Progress_.Maximum = ProgressBar_->maximum();
    Progress_.Position = ProgressBar_->value() < Progress_.Minimum ? Progress_.Minimum : ProgressBar_->value();
}

WindowUserInterface::~WindowUserInterface() {
    // A cursor left busy by an operation that never finished must not outlive the window.
    if (Busy_)
        QApplication::restoreOverrideCursor();
}

void WindowUserInterface::OnWindowThread(const std::function<void()>& job) {
    if (QThread::currentThread() == thread()) {
        job();
        return;
    }
    QMetaObject::invokeMethod(this, job, Qt::BlockingQueuedConnection);
}

QString WindowUserInterface::DefaultTitle(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning: return QString::fromUtf8(_("Warning"));
    case MessageKind::Error: return QString::fromUtf8(_("Error"));
    case MessageKind::Information: return QString::fromUtf8(_("Information"));
    case MessageKind::Confirmation: return QString::fromUtf8(_("Confirm"));
    case MessageKind::Plain: break;
    }
    // A plain box carries the application's title.
    return FromCoreText(ApplicationTitle);
}

std::unique_ptr<QMessageBox> WindowUserInterface::MakeMessageBox(const MessageRequest& request, QWidget* parent) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.Kind) {
    case MessageKind::Warning: icon = QMessageBox::Warning; break;
    case MessageKind::Error: icon = QMessageBox::Critical; break;
    case MessageKind::Information: icon = QMessageBox::Information; break;
    case MessageKind::Confirmation: icon = QMessageBox::Question; break;
    case MessageKind::Plain: break;
    }
    const QString title = request.Title.empty() ? DefaultTitle(request.Kind) : FromCoreText(request.Title);
    auto box = std::make_unique<QMessageBox>(icon, title, FromCoreText(request.Text), QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    if (request.Buttons == MessageButtons::YesNo) {
        QPushButton* yes = box->addButton(QMessageBox::Yes);
        QPushButton* no = box->addButton(QMessageBox::No);
        box->setDefaultButton(request.Default == MessageAnswer::No ? no : yes);
        box->setEscapeButton(no);
    } else {
        QPushButton* ok = box->addButton(QMessageBox::Ok);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    }
    return box;
}

MessageAnswer WindowUserInterface::ExecMessageBox(const MessageRequest& request) {
    // Before the window is shown (start-up) the boxes stand on their own.
    std::unique_ptr<QMessageBox> box = MakeMessageBox(request, Window_ && Window_->isVisible() ? Window_ : nullptr);
    box->exec();
    const auto pressed = box->standardButton(box->clickedButton());
    if (request.Buttons == MessageButtons::YesNo)
        return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

MessageAnswer WindowUserInterface::ShowMessage(const MessageRequest& request) {
    MessageAnswer answer = MessageAnswer::No;
    OnWindowThread([&] { answer = Answer_ ? Answer_(request) : ExecMessageBox(request); });
    return answer;
}

void WindowUserInterface::SetStatus(const std::string& text) {
    OnWindowThread([&] {
        Caption_ = text;
        const QString before = StatusFrame_->title();
        StatusFrame_->setTitle(FromCoreText(FlashTexts::StatusInLanguage(text)));
        emit StatusShown();
        // A screen reader hears the new caption, and finds the step it belongs to on the bar.
        AnnounceStatus(StatusFrame_, before);
        ProgressBar_->setAccessibleDescription(StatusFrame_->title());
        StatusFrame_->repaint();
    });
}

std::string WindowUserInterface::Status() {
    std::string text;
    OnWindowThread([&] { text = Caption_; });
    return text;
}

void WindowUserInterface::ShowProgress() {
    // QProgressBar clamps on its own; the model has already applied the control's rules.
    // The work runs on this thread, so the bar is painted at once rather than scheduled; but
    // only when what it shows changes: a new range, or a position QProgressBar::setValue
    // finds visibly different (it repaints those itself). A build steps the bar once per
    // kilobyte, and painting each step made a build in the window take seconds.
    const bool newRange =
        ProgressBar_->minimum() != Progress_.Minimum || ProgressBar_->maximum() != Progress_.Maximum;
    ProgressBar_->setRange(Progress_.Minimum, Progress_.Maximum);
    ProgressBar_->setValue(Progress_.Position);
    if (newRange)
        ProgressBar_->repaint();
}

void WindowUserInterface::SetProgressRange(int32_t minimum, int32_t maximum) {
    OnWindowThread([&] {
        Progress_.SetRange(minimum, maximum);
        ShowProgress();
    });
}

void WindowUserInterface::SetProgressStep(int32_t step) {
    OnWindowThread([&] { Progress_.Step = step; });
}

// The bar, a smooth bar with no text otherwise, shows the seconds waited while the commit is
// waited for (past the limit, that the drive is late), and no text again once it answered.
void WindowUserInterface::ShowWaiting(uint32_t seconds, uint32_t limit) {
    OnWindowThread([&] {
        if (limit == 0) {
            ProgressBar_->setTextVisible(TextShownBefore_);
            ProgressBar_->setFormat(FormatBefore_);
            Waiting_ = false;
        } else {
            if (!Waiting_) {
                TextShownBefore_ = ProgressBar_->isTextVisible();
                FormatBefore_ = ProgressBar_->format();
                Waiting_ = true;
            }
            ProgressBar_->setFormat(FromCoreText(WaitWordsShort(seconds, limit)));
            ProgressBar_->setTextVisible(true);
        }
        ProgressBar_->repaint();
    });
}

void WindowUserInterface::SetProgressPosition(int32_t position) {
    OnWindowThread([&] {
        Progress_.SetPosition(position);
        ShowProgress();
    });
}

int32_t WindowUserInterface::ProgressPosition() {
    int32_t position = 0;
    OnWindowThread([&] { position = Progress_.Position; });
    return position;
}

int32_t WindowUserInterface::ProgressMaximum() {
    int32_t maximum = 0;
    OnWindowThread([&] { maximum = Progress_.Maximum; });
    return maximum;
}

void WindowUserInterface::StepProgress() {
    OnWindowThread([&] {
        Progress_.StepIt();
        ShowProgress();
    });
}

void WindowUserInterface::SetBusyCursor(bool busy) {
    OnWindowThread([&] {
        // One hourglass per operation: repeated calls do not stack up.
        if (busy == Busy_)
            return;
        Busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    });
}

void WindowUserInterface::ReplaceListEntry(int index, const std::string& text) {
    OnWindowThread([&] {
        // The entry keeps its place, so the index table of the list stays valid, and its marks
        // (a virtual drive's tool tip and accessible description).
        DriveList_->insertItem(index, FromCoreText(text));
        for (const int role : {int(Qt::ToolTipRole), int(Qt::AccessibleDescriptionRole)})
            DriveList_->setItemData(index, DriveList_->itemData(index + 1, role), role);
        DriveList_->removeItem(index + 1);
        DriveList_->setCurrentIndex(index);
        DriveList_->repaint();
    });
}
