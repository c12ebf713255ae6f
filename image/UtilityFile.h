// SPDX-License-Identifier: Apache-2.0
#pragma once
// Another copy of the program, read from its file without running it: its identity block
// with the image area, its seal area and its version area, found by LocateAreas as for the
// running program and the builder.

#include <cstdint>
#include <string>
#include <vector>

#include "image/IdentityBlock.h"

struct UtilityFileContents {
    std::vector<uint8_t> Block;    // Layout::TotalSize bytes: the identity block and the image area
    std::vector<uint8_t> Seal;     // SealLayout::Size bytes; empty when the copy has no seal area
    std::vector<uint8_t> Version;  // VersionLayout::Size bytes; empty when the copy has no version area
    std::string PlaceDamage;       // why the areas' places can't be trusted; "" when they can

    IdentityBlock View() const { return IdentityBlock(Block.data()); }
};

// Reads path. False with why set, naming the file and the cause, when it cannot be read, is no
// program file, ends before the bytes the loader maps, or holds no identity block there.
bool ReadUtilityFile(const std::string& path, UtilityFileContents& contents, std::string& why);
