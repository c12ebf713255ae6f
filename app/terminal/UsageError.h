// SPDX-License-Identifier: Apache-2.0
#pragma once
// A usage error as its reader wants it: the one line on standard error always, and under
// --json one JSON document on standard output too, so a script that reads the output as JSON
// sees why there is nothing else.

#include <string>

// Whether the words of the command line ask for --json (or an abbreviation of it, as
// getopt_long takes them) before any "--": known even when the line does not parse.
bool AsksForJson(int argc, char** argv);

// Writes "flashutil: TEXT" on standard error and, when json is set, the error document on
// standard output; returns exitCode.
int ReportUsageError(const std::string& text, bool json, int exitCode);
