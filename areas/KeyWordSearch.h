// SPDX-License-Identifier: Apache-2.0
#pragma once
// The search of a program's loaded bytes for the areas' key-words, full or with a byte or two
// changed (a near occurrence).

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "areas/AreaKinds.h"
#include "areas/ElfSegments.h"

namespace AreaSearch {

// A key-word with at most this many bytes changed still counts as an occurrence of it.
constexpr std::size_t NearMismatches = 2;

// What the search found of each key-word in the loaded bytes (file offsets). A key-word found
// twice settles its verdict, so the search for it stops there and only the first near
// occurrence is kept: time grows with the file alone and memory stays flat, whatever the
// bytes hold.
struct Occurrences {
    std::array<std::optional<uint64_t>, KindCount> First, Second, Near;
};

// Searches the file-backed bytes of the segments loads of the file open as fd for the
// key-words of kinds. False with errno set when the file can't be read.
bool Scan(int fd, const std::vector<Segment>& loads, const std::array<AreaKind, KindCount>& kinds, Occurrences& found);

}  // namespace AreaSearch
