// SPDX-License-Identifier: Apache-2.0
#pragma once
// flashutil --cli --all (every qualifying drive at once) and --cli --json (the run as JSON
// lines): see AllDrivesCommand.cpp.

#include "app/commands/Commands.h"
#include "areas/UtilityFile.h"

// subject is the utility (this program's own or a file's), not a blank copy.
int RunAllDrives(const Options& options, const UtilityCopy& subject, ProcessPlumbing& process);
