// SPDX-License-Identifier: Apache-2.0
#pragma once
// The signature area: a fourth object in the program's initialised data, found in a file by
// the same locator as the other areas. A copy built with the maker's private key carries
// the maker's Ed25519 public key in it and the signature over what the seal covers (the
// identity fields, the bytes of the image area a run sends, the seal's flags and the maker's
// profiles) and the version area, so a copy tells who signed it even where that key is not
// trusted (see Signature.h).
//
// Layout, offsets from the first byte of the area:
//   0 KeyWord (15)  15 zero (1)  16 Format (4, little-endian)  20 Flags (4)
//  24 signer's public key (32)  56 signature (64)
//
// Format 2 is what this version writes; format 1, written by earlier versions, has the same
// layout, but its signature covers only the image's ImageLength bytes of the image area.
// An unsigned area is as the toolchain made it: flags 0, everything after zero (format 2, or
// 1 in an earlier version's blank copy). Copies made before the area existed have none, and
// read as unsigned.

#include <array>
#include <cstddef>
#include <cstdint>

namespace SignatureLayout {
constexpr std::size_t KeyWordSize = 15;
constexpr std::size_t FormatOffset = 16, FlagsOffset = 20;
constexpr std::size_t PublicKeyOffset = 24, PublicKeySize = 32;
constexpr std::size_t SignatureOffset = 56, SignatureSize = 64;
constexpr std::size_t Size = SignatureOffset + SignatureSize;
constexpr uint32_t Format = 2;           // signs the bytes a run sends
constexpr uint32_t ImageOnlyFormat = 1;  // earlier versions': signs the image's ImageLength bytes
constexpr uint32_t Signed = 1;
}  // namespace SignatureLayout

using SignatureKeyWord = std::array<uint8_t, SignatureLayout::KeyWordSize>;
using PublicKeyBytes = std::array<uint8_t, SignatureLayout::PublicKeySize>;

// The program's own signature area (SignatureLayout::Size bytes) and its key-word.
const uint8_t* EmbeddedSignatureBytes();
SignatureKeyWord OwnSignatureKeyWord();
