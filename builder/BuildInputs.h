// SPDX-License-Identifier: Apache-2.0
#pragma once
// The builder's inputs besides the program: the image and the maker's profiles, read whole
// and checked before anything is written.

#include <cstdint>
#include <string>
#include <vector>

#include "builder/BuildRequest.h"
#include "builder/BuildResult.h"

struct BuildInputs {
    std::vector<uint8_t> Image;
    std::vector<uint8_t> Profiles;  // empty when the request names none
};

// Refuses an image name that is not a bare file name, an image that is no regular file, is
// empty, longer than the image area or starts like the blank marker, and a profiles file that
// is not exactly the four blobs. A FW-Range that admits no revision adds a warning.
BuildProblem ReadBuildInputs(const BuildRequest& request, BuildInputs& inputs, std::vector<std::string>& warnings);
