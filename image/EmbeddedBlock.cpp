// The identity block and the image area of this copy, in one object.
//
// The object is initialised at compile time with non-zero bytes, so it lands in .data and
// the executable file carries all of its 524,440 bytes as one stretch. The builder finds
// that stretch in the file by the key-word at its start and writes a copy of the file with
// the fields and the image replaced; the copy is again a working program of the same size.
//
// The key-word must occur exactly once in the executable file. It is never written out
// as one literal: it is put together from two halves while the object is initialised at
// compile time (constinit makes that a compile error instead of a silent run-time
// initialisation that would leave the full text in read-only data as well). Nothing
// else in the program holds it; the builder takes the bytes from this object.
//
// A copy made by the toolchain is a blank copy: "ZYRT" at the start of the image area,
// the rest of the area filled with a fixed pattern (so that a build which misplaces a
// byte shows up in the tests, and so the object is never zero-initialised).

#include "image/EmbeddedBlock.h"

#include <cstddef>

#include "image/IdentityBlock.h"

namespace {

struct Storage {
    uint8_t Bytes[Layout::TotalSize];
};

// What the rest of a blank image area holds, at image offset j (j >= 4).
constexpr uint8_t BlankByte(std::size_t j) {
    return static_cast<uint8_t>(0xA5 ^ (j * 7) ^ (j >> 9));
}

constexpr Storage MakeBlankCopy() {
    Storage s{};
    // The key-word: 14 printable characters and a NUL (the NUL is already there).
    constexpr char head[] = "FLUTIL.";
    constexpr char tail[] = "IDBLOCK";
    for (std::size_t i = 0; i < 7; ++i) {
        s.Bytes[Layout::KeyWordOffset + i] = static_cast<uint8_t>(head[i]);
        s.Bytes[Layout::KeyWordOffset + 7 + i] = static_cast<uint8_t>(tail[i]);
    }
    // Fields 15..151 carry nothing in a blank copy: zero, ImageLength 0.
    uint8_t* image = s.Bytes + Layout::BlockSize;
    for (std::size_t i = 0; i < 4; ++i)
        image[i] = static_cast<uint8_t>(Layout::BlankMarker[i]);
    // Two nested loops keep each loop under the compiler's constant-evaluation loop limit.
    for (std::size_t hi = 0; hi < Layout::ImageCapacity / 1024; ++hi)
        for (std::size_t lo = 0; lo < 1024; ++lo) {
            const std::size_t j = hi * 1024 + lo;
            if (j >= 4)
                image[j] = BlankByte(j);
        }
    return s;
}

// Writable (never written by this program) so that it is ordinary initialised data.
alignas(64) constinit Storage EmbeddedStorage = MakeBlankCopy();

}  // namespace

const uint8_t* EmbeddedBlockBytes() {
    const uint8_t* bytes = EmbeddedStorage.Bytes;
    asm volatile("" : "+r"(bytes));
    return bytes;
}
