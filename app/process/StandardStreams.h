// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's standard streams, looked after for the whole run.
//
// Descriptors 0 to 2 are kept occupied (by /dev/null where one was closed), so a file the
// program opens later, such as the trace, never takes the place of standard output and
// receives the program's messages. A reader that goes away (output piped into head) never
// ends a run that has started: SIGPIPE does nothing, writes to the closed stream fail
// harmlessly, and once the command is done the loss is said on standard error.

// First thing in main.
void ProtectStandardStreams();

// Last thing in main, with the command's exit code: flushes standard output and, when some
// of it could not be written, says so on standard error (if that can be written). The exit
// code is returned unchanged.
int FinishStandardStreams(int exitCode);
