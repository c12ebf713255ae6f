// SPDX-License-Identifier: Apache-2.0
#include "areas/SignatureArea.h"

#include "areas/EmbeddedArea.h"

// Named in the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit EmbeddedArea<SignatureLayout::Size>
    flashutil_signature_area =
        MakeEmbeddedArea<SignatureLayout::Size>("SIGNBLK", SignatureLayout::FormatOffset, SignatureLayout::Format);
}

const uint8_t* EmbeddedSignatureBytes() { return StoredBytes(flashutil_signature_area.Bytes); }

SignatureKeyWord OwnSignatureKeyWord() { return KeyWordOf<SignatureLayout::KeyWordSize>(EmbeddedSignatureBytes()); }
