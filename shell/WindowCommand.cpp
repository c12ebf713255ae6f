// The window. Where the program was built without Qt, or where there is no display to
// show a window on, the terminal front end does the same job.
#include <cstdio>

#include "shell/Options.h"

#ifdef FLASHUTIL_HAVE_GUI
#include "shell/gui/WindowApp.h"
#endif

int RunWindow(const Options& options, int argc, char** argv) {
#ifdef FLASHUTIL_HAVE_GUI
    if (WindowDisplayAvailable(options))
        return RunWindowApplication(options, argc, argv);
    std::fprintf(stderr, "flashutil: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
                         "running the terminal flash instead\n");
    return RunCli(options);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "flashutil: this build has no window (it was built without Qt); "
                         "running the terminal flash instead (see --help)\n");
    return RunCli(options);
#endif
}
