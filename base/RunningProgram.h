// SPDX-License-Identifier: Apache-2.0
#pragma once
// The file this process was started from: the copy a run reads its areas from and the builder
// copies, and the name the window's messages give it.

#include <string>

// From the /proc/self/exe link; "" when it cannot be read.
std::string RunningExecutablePath();
