#include <cstdio>
#include "shell/Options.h"
int RunHelp() { std::printf("usage: flashutil [--list | --cli | --build | --help | --version] [options]\n"); return 0; }
int RunVersion() { std::printf("flashutil 1.0.4.8\nFlash utility for CD-RW drive\n"); return 0; }
