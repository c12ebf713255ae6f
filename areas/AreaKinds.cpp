// SPDX-License-Identifier: Apache-2.0
#include "areas/AreaKinds.h"

#include "areas/Seal.h"
#include "areas/SignatureArea.h"
#include "areas/VersionArea.h"

namespace AreaSearch {

namespace {

// A key-word as the program was compiled with it, never read from the areas in memory: a copy
// whose key-words were changed would otherwise look for its changed words. It is put together
// at run time, so the whole word is nowhere in the program's own bytes outside its areas.
KeyWord WordOf(const char (&name)[8]) {
    const char* head = "FLUTIL.";
    asm volatile("" : "+r"(head));
    KeyWord word{};
    for (std::size_t i = 0; i < 7; ++i) {
        word[i] = static_cast<uint8_t>(head[i]);
        word[7 + i] = static_cast<uint8_t>(name[i]);
    }
    return word;
}

}  // namespace

std::array<AreaKind, KindCount> Kinds() {
    return {{{"identity block", "flashutil_identity_area", WordOf("IDBLOCK"), Layout::TotalSize, false},
             {"seal area", "flashutil_seal_area", WordOf("SEALBLK"), SealLayout::Size, false},
             {"version area", "flashutil_version_area", WordOf("VERSION"), VersionLayout::Size, false},
             {"signature area", "flashutil_signature_area", WordOf("SIGNBLK"), SignatureLayout::Size, true}}};
}

}  // namespace AreaSearch
