#include <cstdio>
#include "shell/Options.h"
int RunCli(const Options&) { std::fprintf(stderr, "flashutil: --cli is not built yet\n"); return ExitCode::Failure; }
