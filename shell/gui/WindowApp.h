#pragma once
// The window program: the Qt application, the platform the command line chose, and FlashForm.

#include "shell/Options.h"

// Runs the window until it is closed. Returns 0 as the window program always does,
// or a usage exit code when the command line asks for an impossible platform.
int RunWindowApplication(const Options& options, int argc, char** argv);

// Whether a window can be shown at all: a display to talk to, or a Qt platform chosen.
bool WindowDisplayAvailable(const Options& options);
