// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the builder's writes land in the copy: the running program's file opened, its areas
// found by the one locator (AreaLocator.h), and everything the seal and the signature cover
// read before anything is written.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Descriptor.h"
#include "areas/AreaLocator.h"
#include "builder/BuildInputs.h"

struct BuildPlacement {
    Descriptor Exe;                   // the program's file
    struct stat ExeInfo {};
    std::size_t ExeLength = 0;
    bool Program = false;             // a program file, its areas where every reader finds them
    AreaPlaces Places;
    bool KeyWordFound = false;
    std::size_t KeyWordAt = 0, SealAt = 0;
    std::optional<uint64_t> SignatureAt, VersionAt;
    std::vector<uint8_t> Fields;      // the identity fields after the key-word
    std::size_t SentLength = 0;       // the image up to the end of its last chunk
    std::size_t WrittenEnd = 0;       // the end of the block and the image area a run sends
    std::vector<uint8_t> Sent;        // what a run of the copy sends
    std::vector<uint8_t> VersionArea; // the program's version area, for a signed copy
};

// The failure message that names the program ("Building fail: ... in <programName>").
BuildProblem PlaceAreas(const BuildRequest& request, const BuildInputs& inputs, const std::string& programName,
                        BuildPlacement& out);
