#include <cstdio>
#include "shell/Options.h"
int RunWindow(const Options&, int, char**) { std::fprintf(stderr, "flashutil: the window is not built yet\n"); return ExitCode::Failure; }
