// SPDX-License-Identifier: Apache-2.0
// The image kind: whether the embedded image needs a flash-chip profile, and in which form.

#include "flash/ImageKind.h"

#include <algorithm>

namespace {
constexpr std::size_t ModelTextLength = 15;
constexpr const char* DvdModels[] = {"DVD-ROM QMR-204", "DVD-ROM QMV-517"};

struct MarkerPlace {
    uint32_t Marker;
    uint32_t ModelText;
};
// The DVD-family places, in the order they are tried.
constexpr MarkerPlace DvdPlaces[] = {{0x4000, 0x4010}, {0x4008, 0x4018}};
constexpr uint32_t ProfileMarker = 0x1100;

// ASCII letters only: the locale must not decide what an image is.
uint8_t Lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const uint8_t* bytes, const char* text) {
    for (std::size_t i = 0; i < ModelTextLength; ++i)
        if (Lower(bytes[i]) != Lower(static_cast<uint8_t>(text[i])))
            return false;
    return true;
}
}  // namespace

ImageKind ImageKindOf(const IdentityBlock& utility) {
    ImageKind kind;
    kind.Size = utility.ImageLength();
    const uint8_t* image = utility.Image();
    // Bytes past the image belong to no image: a short image has no marker there.
    const uint32_t present = std::min<uint32_t>(kind.Size, Layout::ImageCapacity);
    auto holds = [&](uint32_t at, uint32_t length) { return at + length <= present; };
    auto markerAt = [&](uint32_t at) { return holds(at, 2) && image[at] == 0x05 && image[at + 1] == 0x80; };

    for (const MarkerPlace& place : DvdPlaces) {
        if (!markerAt(place.Marker))
            continue;
        if (holds(place.ModelText, ModelTextLength))
            for (const char* model : DvdModels)
                if (SameIgnoringCase(image + place.ModelText, model)) {
                    kind.Dvd = true;
                    kind.DvdModel = model;
                }
        kind.Marked = true;
        return kind;
    }
    if (markerAt(ProfileMarker)) {
        kind.Profile = true;
        kind.Marked = true;
    }
    return kind;
}
