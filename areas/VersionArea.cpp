// SPDX-License-Identifier: Apache-2.0
#include "areas/VersionArea.h"

#include "base/LittleEndian.h"
#include "areas/EmbeddedArea.h"

namespace {

// The program's version text after the format; its NUL is already there.
constexpr EmbeddedArea<VersionLayout::Size> MakeVersionArea() {
    EmbeddedArea<VersionLayout::Size> area =
        MakeEmbeddedArea<VersionLayout::Size>("VERSION", VersionLayout::FormatOffset, VersionLayout::Format);
    constexpr char version[] = FLASHUTIL_VERSION;
    static_assert(sizeof version < VersionLayout::TextSize, "the version text and its NUL fit the area");
    for (std::size_t i = 0; i + 1 < sizeof version; ++i)
        area.Bytes[VersionLayout::TextOffset + i] = static_cast<uint8_t>(version[i]);
    return area;
}

}  // namespace

// Named in the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit EmbeddedArea<VersionLayout::Size>
    flashutil_version_area = MakeVersionArea();
}

// Read as stored, like the other areas a file may carry.
const uint8_t* EmbeddedVersionBytes() { return StoredBytes(flashutil_version_area.Bytes); }

VersionKeyWord OwnVersionKeyWord() { return KeyWordOf<VersionLayout::KeyWordSize>(EmbeddedVersionBytes()); }

std::optional<std::string> VersionInArea(const uint8_t* area) {
    if (area[VersionLayout::KeyWordSize] != 0 || Little(area + VersionLayout::FormatOffset) != VersionLayout::Format)
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
