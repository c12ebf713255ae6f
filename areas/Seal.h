// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seal area: a second object in the program's initialised data, beside the identity
// block and found in the file the same way, by a key-word that occurs once in the file.
// The builder fills it in the copy it writes: the SHA-256 of the bytes of the image area a
// run sends (IdentityBlock::SentImageLength: the image and, in its last chunk, the area's
// bytes after it), of the 137 identity field bytes, and of the flags with the maker's
// flash-chip profiles, which it carries as well. A built copy checks it before it sends any
// command.
//
// Layout, offsets from the first byte of the area:
//   0 KeyWord (15)  15 zero (1)  16 Version (4, little-endian)  20 Flags (4)
//  24 image digest (32)  56 fields digest (32)  88 profiles digest (32)  120 profiles (3,326)
//
// Version 2 is what this version writes. Version 1, written by earlier versions, has the
// same layout, but its image digest covers only the image's ImageLength bytes: such a seal
// is still checked, and said to cover less than what is sent when the image does not end
// on a chunk's end.
//
// A blank copy's area is unsealed: flags 0, everything after them zero (version 2, or 1 in
// an earlier version's blank copy). A copy built before utilities were sealed has no area of
// this kind, which reads the same way.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "areas/IdentityBlock.h"
#include "areas/ProfileBlobs.h"

namespace SealLayout {
constexpr std::size_t KeyWordSize = 15;
constexpr std::size_t VersionOffset = 16, FlagsOffset = 20;
constexpr std::size_t DigestSize = 32;
constexpr std::size_t ImageDigestOffset = 24, FieldsDigestOffset = 56, ProfilesDigestOffset = 88;
constexpr std::size_t ProfilesOffset = 120;
constexpr std::size_t Size = ProfilesOffset + Profiles::DataSize;
constexpr uint32_t Version = 2;             // the image digest covers the bytes a run sends
constexpr uint32_t ImageOnlyVersion = 1;    // earlier versions': it covers the image's ImageLength bytes
constexpr uint32_t Sealed = 1, HasProfiles = 2;
}  // namespace SealLayout

using SealKeyWord = std::array<uint8_t, SealLayout::KeyWordSize>;

// The program's own seal area (SealLayout::Size bytes).
const uint8_t* EmbeddedSealBytes();
SealKeyWord OwnSealKeyWord();

// The whole area the builder writes for a utility: key-word, the digests of the bytes sent
// (the image area's first SentImageLength bytes) and of the fields, and the maker's profiles
// when given (empty span: none).
std::vector<uint8_t> MakeSeal(const SealKeyWord& keyWord, std::span<const uint8_t> fields,
                              std::span<const uint8_t> sent, std::span<const uint8_t> profiles);

struct SealCheck {
    enum class State { Intact, Unsealed, Damaged } Result = State::Damaged;
    std::string Cause;  // what does not match, when damaged
    // Of the image area's Sent bytes a run sends, the first Covered are what an intact seal's
    // image digest covers: all of them, unless an earlier version made the seal.
    uint32_t Covered = 0, Sent = 0;

    bool CoversLessThanSent() const { return Result == State::Intact && Covered < Sent; }
};

// Checks a utility's block and image against its seal area.
SealCheck CheckSeal(const IdentityBlock& utility, const uint8_t* seal);

// The one verdict on a copy, whoever asks (the run, --info, --extract-image, the window):
// placeDamage is why the places of its areas can't be trusted ("" when they can, see
// AreaLocator.h); seal and version point at its areas, null where it has none. Every version
// that records its own version seals what it builds, and sealing came with the seal area:
// so a built copy whose seal area is blank, or a copy with a version area and no seal area,
// had its seal stripped and is damaged. Only a copy with neither area is unsealed (built
// before utilities were sealed), besides a blank copy.
SealCheck JudgeSeal(const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version,
                    const std::string& placeDamage);

// The maker's profiles an intact sealed area carries; empty when it carries none.
std::span<const uint8_t> SealedProfiles(const uint8_t* seal);
