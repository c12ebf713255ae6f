// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's window, FlashForm: the layout both of its kinds share (caption, the prompt,
// the file list, the choice list, the status frame with its progress bar, the button), the
// user-interface seam, and a run on a worker thread. FlashWindow (a built copy) and
// BuilderWindow (a blank copy) fill it; MakeMainWindow in WindowApp.h chooses between them.
//
// The start-up runs inside the constructor, before the window is first shown. When it ends
// the program (the warning declined, no drive, none qualifies, or the configuration file
// unusable), StartUpEnded() is true and the window must not be shown.
//
// A flash run or a build runs on a worker thread, so the window keeps answering the
// desktop (a commit may take minutes). Meanwhile the window takes no input and refuses
// to close; Press() returns when the run has ended.
//
// The controls carry object names (SelectDriveLabel, FileListBox1, ComboBox, GroupBox2,
// ProgressBar, FlashButton) by which tests find them.

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "areas/IdentityBlock.h"
#include "areas/UtilityFile.h"
#include "platform/Platform.h"
#include "app/gui/WindowUserInterface.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class CDDrive;
class HistoryLog;
class ProcessPlumbing;
struct Catalogue;

struct FlashFormSettings {
    // The copy the window builds with (a blank one) or flashes: this program's own unless a
    // utility was given as a file, which is flashed from what was read of it, never run.
    UtilityCopy Utility = RunningCopy();
    // Answers message boxes instead of the person (tests, screenshots); null shows real boxes.
    WindowUserInterface::AnswerHook Answer;
    // The client width the window opens with; the controls are stretched to fit it.
    int ClientWidth = 368;
    // Builder mode: the running program's file (its copy is the base of every build and its
    // name gives the configuration file's). Empty: the file this process was started from.
    std::string ExecutablePath;
    // Builder mode: argument 0 of the command line, named in two failure messages.
    std::string ProgramName;
    // Builder mode: the model file given with --ini; empty: looked for (see ModelFileLookup.h).
    std::string ModelFile;
    // Flash mode: the platform the drives are found on and claimed through for a run, chosen
    // once the copy's checks passed (as the session's ChoosePlatform, which see); null when it
    // can't be (it said why and set the exit code). Not set: System (not owned) is taken.
    std::function<Platform*(const IdentityBlock& utility, int& exitCode)> ChoosePlatform;
    Platform* System = nullptr;
    // Flash mode: whether a run is a rehearsal that stops before the commit.
    bool NoCommit = false;
    // Flash mode: where each run that reaches a drive is recorded (not owned); null: nowhere.
    HistoryLog* History = nullptr;
    // Builder mode: gives each build the guard that removes its temporary output when a stop
    // signal ends the process (main's process plumbing; not owned); null: no such guard.
    ProcessPlumbing* Process = nullptr;
    // Builder mode: asks the person for a file or a folder (title, where to start) and gives its
    // path, "" when cancelled. ChooseModelFile set: no model file found offers it instead of ending.
    std::function<std::string(const std::string& title, const std::string& start)> ChooseModelFile, ChooseFolder;
    // Builder mode: where the choices made with them are kept (RememberedChoices.h); "" : nowhere,
    // and the image list starts in the current directory.
    std::string ChoicesFile;
    // Flash mode: a folder of utilities, as it was judged when it was looked at; each drive is
    // flashed with the one that fits it, and Utility only stands for them before the plan.
    // Null: Utility is flashed.
    std::shared_ptr<const Catalogue> Folder;
};

class FormWindow : public QWidget {
    Q_OBJECT
public:
    ~FormWindow() override;

    // The start-up ended the program; the window is never to be shown. Exit code 0.
    bool StartUpEnded() const { return StartUpEnded_; }
    // The exit code the ended start-up asks for: 0, or that of a failure before the commit.
    int StartUpExitCode() const { return StartUpExitCode_; }
    // A flash run or a build is in progress.
    bool Running() const { return Running_; }
    // What a click on the button does: the flash run or the build. Ignored during a run.
    virtual void Press() = 0;

protected:
    explicit FormWindow(FlashFormSettings settings);

    // The person chose another entry of the choice list (changes made in code raise none).
    virtual void ChoiceChanged() = 0;

    // The window is still being created: it is never shown, and the program ends with 0.
    void EndProgram(int exitCode = 0);
    // Moves the status frame, the bar and the button up by the file list's height.
    void ShiftBelowFileList();
    // Makes room for every text the window shows now: a prompt too long for its line wraps and
    // pushes what lies below it down; a button or the status caption too wide for its control
    // widens it, pushing the controls to its right along and widening the frame around it; the
    // window grows to hold them. Where every text fits (English) nothing moves. Nothing shrinks.
    void FitTexts();
    // Runs job on a worker thread and keeps serving the window's events until it ends.
    void RunOffWindowThread(const std::function<void()>& job);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    FlashFormSettings Settings_;
    // Controls, in creation (and stacking) order.
    QLabel* SelectDriveLabel = nullptr;
    QListWidget* FileListBox1 = nullptr;
    QComboBox* ComboBox = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* FlashButton = nullptr;
    std::unique_ptr<WindowUserInterface> Ui_;

private:
    void CreateControls();
    void StretchControls();

    bool StartUpEnded_ = false;
    int StartUpExitCode_ = 0;
    bool Running_ = false;
};

// " Flash Utility V1.048 for": the text every window caption is built around.
extern const char* const UtilityTitle;
