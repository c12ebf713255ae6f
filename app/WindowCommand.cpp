// SPDX-License-Identifier: Apache-2.0
// The window. Where the program was built without Qt, or where there is no display to
// show a window on, the terminal front end does the same job.
#include <cstdio>

#include "areas/IdentityBlock.h"
#include "app/commands/Commands.h"

#ifdef FLASHUTIL_HAVE_GUI
#include "app/gui/WindowApp.h"
#endif

int RunWindow(const Options& options, int argc, char** argv, ProcessPlumbing& process) {
#ifdef FLASHUTIL_HAVE_GUI
    const WindowDisplay display = CheckWindowDisplay(options);
    switch (display.Result) {
    case WindowDisplay::State::Ready: {
        Options window = options;
        if (!display.Platform.empty())
            window.WindowArguments.insert(window.WindowArguments.end(), {"-platform", display.Platform});
        return RunWindowApplication(window, argc, argv, process);
    }
    case WindowDisplay::State::None:
        // A blank copy has nothing for the terminal flash to do: that is the news, not the display.
        if (!options.Subject && IdentityBlock::Embedded().IsBlankCopy()) {
            std::fprintf(stderr, "flashutil: this is a blank copy: it builds flash utilities in its window, and "
                                 "there is no display (DISPLAY and WAYLAND_DISPLAY are unset). Build in the "
                                 "terminal with --build --model N --image FILE\n");
            return ExitCode::Failure;
        }
        std::fprintf(stderr, "flashutil: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "running the terminal flash instead\n");
        break;
    case WindowDisplay::State::Unreachable:
        if (!options.Subject && IdentityBlock::Embedded().IsBlankCopy()) {
            std::fprintf(stderr, "flashutil: no display could be reached (%s); the builder's window cannot "
                                 "open. Build in the terminal with --build --model N --image FILE\n",
                         display.Tried.c_str());
            return ExitCode::Failure;
        }
        std::fprintf(stderr, "flashutil: no display could be reached (%s); running the terminal flash instead\n",
                     display.Tried.c_str());
        break;
    }
    return RunCli(options, process);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "flashutil: this build has no window (it was built without Qt); "
                         "running the terminal flash instead (see --help)\n");
    return RunCli(options, process);
#endif
}
