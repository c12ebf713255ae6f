// SPDX-License-Identifier: Apache-2.0
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
// byte shows up in the tests, and so the object is never zero-initialised storage).

#include "areas/EmbeddedBlock.h"

#include <cstddef>

#include "areas/EmbeddedArea.h"
#include "areas/IdentityBlock.h"

namespace EmbeddedBlockStorage {

// The area as 1,024-byte pieces: the blank pattern is made once for one piece and copied,
// which keeps the compile-time work within what every supported compiler allows.
constexpr std::size_t PieceSize = 1024;
struct Piece {
    uint8_t Bytes[PieceSize];
};
struct Storage {
    uint8_t Block[Layout::BlockSize];
    Piece Image[Layout::ImageCapacity / PieceSize];
};
static_assert(sizeof(Storage) == Layout::TotalSize, "block and image area without gaps");

// What a blank image area holds after the marker: a fixed pattern of period 1,024.
constexpr Piece BlankPiece() {
    Piece piece{};
    for (std::size_t j = 0; j < PieceSize; ++j)
        piece.Bytes[j] = static_cast<uint8_t>(0xA5 ^ (j * 7) ^ (j >> 5));
    return piece;
}

constexpr Storage MakeBlankCopy() {
    Storage s{};
    PutAreaKeyWord(s.Block + Layout::KeyWordOffset, "IDBLOCK");
    // Fields 15..151 carry nothing in a blank copy: zero, ImageLength 0.
    const Piece blank = BlankPiece();
    for (Piece& piece : s.Image)
        piece = blank;
    for (std::size_t i = 0; i < sizeof Layout::BlankMarker; ++i)
        s.Image[0].Bytes[i] = static_cast<uint8_t>(Layout::BlankMarker[i]);
    return s;
}

}  // namespace EmbeddedBlockStorage

using EmbeddedBlockStorage::Storage;

// Writable (never written by this program) so that it is ordinary initialised data. Named in
// the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit Storage flashutil_identity_area = EmbeddedBlockStorage::MakeBlankCopy();
}

const uint8_t* EmbeddedBlockBytes() { return StoredBytes(reinterpret_cast<const uint8_t*>(&flashutil_identity_area)); }
