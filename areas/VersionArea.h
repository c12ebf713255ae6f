// SPDX-License-Identifier: Apache-2.0
#pragma once
// The version area: a third object in the program's initialised data, beside the identity
// block and the seal area and found in a file the same way, by a key-word that occurs once
// in the file. It holds the version of the program as it was compiled. The builder copies
// the whole program into every utility it writes, this area with it, so a built copy's area
// names the version of the builder that wrote it. Copies built before the area existed have
// none; their version is unknown.
//
// Layout, offsets from the first byte of the area:
//   0 KeyWord (15)  15 zero (1)  16 Format (4, little-endian)  20 Version text (44, NUL-padded)

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace VersionLayout {
constexpr std::size_t KeyWordSize = 15;
constexpr std::size_t FormatOffset = 16, TextOffset = 20, TextSize = 44;
constexpr std::size_t Size = TextOffset + TextSize;
constexpr uint32_t Format = 1;
}  // namespace VersionLayout

using VersionKeyWord = std::array<uint8_t, VersionLayout::KeyWordSize>;

// The program's own version area (VersionLayout::Size bytes) and its key-word.
const uint8_t* EmbeddedVersionBytes();
VersionKeyWord OwnVersionKeyWord();

// The version an area names; nullopt when the area is malformed (then the version is unknown).
std::optional<std::string> VersionInArea(const uint8_t* area);
