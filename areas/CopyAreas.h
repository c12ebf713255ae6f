// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a copy's embedded areas are, as its verdict and its run take them.

#include <cstdint>
#include <string>

#include "areas/IdentityBlock.h"

// A copy's areas; null where it has none. placeDamage: why their places can't be trusted.
struct CopyAreas {
    const uint8_t* Block = nullptr;
    const uint8_t* Seal = nullptr;
    const uint8_t* Version = nullptr;
    const uint8_t* Signature = nullptr;
    std::string PlaceDamage;

    IdentityBlock View() const { return IdentityBlock(Block); }
};
