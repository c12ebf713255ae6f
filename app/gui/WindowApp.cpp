// SPDX-License-Identifier: Apache-2.0
#include "app/gui/WindowApp.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTimer>

#include <wayland-client-core.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryLog.h"
#include "history/HistoryPlace.h"
#include "platform/PrintableText.h"
#include "builder/Builder.h"
#include "app/gui/RememberedChoices.h"
#include "scsi/CDDrive.h"
#include "app/setup/Options.h"
#include "app/setup/PlatformChoice.h"
#include "areas/UtilityFile.h"
#include "app/gui/BuilderWindow.h"
#include "app/gui/FlashWindow.h"
#include "app/gui/QtLanguage.h"
#include "app/gui/UtilityFolder.h"
#include "ui/Translate.h"

namespace {

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
        widget.grab().save(QFile::decodeName(path.c_str()), "PNG");
        std::fprintf(stderr, "flashutil: saved %s\n", path.c_str());
    }
};

int RunForm(const Options& options, const UtilityCopy& subject, std::unique_ptr<PlatformChoice>& choice,
            const char* argv0, ProcessPlumbing& process, std::shared_ptr<const Catalogue> folder = nullptr) {
    const IdentityBlock block = subject.View();
    FlashFormSettings settings;
    settings.Utility = subject;
    settings.Folder = std::move(folder);
    settings.ProgramName = argv0 ? argv0 : "";
    settings.NoCommit = options.NoCommit;
    settings.ModelFile = options.IniFile.value_or("");
    if (options.ChooseModelFile) {
        // Started from the menu: a missing model file is asked for, and the choices are kept.
        settings.ChooseModelFile = [](const std::string& title, const std::string& start) {
            return QFile::encodeName(QFileDialog::getOpenFileName(nullptr, QString::fromUtf8(title.c_str()),
                                                                  QFile::decodeName(start.c_str()),
                                                                  QString::fromUtf8(_("Model files (*.INI *.ini)")) + QStringLiteral(";;") + QString::fromUtf8(_("All files (*)"))))
                .toStdString();
        };
        settings.ChoicesFile = RememberedChoicesPath(ConfigEnvironment::FromProcess());
    }
    // As the terminal does, once the copy's checks passed (a blank copy touches no drive: it builds).
    settings.ChoosePlatform = [&options, &choice](const IdentityBlock& utility, int& exitCode) -> Platform* {
        PlatformChoiceError error;
        choice = ChoosePlatform(options, utility, error);
        if (!choice) {
            std::fprintf(stderr, "flashutil: %s\n", error.Text.c_str());
            exitCode = error.Exit;
            return nullptr;
        }
        return &choice->Get();
    };
    // The window has no place for a notice that changes nothing in a run: the error stream.
    LibcSystemLog systemLog;
    HistoryLog history(
        HistoryPathOfProcess(),
        [](const std::string& text) { std::fprintf(stderr, "flashutil: %s\n", text.c_str()); }, &systemLog);
    settings.History = &history;
    settings.Process = &process;

    std::unique_ptr<ScreenshotMode> shots;
    if (EnvironmentSet("FLASHUTIL_SCREENSHOT") && ((block.IsBlankCopy() && !settings.Folder) || !options.VirtualDrives.empty())) {
        shots = std::make_unique<ScreenshotMode>();
        shots->Prefix = std::getenv("FLASHUTIL_SCREENSHOT");
        shots->Run = EnvironmentSet("FLASHUTIL_SCREENSHOT_RUN");
    }

    std::unique_ptr<FormWindow> form;
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

    form = MakeMainWindow(settings);
    if (form->StartUpEnded())
        return form->StartUpExitCode();  // the window never becomes usable
    form->show();

    if (shots) {
        QTimer::singleShot(400, form.get(), [&] {
            shots->Save(*form, shots->Prefix + ".png");
            if (shots->Run) {
                if (auto* builder = qobject_cast<BuilderWindow*>(form.get()))
                    builder->ChooseFirstFile();
                QTimer during;
                during.setSingleShot(true);
                QObject::connect(&during, &QTimer::timeout, [&] {
                    if (form->Running())
                        shots->Save(*form, shots->Prefix + "-running.png");
                });
                during.start(1000);
                form->Press();
                QApplication::processEvents();
                shots->Save(*form, shots->Prefix + "-run.png");
            }
            form->close();
        });
    }
    QApplication::exec();
    form.reset();  // the drives are closed while the platform still exists
    return 0;
}

std::string ChooseUtilityFile(const std::string& title, const std::string& start) {
    return QFile::encodeName(QFileDialog::getOpenFileName(nullptr, QString::fromUtf8(title.c_str()),
                                                          QFile::decodeName(start.c_str()),
                                                          QString::fromUtf8(_("Flash utilities (*.EXE *.exe)")) + QStringLiteral(";;") + QString::fromUtf8(_("All files (*)"))))
        .toStdString();
}

}  // namespace

QIcon ProgramIcon() {
    // Drawn from the SVG built into the program: no icon theme and no image plugin needed.
    QSvgRenderer svg(QStringLiteral(":/flashutil/flashutil.svg"));
    QIcon icon;
    if (!svg.isValid())
        return icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void SetDesktopIdentity(bool builder) {
    // Desktops join a window to its menu entry by the entry's id (Wayland's application id)
    // or by the window's class (X11's WM_CLASS, the entry's StartupWMClass), which Qt takes
    // from the application name: the same whatever a copy's file is called.
    QCoreApplication::setApplicationName(builder ? QStringLiteral("flashutil-builder") : QStringLiteral("flashutil"));
    QGuiApplication::setDesktopFileName(builder ? QStringLiteral("io.github.flashutil.flashutil.builder")
                                                : QStringLiteral("io.github.flashutil.flashutil"));
    QApplication::setWindowIcon(ProgramIcon());
}

namespace {

ChosenUtility LoadUtilityToFlash(const std::string& file, UtilityCopy& subject, std::string& why) {
    if (!LoadUtilityCopy(file, subject, why))
        return ChosenUtility::Unusable;
    if (subject.View().IsBlankCopy()) {
        why = file + " is a blank copy: it carries no firmware image to flash";
        return ChosenUtility::Unusable;
    }
    return ChosenUtility::Loaded;
}

}  // namespace

ChosenUtility LoadChosenUtility(const std::function<std::string(const std::string&, const std::string&)>& chooser,
                                UtilityCopy& subject, std::string& why) {
    const std::string file = chooser(_("Choose a flash utility"), QDir::homePath().toStdString());
    if (file.empty())
        return ChosenUtility::Cancelled;
    return LoadUtilityToFlash(file, subject, why);
}

ChosenUtility OpenDesktopUtility(const std::optional<std::string>& given,
                                 const std::function<std::string(const std::string&, const std::string&)>& chooser,
                                 UtilityCopy& subject) {
    std::string why;
    const ChosenUtility outcome = given ? LoadUtilityToFlash(*given, subject, why) : LoadChosenUtility(chooser, subject, why);
    if (outcome == ChosenUtility::Unusable) {
        // Started from the desktop, where nobody reads the error stream: a box says it too,
        // as plain text (a file's name is no markup), without control bytes.
        std::fprintf(stderr, "flashutil: %s\n", PrintableText(why).c_str());
        WindowUserInterface::MakeMessageBox({PrintableLines(why), MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, ApplicationTitle},
                                            nullptr)
            ->exec();
    }
    return outcome;
}

std::unique_ptr<FormWindow> MakeMainWindow(FlashFormSettings settings) {
    // A blank copy builds; a built copy flashes, and so does a folder of utilities.
    if (settings.Utility.View().IsBlankCopy() && !settings.Folder)
        return std::make_unique<BuilderWindow>(std::move(settings));
    return std::make_unique<FlashWindow>(std::move(settings));
}

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The value of one of Qt's window options on the command line; "" when not given.
std::string WindowArgument(const Options& options, const std::string& name) {
    std::string value;
    for (std::size_t i = 0; i + 1 < options.WindowArguments.size(); ++i)
        if (options.WindowArguments[i] == name)
            value = options.WindowArguments[i + 1];
    return value;
}

bool XServerAnswers(const std::string& name) {
    xcb_connection_t* connection = xcb_connect(name.empty() ? nullptr : name.c_str(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

// Qt's Wayland platform is a package of its own (qt6-wayland); without it Wayland is no choice.
bool WaylandPluginPresent() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !Environment("QT_PLUGIN_PATH").empty() || !platforms.entryList({QStringLiteral("libqwayland*")}).isEmpty();
}

bool WaylandCompositorAnswers() {
    // A socket name without the runtime directory it lies in names nothing.
    if (Environment("WAYLAND_SOCKET").empty() && !Environment("WAYLAND_DISPLAY").starts_with('/') &&
        Environment("XDG_RUNTIME_DIR").empty())
        return false;
    wl_display* display = wl_display_connect(nullptr);  // WAYLAND_DISPLAY, as Qt reads it
    if (display)
        wl_display_disconnect(display);
    return display != nullptr;
}

}  // namespace

WindowDisplay CheckWindowDisplay(const Options& options) {
    const std::string x = Environment("DISPLAY"), wayland = Environment("WAYLAND_DISPLAY");
    const std::string xOption = WindowArgument(options, "-display");
    // Qt's choice: -platform, else QT_QPA_PLATFORM, else its default: Wayland where one is
    // named (except on GNOME), then X11. By default only the displays named are tried.
    std::string platforms = WindowArgument(options, "-platform");
    if (platforms.empty())
        platforms = Environment("QT_QPA_PLATFORM");
    const bool ownChoice = platforms.empty();
    std::string desktops = Environment("XDG_CURRENT_DESKTOP") + ":" + Environment("XDG_SESSION_DESKTOP");
    std::transform(desktops.begin(), desktops.end(), desktops.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const bool waylandFirst = (!wayland.empty() || Environment("XDG_SESSION_TYPE") == "wayland") &&
                              desktops.find("gnome") == std::string::npos;
    if (ownChoice) {
        const std::string named[] = {!wayland.empty() ? "wayland;" : "", !x.empty() || !xOption.empty() ? "xcb;" : ""};
        platforms = waylandFirst ? named[0] + named[1] : named[1] + named[0];
        if (platforms.empty())
            return {};
    }

    WindowDisplay result;
    std::vector<std::string> tried;
    std::size_t from = 0;
    while (from <= platforms.size()) {
        const std::size_t end = std::min(platforms.find(';', from), platforms.size());
        const std::string entry = platforms.substr(from, end - from);
        const std::string name = entry.substr(0, entry.find(':'));
        from = end + 1;
        bool answers = false;
        if (name == "xcb") {
            answers = XServerAnswers(xOption.empty() ? x : xOption);
            tried.push_back(!xOption.empty() ? "-display " + xOption : x.empty() ? "DISPLAY unset" : "DISPLAY=" + x);
        } else if (name.starts_with("wayland")) {
            const bool plugin = WaylandPluginPresent();
            answers = plugin && WaylandCompositorAnswers();
            tried.push_back((wayland.empty() ? "WAYLAND_DISPLAY unset" : "WAYLAND_DISPLAY=" + wayland) +
                            (plugin ? "" : " without Qt's Wayland platform"));
        } else {
            answers = !name.empty();  // offscreen, vnc, ...: no display to reach
        }
        if (answers) {
            result.Result = WindowDisplay::State::Ready;
            // Where Qt's own choice would be another, it is told which display answered.
            if (ownChoice && name != (waylandFirst ? "wayland" : "xcb"))
                result.Platform = name;
            return result;
        }
    }
    result.Result = WindowDisplay::State::Unreachable;
    for (const std::string& what : tried)
        result.Tried += (result.Tried.empty() ? "" : ", ") + what;
    return result;
}

int RunWindowApplication(const Options& options, int argc, char** argv, ProcessPlumbing& process) {
    (void)argc;
    // Qt sees the program's name and the window options only; the rest is ours.
    std::vector<std::string> arguments{argv[0]};
    arguments.insert(arguments.end(), options.WindowArguments.begin(), options.WindowArguments.end());
    std::vector<char*> qtArgv;
    for (std::string& argument : arguments)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(arguments.size());

    QApplication application(qtArgc, qtArgv.data());
    LoadQtTranslations(application);
    // The update entry's, until the copy turns out to be a builder (before its first window).
    SetDesktopIdentity(false);

    // This program, or the utility FILE names (or the person chooses), read as data: its file is never run.
    // A folder of utilities: each drive gets the one of them that fits it.
    UtilityCopy subject;
    std::shared_ptr<const Catalogue> folder;
    std::string why;
    if (options.ChooseUtility) {
        const PathChooser chooser = [](const std::string& title, const std::string& start) {
            return ChooseUtilityOrFolder(title, start, ChooseUtilityFile);
        };
        switch (OpenDesktopSubject(options.Subject, chooser, options.Verbose, subject, folder)) {
        case ChosenUtility::Cancelled: return 0;  // nothing done
        case ChosenUtility::Unusable: return ExitCode::Failure;
        case ChosenUtility::Loaded: break;
        }
    } else if (options.Subject && IsCatalogueFolder(*options.Subject)) {
        if (!LoadUtilityFolder(*options.Subject, options.Verbose, folder, subject, why)) {
            std::fprintf(stderr, "flashutil: %s\n", PrintableText(why).c_str());
            return ExitCode::Failure;
        }
    } else if (!LoadUtilityCopy(options.Subject.value_or(""), subject, why)) {
        std::fprintf(stderr, "flashutil: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    const IdentityBlock block = subject.View();
    if (!folder && !subject.Own && block.IsBlankCopy()) {
        std::fprintf(stderr, "flashutil: %s is a blank copy: it carries no firmware image to flash\n", subject.File.c_str());
        return ExitCode::Failure;
    }
    std::unique_ptr<PlatformChoice> choice;  // the flash window's, once its copy's checks passed
    if (block.IsBlankCopy() && !folder)
        SetDesktopIdentity(true);
    int code = 0;
    try {
        code = RunForm(options, subject, choice, argv[0], process, folder);
    } catch (const std::exception& e) {
        // The standard display of an exception, then the usual exit code.
        QMessageBox::critical(nullptr, FromCoreText(ApplicationTitle), QString::fromLocal8Bit(e.what()));
        code = 0;
    }
    // A replayed drive's divergence is reported, with its exit code, by the window too.
    return choice ? FinishReplay(*choice, code) : code;
}
