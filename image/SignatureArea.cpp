// SPDX-License-Identifier: Apache-2.0
#include "image/SignatureArea.h"

#include <cstring>

#include "image/AreaKeyWord.h"

namespace EmbeddedSignatureStorage {

struct SignatureStorage {
    uint8_t Bytes[SignatureLayout::Size];
};

// Initialised at compile time with the key-word, so it lands in .data and the file carries
// all its bytes.
constexpr SignatureStorage MakeUnsigned() {
    SignatureStorage s{};
    PutAreaKeyWord(s.Bytes, "SIGNBLK");
    s.Bytes[SignatureLayout::FormatOffset] = static_cast<uint8_t>(SignatureLayout::Format);
    return s;
}

}  // namespace EmbeddedSignatureStorage

// Named in the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit EmbeddedSignatureStorage::SignatureStorage
    flashutil_signature_area = EmbeddedSignatureStorage::MakeUnsigned();
}

const uint8_t* EmbeddedSignatureBytes() {
    const uint8_t* bytes = flashutil_signature_area.Bytes;
    asm volatile("" : "+r"(bytes));  // the builder changes these bytes in the copies it writes
    return bytes;
}

SignatureKeyWord OwnSignatureKeyWord() {
    SignatureKeyWord keyWord{};
    std::memcpy(keyWord.data(), EmbeddedSignatureBytes(), keyWord.size());
    return keyWord;
}
