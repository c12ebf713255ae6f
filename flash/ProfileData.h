// SPDX-License-Identifier: Apache-2.0
#pragma once
// The table that picks a flash-chip profile for a chip. The blobs themselves are not the
// program's: a run gets them from the utility (the maker's, embedded by the builder) or,
// on the virtual drive only, from the platform's stand-ins. The engine copies and compares
// them and reads nothing else from them.

#include <array>
#include <cstddef>
#include <cstdint>

#include "areas/ProfileBlobs.h"

namespace Profiles {

// One table entry, 6 bytes as the table stores them.
struct TableEntry {
    uint8_t ChipId[2];       // flash manufacturer code, device code
    uint8_t ProfileSize[2];  // big-endian
    uint8_t SubId[2];
    uint16_t Size() const { return uint16_t(ProfileSize[0] << 8 | ProfileSize[1]); }
};

constexpr std::size_t TableEntries = 5;
extern const TableEntry ProfileTable[TableEntries];

// Entry whose size the table scan never adds to the running offset: the entry after it
// shares its blob.
constexpr std::size_t SharedBlobEntry = 2;

// The largest prepared profile: a 6-byte header and a 1,280-byte blob.
constexpr std::size_t MaxPreparedLength = 1286;

}  // namespace Profiles
