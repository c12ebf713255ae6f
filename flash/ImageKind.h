// SPDX-License-Identifier: Apache-2.0
#pragma once
// The image kind: whether the embedded image needs a flash-chip profile, and in which
// form. Decided once from the image's own markers.

#include <cstdint>

#include "areas/IdentityBlock.h"

struct ImageKind {
    uint32_t Size = 0;     // the stored image length
    bool Profile = false;  // a profile image: the profile goes to the drive's profile area
    bool Dvd = false;      // an image of one of the DVD models: the profile goes to 0
    bool Marked = false;   // a marker was found at all
    const char* DvdModel = nullptr;  // the DVD model the image names, when Dvd

    bool NeedsProfile() const { return Profile || Dvd; }
};

ImageKind ImageKindOf(const IdentityBlock& utility);
