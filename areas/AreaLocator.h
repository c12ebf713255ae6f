// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a program file carries its embedded areas (the identity block with the image area,
// the seal area, the version area, the signature area): the one way every reader finds them, for the running
// program and for another copy alike.
//
// The areas are looked for where the loader takes a program's bytes from, the file-backed
// part of its loadable segments, never in the rest of the file: bytes appended to a copy, or
// kept in parts the loader never maps, change nothing. A program of this version or later
// names its areas in its dynamic symbol table, which the loader reads too; each named area
// must start with its key-word there. A copy made before the areas were named is found by
// its key-words, each of which must occur once. The signature area came after the areas were
// named: a named copy without it was made by an earlier version and is read as unsigned. Any other full or near occurrence of a
// key-word in the loaded bytes (a second area, or a key-word with a byte or two changed)
// leaves it open which area the program uses: such a copy is damaged.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "areas/IdentityBlock.h"

struct AreaPlaces {
    // File offsets of each area's first byte; none when the copy has no such area.
    std::optional<uint64_t> Block, Seal, Version, Signature;
    // Why the places cannot be trusted ("" when they can): the copy is damaged.
    std::string Damage;
    // The copy names its areas in its dynamic symbol table (made by this version or later).
    bool Named = false;
};

// Locates the areas in the program file open as fd. False with why set to the cause (no
// file name) when the file can't be read or is no program file.
bool LocateAreas(int fd, AreaPlaces& places, std::string& why);

// In a file that is no program file: the areas where their key-words lie anywhere in it, each
// of which must occur once, as in a copy made before the areas were named; the identity
// block's and the seal area's key-words are the ones given (the builder's, from its own
// memory). False with errno set when the file can't be read.
bool LocateKeyWords(int fd, const std::array<uint8_t, Layout::KeyWordSize>& blockWord,
                    const std::array<uint8_t, Layout::KeyWordSize>& sealWord, AreaPlaces& places);

// A full or near occurrence of an area's key-word in a stretch of bytes.
struct KeyWordHit {
    std::size_t Offset = 0;  // of its first byte in the stretch
    std::string Area;        // whose key-word: "identity block", "seal area", ...
    bool Near = false;       // with a byte or two changed
};

// The occurrence of any area's key-word, full or near as every reader counts them, that
// starts first at or after from and lies wholly in bytes[0, size); none when there is none.
std::optional<KeyWordHit> FirstKeyWord(const uint8_t* bytes, std::size_t size, std::size_t from = 0);

// Checks that the areas this process uses, where the loader mapped them, are the ones
// LocateAreas finds in the process's own file. "" when they are, else the cause; a file that
// can't be read counts as a cause too, since nothing then says which bytes run.
std::string OwnAreasMismatch();
