#include "shell/gui/WindowApp.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "image/Builder.h"
#include "scsi/CDDrive.h"
#include "scsi/LinuxPlatform.h"
#include "shell/PlatformChoice.h"
#include "shell/gui/TFlashForm.h"

namespace {

const char* const ApplicationTitle = "KAVENO Windows Flash utility";

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Screenshot mode (scripts/screenshots.sh): FLASHUTIL_SCREENSHOT names a file prefix. Every
// message box is saved as PREFIX-box-N.png and answered Yes (or OK), the window as PREFIX.png
// once shown; with FLASHUTIL_SCREENSHOT_RUN=1 the button is then pressed (in builder mode
// after choosing the first file), the window is saved one second into the run as
// PREFIX-running.png (if it still runs) and after it as PREFIX-run.png.
// It only works on virtual drives or in builder mode, so it never answers for a real drive.
struct ScreenshotMode {
    std::string Prefix;
    bool Run = false;
    int Boxes = 0;

    void Save(QWidget& widget, const std::string& path) {
        widget.grab().save(QString::fromStdString(path), "PNG");
        std::fprintf(stderr, "flashutil: saved %s\n", path.c_str());
    }
};

int RunForm(const Options& options, const IdentityBlock& block, PlatformChoice* choice, const char* argv0) {
    FlashFormSettings settings;
    settings.Block = block;
    settings.ProgramName = argv0 ? argv0 : "";

    if (choice && choice->Linux) {
        LinuxPlatform* system = choice->Linux;
        settings.ClaimDrive = [system](CDDrive& drive, std::string& why) {
            return system->ClaimForRun(drive.Handle, why);
        };
        settings.ReleaseDrive = [system](CDDrive& drive) { system->ReleaseRun(drive.Handle); };
    }

    std::unique_ptr<ScreenshotMode> shots;
    if (EnvironmentSet("FLASHUTIL_SCREENSHOT") && (block.IsBlankCopy() || options.VirtualDrive)) {
        shots = std::make_unique<ScreenshotMode>();
        shots->Prefix = std::getenv("FLASHUTIL_SCREENSHOT");
        shots->Run = EnvironmentSet("FLASHUTIL_SCREENSHOT_RUN");
    }

    std::unique_ptr<TFlashForm> form;
    if (shots) {
        settings.Answer = [&shots, &form](const MessageRequest& request) {
            QWidget* parent = form && form->isVisible() ? form.get() : nullptr;
            std::unique_ptr<QMessageBox> box = WindowUserInterface::MakeMessageBox(request, parent);
            box->show();
            QApplication::processEvents();
            shots->Save(*box, shots->Prefix + "-box-" + std::to_string(++shots->Boxes) + ".png");
            return request.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
        };
    }

    form = std::make_unique<TFlashForm>(settings);
    if (form->StartUpEnded())
        return 0;  // the window never becomes usable
    form->show();

    if (shots) {
        QTimer::singleShot(400, form.get(), [&] {
            shots->Save(*form, shots->Prefix + ".png");
            if (shots->Run) {
                if (form->BuilderMode && form->FileListBox1->count() > 0) {
                    form->FileListBox1->setCurrentRow(0);
                    form->FileListBox1Click();
                }
                QTimer during;
                during.setSingleShot(true);
                QObject::connect(&during, &QTimer::timeout, [&] {
                    if (form->Running())
                        shots->Save(*form, shots->Prefix + "-running.png");
                });
                during.start(1000);
                form->FlashButtonClick();
                QApplication::processEvents();
                shots->Save(*form, shots->Prefix + "-run.png");
            }
            form->close();
        });
    }
    QApplication::exec();
    form.reset();  // FormDestroy while the platform still exists
    return 0;
}

}  // namespace

bool WindowDisplayAvailable(const Options& options) {
    if (EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY") || EnvironmentSet("QT_QPA_PLATFORM"))
        return true;
    for (const std::string& argument : options.WindowArguments)
        if (argument == "-platform" || argument == "-display")
            return true;
    return false;
}

int RunWindowApplication(const Options& options, int argc, char** argv) {
    (void)argc;
    // Qt sees the program's name and the window options only; the rest is ours.
    std::vector<std::string> arguments{argv[0]};
    arguments.insert(arguments.end(), options.WindowArguments.begin(), options.WindowArguments.end());
    std::vector<char*> qtArgv;
    for (std::string& argument : arguments)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(arguments.size());

    const IdentityBlock block = IdentityBlock::Embedded();
    PlatformChoiceError error;
    std::unique_ptr<PlatformChoice> choice;
    if (!block.IsBlankCopy()) {
        // A blank copy touches no drive: it builds.
        choice = ChoosePlatform(options, block, error);
        if (!choice) {
            std::fprintf(stderr, "flashutil: %s\n", error.Text.c_str());
            return error.Exit;
        }
        CDDrive::SetPlatform(&choice->Get());
    }

    QApplication application(qtArgc, qtArgv.data());
    QApplication::setApplicationDisplayName(QString::fromLatin1(ApplicationTitle));
    int code = 0;
    try {
        code = RunForm(options, block, choice.get(), argv[0]);
    } catch (const std::exception& e) {
        // The standard display of an exception, then the usual exit code.
        QMessageBox::critical(nullptr, QString::fromLatin1(ApplicationTitle), QString::fromLocal8Bit(e.what()));
        code = 0;
    }
    CDDrive::SetUserInterface(nullptr);
    return code;
}
