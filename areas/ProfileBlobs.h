// SPDX-License-Identifier: Apache-2.0
#pragma once
// The shape of the four flash-chip profile blobs. They are drive-side data that come with
// the drive's firmware: the builder takes them from the maker and embeds them in the
// utility it writes (see Seal.h); the flash engine picks one for the chip it finds.

#include <cstddef>

namespace Profiles {

constexpr std::size_t BlobCount = 4;
constexpr std::size_t BlobSizes[BlobCount] = {314, 452, 1280, 1280};
constexpr std::size_t BlobOffsets[BlobCount] = {0, 314, 766, 2046};
constexpr std::size_t DataSize = 3326;  // the four blobs back to back

// The text tags inside blobs C and D (each preceded by '"' and followed by a NUL).
constexpr const char* TagC = "This profile is for SST39VF020/SST39SF020 V1.2";
constexpr const char* TagD = "This profile is for AMIC A29002 Top V1.2";
// Where a tag's quote character sits inside its blob.
constexpr std::size_t TagPosition = 16;

}  // namespace Profiles
