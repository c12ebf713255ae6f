// SPDX-License-Identifier: Apache-2.0
#pragma once
// The four embedded areas as every reader looks for them: each one's name in the causes, its
// name in the dynamic symbol table, its key-word and its size.

#include <array>
#include <cstddef>
#include <cstdint>

#include "areas/IdentityBlock.h"

namespace AreaSearch {

constexpr std::size_t KeyWordSize = Layout::KeyWordSize;
using KeyWord = std::array<uint8_t, KeyWordSize>;

struct AreaKind {
    const char* Name;        // in the causes
    const char* SymbolName;  // in the dynamic symbol table
    KeyWord Word;
    std::size_t Size;
    bool Optional;           // a copy of an earlier version that names its areas may lack it
};

constexpr std::size_t KindCount = 4;

// The identity block, the seal, version and signature areas, in this order.
std::array<AreaKind, KindCount> Kinds();

}  // namespace AreaSearch
