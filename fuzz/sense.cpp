// SPDX-License-Identifier: Apache-2.0
// Sense decoding over arbitrary sense bytes.
#include <cstddef>
#include <cstdint>

#include "platform/Sense.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t image[SenseSize];
    Sense::Normalise(data, size, image);
    // Fixed-format sense keeps byte 2 whole: what the drive said is what the drive class reads.
    if (size > 13 && (data[0] & 0x7F) == Sense::FixedCurrent &&
        (image[2] != data[2] || image[12] != data[12] || image[13] != data[13]))
        __builtin_trap();
    if (size == 0)
        for (uint8_t b : image)
            if (b != 0)
                __builtin_trap();
    return 0;
}
