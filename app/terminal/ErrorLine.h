// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's line on standard error: "flashutil: TEXT". Lines name devices, drives and
// files by what they supplied: shown without control bytes.

#include <string>

void SayError(const std::string& line);
