// The image kind: whether the embedded image needs a flash-chip profile, and in which form.

#include <algorithm>
#include <cctype>

#include "flash/FlashEngine.h"

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

bool SameIgnoringCase(const uint8_t* bytes, const char* text) {
    for (std::size_t i = 0; i < ModelTextLength; ++i)
        if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}
}  // namespace

bool FlashEngine::CheckNewFormatBIN() {
    ImageSize = Block_.ImageLength();
    ProfileImage = false;
    DvdImage = false;
    const uint8_t* image = Block_.Image();
    // Bytes past the image belong to no image: a short image has no marker there.
    const uint32_t present = std::min<uint32_t>(ImageSize, Layout::ImageCapacity);
    auto holds = [&](uint32_t at, uint32_t length) { return at + length <= present; };
    auto markerAt = [&](uint32_t at) { return holds(at, 2) && image[at] == 0x05 && image[at + 1] == 0x80; };

    for (const MarkerPlace& place : DvdPlaces) {
        if (!markerAt(place.Marker))
            continue;
        if (holds(place.ModelText, ModelTextLength))
            for (const char* model : DvdModels)
                if (SameIgnoringCase(image + place.ModelText, model))
                    DvdImage = true;
        return true;
    }
    if (markerAt(ProfileMarker)) {
        ProfileImage = true;
        return true;
    }
    return false;
}
