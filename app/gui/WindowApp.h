// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window program: the Qt application, FlashForm, and the platform the command line chose.

#include <memory>

#include "app/process/ProcessPlumbing.h"
#include "app/setup/Options.h"
#include "app/gui/FormWindow.h"

// The program's window for the copy settings.Utility is: a builder window for a blank
// copy, a flash window for a built one. Its start-up has run when this returns.
std::unique_ptr<FormWindow> MakeMainWindow(FlashFormSettings settings);

struct UtilityCopy;
class QIcon;

// The utility a window flashes with --choose-utility: the file chooser gives (title, where to
// start) the path, "" when cancelled.
enum class ChosenUtility { Cancelled, Loaded, Unusable };
ChosenUtility LoadChosenUtility(const std::function<std::string(const std::string&, const std::string&)>& chooser,
                                UtilityCopy& subject, std::string& why);

// The utility of a window started from the desktop (--choose-utility): the file the desktop
// gave, else the one the chooser gives. A file that is no utility to flash (not a copy of the
// program, a blank copy) is refused in a message box naming it and why, and on the error stream.
ChosenUtility OpenDesktopUtility(const std::optional<std::string>& given,
                                 const std::function<std::string(const std::string&, const std::string&)>& chooser,
                                 UtilityCopy& subject);

// The program's icon, drawn from the SVG built into it (the menu entries' icon).
QIcon ProgramIcon();
// Makes the windows from now on belong to a menu entry: the builder's or the update's. Their
// class (X11) and application id (Wayland) are the entry's StartupWMClass and id, their icon
// the program's. Called before the first window, which fixes the class.
void SetDesktopIdentity(bool builder);

// Runs the window until it is closed. Returns 0 as the window program always does,
// or a usage exit code when the command line asks for an impossible platform.
int RunWindowApplication(const Options& options, int argc, char** argv, ProcessPlumbing& process);

#include <string>

// Whether a window can be shown, asked before Qt, which ends the program (abort) when the
// display it was sent to does not answer.
struct WindowDisplay {
    enum class State {
        Ready,        // a display answered, or a platform that needs none was chosen (offscreen, ...)
        None,         // no display named: neither DISPLAY nor WAYLAND_DISPLAY set, no platform chosen
        Unreachable,  // the display named does not answer
    };
    State Result = State::None;
    std::string Platform;  // Ready: the platform Qt must be told to use, "" for its own choice
    std::string Tried;     // Unreachable: what was tried, e.g. "DISPLAY=:99"
};
WindowDisplay CheckWindowDisplay(const Options& options);
