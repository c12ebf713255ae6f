// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's commands, one per mode of the command line. Each lives in its own file.
// Those that flash, build or write get the process's plumbing that main owns.

#include "app/process/ProcessPlumbing.h"
#include "app/setup/Options.h"

int RunList(const Options& options, ProcessPlumbing& process);
int RunCli(const Options& options, ProcessPlumbing& process);
int RunBuild(const Options& options, const char* argv0, ProcessPlumbing& process);
int RunWindow(const Options& options, int argc, char** argv, ProcessPlumbing& process);
int RunHelp();
int RunVersion();
int RunInfo(const Options& options);
int RunExtractImage(const Options& options, ProcessPlumbing& process);
int RunHistory(const Options& options);
int RunVerify(const Options& options);
