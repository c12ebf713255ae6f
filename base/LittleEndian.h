// SPDX-License-Identifier: Apache-2.0
#pragma once
// The 32-bit little-endian numbers the embedded areas and the identity block store, read and
// written byte by byte, so neither the host's order nor alignment matters.

#include <cstdint>

constexpr uint32_t Little(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr void PutLittle(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}
