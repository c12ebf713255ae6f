// SPDX-License-Identifier: Apache-2.0
#pragma once
// flashutil --cli --all (every qualifying drive at once) and --cli --json (the run as JSON
// lines): see AllDrivesCommand.cpp.

#include "app/commands/Options.h"
#include "image/IdentityBlock.h"

// block is the utility's own, not a blank copy.
int RunAllDrives(const Options& options, const IdentityBlock& block);
