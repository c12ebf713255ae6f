// SPDX-License-Identifier: Apache-2.0
#pragma once
// The key-word an embedded area starts with, by which it is found in a program file:
// "FLUTIL." and a seven-letter name, followed by the NUL the area already holds. It is put
// together at compile time from its two halves, so the whole word occurs in the file only
// where the area lies.

#include <cstddef>
#include <cstdint>

constexpr void PutAreaKeyWord(uint8_t* to, const char (&name)[8]) {
    constexpr char head[] = "FLUTIL.";
    for (std::size_t i = 0; i < 7; ++i) {
        to[i] = static_cast<uint8_t>(head[i]);
        to[7 + i] = static_cast<uint8_t>(name[i]);
    }
}
