// SPDX-License-Identifier: Apache-2.0
#pragma once
// The output's name checked before the copy is written: never the program's own file, never
// one of the build's inputs by whatever name, never a device, FIFO or socket the rename would
// replace.

#include <sys/stat.h>

#include <string>

#include "base/Descriptor.h"
#include "builder/BuildRequest.h"
#include "builder/BuildResult.h"

// Opens the output directory into directory and checks outputName in it; exe is the status
// of the program's file as read. outputPath names the output in the messages.
BuildProblem CheckOutputName(const BuildRequest& request, const struct stat& exe, const std::string& outputName,
                             const std::string& outputPath, Descriptor& directory);
