#include <cstdio>
#include "shell/Options.h"
int RunList(const Options&) { std::fprintf(stderr, "flashutil: --list is not built yet\n"); return ExitCode::Failure; }
