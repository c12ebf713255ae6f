// SPDX-License-Identifier: Apache-2.0
#pragma once
// flashutil --cli --all (every qualifying drive at once) and --cli --json (the run as JSON
// lines): see AllDrivesCommand.cpp.

#include "app/commands/Commands.h"
#include "areas/UtilityFile.h"
#include "session/Catalogue.h"

// subject is the utility (this program's own or a file's), not a blank copy.
int RunAllDrives(const Options& options, const UtilityCopy& subject, ProcessPlumbing& process);

// The same with a folder of utilities: each drive flashed with the one that fits it (the
// folder looked at once, before any drive is).
int RunFolder(const Options& options, const std::string& folder, ProcessPlumbing& process);
// The files of a folder that are no utility on the error stream, each with its reason when
// each (-v, --json); a folder larger than the entries looked at, always.
void TellSkippedFiles(const Catalogue& catalogue, bool each);
