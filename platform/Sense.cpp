// SPDX-License-Identifier: Apache-2.0
#include "platform/Sense.h"

#include <algorithm>
#include <cstring>

namespace Sense {

namespace {

constexpr uint8_t StreamCommandsDescriptor = 0x04;
constexpr uint8_t StreamFlagBits = 0xE0;  // filemark, end-of-medium, incorrect length
constexpr std::size_t DescriptorHeaderLength = 8;
constexpr uint8_t FixedAdditionalLength = 10;  // up to byte 17: ASC, ASCQ and the sense-key-specific bytes

// The flags of a stream-commands descriptor, if the data carries one.
uint8_t StreamFlags(const uint8_t* data, std::size_t length) {
    const std::size_t end = std::min(length, DescriptorHeaderLength + data[7]);
    std::size_t at = DescriptorHeaderLength;
    while (at + 2 <= end) {
        const uint8_t type = data[at];
        const std::size_t size = 2 + std::size_t(data[at + 1]);
        if (type == StreamCommandsDescriptor && at + 4 <= end)
            return data[at + 3] & StreamFlagBits;
        at += size;
    }
    return 0;
}

}  // namespace

void Normalise(const uint8_t* data, std::size_t length, uint8_t (&image)[SenseSize]) {
    std::memset(image, 0, SenseSize);
    if (data == nullptr || length == 0)
        return;
    const uint8_t code = data[0] & 0x7F;
    if ((code == DescriptorCurrent || code == DescriptorDeferred) && length >= 2) {
        image[0] = code == DescriptorCurrent ? FixedCurrent : FixedDeferred;
        image[2] = data[1] & 0x0F;
        image[7] = FixedAdditionalLength;
        if (length > 2)
            image[12] = data[2];
        if (length > 3)
            image[13] = data[3];
        if (length > DescriptorHeaderLength)
            image[2] |= StreamFlags(data, length);
        return;
    }
    std::memcpy(image, data, std::min(length, SenseSize));
}

}  // namespace Sense
