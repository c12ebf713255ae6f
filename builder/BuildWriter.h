// SPDX-License-Identifier: Apache-2.0
#pragma once
// The copy written: the program's bytes with the identity fields, the image, the seal and
// (given the maker's key) the signature in place, into a temporary file beside the output's
// name that takes the name only once it is complete and reads back as written.

#include <string>

#include "builder/BuildPlacement.h"
#include "ui/ProgressObserver.h"

// The step of the progress bar, in bytes of the program.
constexpr int32_t BuildProgressStep = 1024;

// Writes into directory under outputName (outputPath in the messages); progress steps over
// the program's bytes as they are written. Without the key-word the output stays as a plain
// copy of the program and the failure says so.
BuildProblem WriteBuiltCopy(const BuildRequest& request, const BuildInputs& inputs, const BuildPlacement& at,
                            int directory, const std::string& outputName, const std::string& outputPath,
                            const std::string& programName, ProgressObserver& progress);
