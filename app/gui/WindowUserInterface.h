// SPDX-License-Identifier: Apache-2.0
#pragma once
// The user-interface seam for the main window: message boxes, the status caption
// (GroupBox2's title), the progress bar, the busy cursor and the drive list entries.
//
// The long operations run on a worker thread so that the window keeps answering the
// desktop. Every call made from there is carried over to the window's thread and
// waits until it is done there, so the order of texts, boxes and progress changes is
// exactly the order in which the operation makes them.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "ui/UserInterface.h"

class QComboBox;
class QGroupBox;
class QMessageBox;
class QProgressBar;
class QWidget;

class WindowUserInterface : public QObject, public UserInterface {
    Q_OBJECT
public:
    // When set, answers message boxes in place of a real QMessageBox (tests, screenshots).
    using AnswerHook = std::function<MessageAnswer(const MessageRequest&)>;

    WindowUserInterface(QWidget* window, QGroupBox* statusFrame, QProgressBar* progressBar,
                        QComboBox* driveList);
    ~WindowUserInterface() override;

    void SetAnswerHook(AnswerHook hook) { Answer_ = std::move(hook); }

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    void SetStatus(const std::string& text) override;
    std::string Status();
    void SetProgressRange(int32_t minimum, int32_t maximum) override;
    void SetProgressStep(int32_t step) override;
    void SetProgressPosition(int32_t position) override;
    int32_t ProgressPosition() override;
    int32_t ProgressMaximum() override;
    void StepProgress() override;
    void SetBusyCursor(bool busy) override;
    void ReplaceListEntry(int index, const std::string& text) override;
    // The bar's own text gains the seconds waited; its caption and position stay as they are.
    void ShowWaiting(uint32_t seconds, uint32_t limit) override;

signals:
    // The status caption changed; raised on the window's thread before the frame is drawn.
    void StatusShown();

public:
    // The title a box of this kind gets when the request names none.
    static QString DefaultTitle(MessageKind kind);

    // Shows the box for real on the window's thread. Public so a hook can fall back to it.
    MessageAnswer ExecMessageBox(const MessageRequest& request);
    // The box as it is shown: kind, title, text and buttons; parent null for a box of its own.
    static std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest& request, QWidget* parent);

private:
    // Runs job on the window's thread and waits for it.
    void OnWindowThread(const std::function<void()>& job);
    void ShowProgress();

    QWidget* Window_;
    QGroupBox* StatusFrame_;
    QProgressBar* ProgressBar_;
    QComboBox* DriveList_;
    AnswerHook Answer_;
    ProgressModel Progress_;
    bool Busy_ = false;
    bool Waiting_ = false;          // the bar shows a wait
    bool TextShownBefore_ = false;  // the bar's text, as it was before the wait
    QString FormatBefore_;
    // The caption as the run set it (English, as the history records it); the frame shows it
    // in the user's language.
    std::string Caption_;
};

// "KAVENO Windows Flash utility": the title of a plain box and of the box that shows an
// unexpected exception. It is no application display name, which Qt would append to
// every caption the desktop shows.
extern const char* const ApplicationTitle;

// Texts of the core (the model file's, the drives', file names) are byte strings in the
// system's encoding (UTF-8); ASCII comes back byte for byte.
QString FromCoreText(const std::string& text);
std::string ToCoreText(const QString& text);
