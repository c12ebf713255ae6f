// SPDX-License-Identifier: Apache-2.0
#pragma once
// The one form of the small embedded areas (the seal, the signature, the version): Size bytes
// in initialised data, starting with the area's key-word and carrying the number of its
// format at formatOffset. Made at compile time (constinit), so the file holds every byte and
// the builder finds the area by its key-word.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/LittleEndian.h"
#include "areas/AreaKeyWord.h"

template <std::size_t Size>
struct EmbeddedArea {
    uint8_t Bytes[Size];
};

// The area as a blank copy carries it: the key-word, the format (four bytes, little-endian)
// and zero bytes.
template <std::size_t Size>
constexpr EmbeddedArea<Size> MakeEmbeddedArea(const char (&name)[8], std::size_t formatOffset, uint32_t format) {
    EmbeddedArea<Size> area{};
    PutAreaKeyWord(area.Bytes, name);
    PutLittle(area.Bytes + formatOffset, format);
    return area;
}

// An area's bytes as stored: the pointer goes through an empty asm statement, so the compiler
// cannot tell which object it points to and reads the bytes every time (the builder changes
// them in the copies it writes).
inline const uint8_t* StoredBytes(const uint8_t* bytes) {
    asm volatile("" : "+r"(bytes));
    return bytes;
}

// The first N bytes of an area: its key-word.
template <std::size_t N>
std::array<uint8_t, N> KeyWordOf(const uint8_t* area) {
    std::array<uint8_t, N> keyWord{};
    std::memcpy(keyWord.data(), area, N);
    return keyWord;
}
