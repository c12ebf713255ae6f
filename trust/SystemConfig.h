// SPDX-License-Identifier: Apache-2.0
#pragma once
// The directory of the administrator's configuration: /etc/flashutil as installed. It is
// fixed when the program is compiled, never taken from the environment or the command line,
// so nobody who runs the program can point it elsewhere; a test build may compile another.

#include <string>

std::string SystemConfigDirectory();
