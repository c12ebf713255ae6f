// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the terminal's flash sessions (one drive, several drives) do alike for their session:
// choose the platform from the command line and from then on watch the stop signals, end a
// declined question, and word how the session ended.

#include <memory>

#include "app/commands/Commands.h"
#include "app/setup/PlatformChoice.h"
#include "app/terminal/TerminalUserInterface.h"
#include "areas/IdentityBlock.h"
#include "session/DriveEnding.h"

// The platform the options choose for utility, kept in choice; from then on stop signals are
// watched and end person's prompts. Null when the options ask for something impossible: the
// usage error is reported and exitCode set.
Platform* ChooseTerminalPlatform(const Options& options, const IdentityBlock& utility,
                                 std::unique_ptr<PlatformChoice>& choice, ProcessPlumbing& process,
                                 TerminalUserInterface& person, int& exitCode);

// A question was declined: when nobody could answer (no terminal), says so.
void DeclinedAtTheTerminal(const TerminalUserInterface& person);

// The session's end: why nothing or not every drive was flashed, on the error stream, and the
// exit code. singleDrive: --cli's single drive; choice: the platform chosen (null: none).
int EndTerminalSession(const SessionResult& result, bool singleDrive, PlatformChoice* choice);
