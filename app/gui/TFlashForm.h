#pragma once
// FlashForm, the program's one window. In flash mode it lists the drives that may take
// the image this copy carries and flashes the chosen one; in builder mode (a blank copy)
// it lists the models of the configuration file and the image files of the chosen model
// and builds new flash utilities.
//
// FormCreate runs inside the constructor, before the window is first shown. When the
// start-up ends the program (the warning declined, no drive, none qualifies, or the
// configuration file unusable), StartUpEnded() is true and the window must not be shown.
//
// A flash run or a build runs on a worker thread, so the window keeps answering the
// desktop (a commit may take minutes). Meanwhile the window takes no input and refuses
// to close; the handler returns when the run has ended.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "image/IdentityBlock.h"
#include "platform/Platform.h"
#include "app/gui/WindowUserInterface.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class CDDrive;
class CDDrives;
class FlashEngine;
class FlashStartUp;
struct ModelLists;

struct FlashFormSettings {
    IdentityBlock Block = IdentityBlock::Embedded();
    // Answers message boxes instead of the person (tests, screenshots); null shows real boxes.
    WindowUserInterface::AnswerHook Answer;
    // The client width the window opens with; the controls are stretched to fit it.
    int ClientWidth = 368;
    // Builder mode: the running program's file (its copy is the base of every build and its
    // name gives the configuration file's). Empty: the file this process was started from.
    std::string ExecutablePath;
    // Builder mode: argument 0 of the command line, named in two failure messages.
    std::string ProgramName;
    // Flash mode: takes the target drive for the run before anything is asked or sent (on
    // Linux: no mounted disc, no other holder, no sleep or shutdown meanwhile), given back
    // when the run has ended. nullptr with a reason refuses the run. Null: nothing to take.
    std::function<std::unique_ptr<RunClaim>(CDDrive& drive, std::string& why)> ClaimDrive;
};

class TFlashForm : public QWidget {
    Q_OBJECT
public:
    explicit TFlashForm(FlashFormSettings settings = {});
    ~TFlashForm() override;

    // Controls, in creation (and stacking) order.
    QLabel* SelectDriveLabel = nullptr;
    QListWidget* FileListBox1 = nullptr;
    QComboBox* ComboBox = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* FlashButton = nullptr;

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void ComboBoxChange();
    void FileListBox1Click();
    void FlashButtonClick();

    // The start-up ended the program; the window is never to be shown. Exit code 0.
    bool StartUpEnded() const { return StartUpEnded_; }
    // A flash run or a build is in progress.
    bool Running() const { return Running_; }

    WindowUserInterface& Ui() { return *Ui_; }

    // Members.
    std::unique_ptr<ModelLists> Models;       // the six configuration lists (builder mode)
    std::string SelectedBinName;               // file name chosen in FileListBox1
    bool BuilderMode = false;
    std::unique_ptr<FlashStartUp> StartUp;     // identity texts, DriveIndex, Drives, IoBuffer
    std::unique_ptr<FlashEngine> Engine;       // image kind, flags, TargetDrive, Cdb, buffers
    std::string StartDirectory;                // directory FileListBox1 shows in builder mode

    CDDrive* TargetDrive() const;
    CDDrives* Drives() const;
    int DriveIndex(int entry) const;

    // The directory and mask FileListBox1 shows, and the full path of its selected file.
    QString FileListDirectory() const { return FileListDirectory_; }
    QString FileListMask() const { return FileListMask_; }
    QString SelectedFilePath() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void StretchControls();
    void ShiftForFlashMode();
    void FlashModeStartUp();
    void BuilderModeStartUp();
    void EndProgram();
    void ReadFileList();
    // Runs job on a worker thread and keeps serving the window's events until it ends.
    void RunOffWindowThread(const std::function<void()>& job);

    FlashFormSettings Settings_;
    std::unique_ptr<WindowUserInterface> Ui_;
    QString FileListDirectory_;
    QString FileListMask_ = QStringLiteral("*.*");
    bool RefreshingFileList_ = false;
    bool StartUpEnded_ = false;
    bool Running_ = false;
    bool Destroyed_ = false;
};

// " Flash Utility V1.048 for": the text every window caption is built around.
extern const char* const UtilityTitle;
