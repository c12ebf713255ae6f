// SPDX-License-Identifier: Apache-2.0
#pragma once
// Whether, and how, a failed command means that the drive stopped answering. A run tells of
// such a loss in words of its own (FlashRun), a session records it.

#include "scsi/CommandResult.h"

// Whether a command failed because the drive no longer answers: unplugged, switched off, reset,
// or silent until the timeout. The system's refusals to pass a command on (no permission, a
// filtered command, a bad request) are not such a loss.
bool DriveStoppedAnswering(const CommandResult& result);

// How a drive stopped answering: not at all, silent until the command's timeout, gone (the
// system has no such device any more, or the drive's node leads to none), or its connection
// failed otherwise (a reset, a link that broke).
enum class DriveLoss { None, TimedOut, Gone, ConnectionFailed };
DriveLoss LossOf(const CommandResult& result, bool nodeGone);
