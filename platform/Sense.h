// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sense data as drives return it, turned into the one layout the drive class reads:
// a fixed-format image where byte 2 holds the sense key with its flag bits, byte 12
// the additional sense code and byte 13 its qualifier.

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

namespace Sense {

// Response codes (byte 0, without the VALID bit).
constexpr uint8_t FixedCurrent = 0x70;
constexpr uint8_t FixedDeferred = 0x71;
constexpr uint8_t DescriptorCurrent = 0x72;
constexpr uint8_t DescriptorDeferred = 0x73;

// Writes the fixed-format image of `length` bytes of sense data into `image`
// (SenseSize bytes, all zero when there is no sense data).
// - Fixed format is copied as it came: byte 2 stays whole, flag bits included.
// - Descriptor format gets its key, ASC and ASCQ placed at bytes 2, 12 and 13; the
//   filemark, end-of-medium and incorrect-length flags of a stream-commands
//   descriptor go into the high bits of byte 2, where fixed format keeps them.
// - Anything else is copied as it came, so the drive's bytes 2, 12 and 13 are read.
void Normalise(const uint8_t* data, std::size_t length, uint8_t (&image)[SenseSize]);

}  // namespace Sense
