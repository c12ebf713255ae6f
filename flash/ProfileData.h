#pragma once
// The flash-chip profiles the program carries and the table that picks one for a chip.
// The four blobs lie back to back in ProfileData; the engine copies and compares them and
// reads nothing else from them.

#include <array>
#include <cstddef>
#include <cstdint>

namespace Profiles {

constexpr std::size_t BlobCount = 4;
constexpr std::size_t BlobSizes[BlobCount] = {314, 452, 1280, 1280};
constexpr std::size_t BlobOffsets[BlobCount] = {0, 314, 766, 2046};
constexpr std::size_t DataSize = 3326;

// The text tags inside blobs C and D (each preceded by '"' and followed by a NUL).
constexpr const char* TagC = "This profile is for SST39VF020/SST39SF020 V1.2";
constexpr const char* TagD = "This profile is for AMIC A29002 Top V1.2";
// Where a tag's quote character sits inside its blob.
constexpr std::size_t TagPosition = 16;

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

extern const std::array<uint8_t, Profiles::DataSize> ProfileData;
