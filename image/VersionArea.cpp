// SPDX-License-Identifier: Apache-2.0
#include "image/VersionArea.h"

#include <cstring>

#include "image/AreaKeyWord.h"

namespace EmbeddedVersionStorage {

struct VersionStorage {
    uint8_t Bytes[VersionLayout::Size];
};

// Initialised at compile time, so it lands in .data and the file carries its bytes.
constexpr VersionStorage MakeVersionArea() {
    VersionStorage s{};
    PutAreaKeyWord(s.Bytes, "VERSION");
    s.Bytes[VersionLayout::FormatOffset] = static_cast<uint8_t>(VersionLayout::Format);
    constexpr char version[] = FLASHUTIL_VERSION;
    static_assert(sizeof version < VersionLayout::TextSize, "the version text and its NUL fit the area");
    for (std::size_t i = 0; i + 1 < sizeof version; ++i)
        s.Bytes[VersionLayout::TextOffset + i] = static_cast<uint8_t>(version[i]);
    return s;
}

}  // namespace EmbeddedVersionStorage

// Named in the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit EmbeddedVersionStorage::VersionStorage
    flashutil_version_area = EmbeddedVersionStorage::MakeVersionArea();
}

const uint8_t* EmbeddedVersionBytes() {
    const uint8_t* bytes = flashutil_version_area.Bytes;
    asm volatile("" : "+r"(bytes));  // read as stored, like the other areas a file may carry
    return bytes;
}

VersionKeyWord OwnVersionKeyWord() {
    VersionKeyWord keyWord{};
    std::memcpy(keyWord.data(), EmbeddedVersionBytes(), keyWord.size());
    return keyWord;
}

std::optional<std::string> VersionInArea(const uint8_t* area) {
    const uint8_t* format = area + VersionLayout::FormatOffset;
    if (area[VersionLayout::KeyWordSize] != 0 ||
        (uint32_t(format[0]) | uint32_t(format[1]) << 8 | uint32_t(format[2]) << 16 | uint32_t(format[3]) << 24) !=
            VersionLayout::Format)
        return std::nullopt;
    // Printable characters up to a NUL that the area holds; anything else is no version.
    const uint8_t* text = area + VersionLayout::TextOffset;
    std::size_t length = 0;
    while (length < VersionLayout::TextSize && text[length] != 0) {
        if (text[length] < 0x21 || text[length] > 0x7E)
            return std::nullopt;
        ++length;
    }
    if (length == 0 || length == VersionLayout::TextSize)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(text), length);
}
