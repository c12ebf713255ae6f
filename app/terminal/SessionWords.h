// SPDX-License-Identifier: Apache-2.0
#pragma once
// Why a terminal's flash session flashed nothing, or not every drive, in lines for the error
// stream, from what the session's result says. Whatever a run showed the person, the error
// stream names each device that was not flashed and why.

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "session/DriveEnding.h"

// singleDrive: the result of --cli's single drive, else of drives run at once. searched: what
// detection looked at ("" to say nothing). platform: the one the drives were reached through
// (null when the session had none), for the words of a system error.
std::vector<std::string> SessionEndLines(const SessionResult& result, bool singleDrive, const std::string& searched,
                                         const Platform* platform);
