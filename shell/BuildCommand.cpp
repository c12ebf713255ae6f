#include <cstdio>
#include "shell/Options.h"
int RunBuild(const Options&, const char*) { std::fprintf(stderr, "flashutil: --build is not built yet\n"); return ExitCode::Failure; }
