// SPDX-License-Identifier: Apache-2.0
#include "sim/StandInProfiles.h"

#include <array>
#include <cstdint>

// The blobs are drive-side data matched to each flash chip, the maker's. The virtual drive
// stands in with bytes of the right sizes: a fixed pseudo-random fill per blob (so every
// blob differs and a mix-up shows in a comparison), with the tags where blobs C and D
// carry them.

namespace {

using Data = std::array<uint8_t, Profiles::DataSize>;

constexpr void PlaceTag(Data& data, std::size_t blobOffset, const char* tag) {
    std::size_t at = blobOffset + Profiles::TagPosition;
    data[at++] = '"';
    for (const char* c = tag; *c; ++c)
        data[at++] = uint8_t(*c);
    data[at] = 0;
}

constexpr Data MakeProfileData() {
    Data data{};
    for (std::size_t blob = 0; blob < Profiles::BlobCount; ++blob) {
        uint32_t seed = 0x9E3779B9u * uint32_t(blob + 1);
        for (std::size_t i = 0; i < Profiles::BlobSizes[blob]; ++i) {
            seed = seed * 1664525u + 1013904223u;  // a plain linear congruential sequence
            data[Profiles::BlobOffsets[blob] + i] = uint8_t(seed >> 24);
        }
    }
    PlaceTag(data, Profiles::BlobOffsets[2], Profiles::TagC);
    PlaceTag(data, Profiles::BlobOffsets[3], Profiles::TagD);
    return data;
}

static_assert(Profiles::BlobOffsets[3] + Profiles::BlobSizes[3] == Profiles::DataSize);

}  // namespace

std::span<const uint8_t> StandInProfiles() {
    static constexpr Data Bytes = MakeProfileData();
    return Bytes;
}
