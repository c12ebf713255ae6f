// SPDX-License-Identifier: Apache-2.0
// The identity block accessors and the image-kind decision over arbitrary program bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "flash/ImageKind.h"
#include "areas/IdentityBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The block and image area always have their full size in a program; the input fills
    // their start and the rest keeps a blank filler. One buffer for the whole run, where only
    // the part the last input filled is blanked again: a fresh half megabyte per input would
    // cost more than the decisions it checks.
    static std::vector<uint8_t> bytes(Layout::TotalSize, 0xE5);
    static std::size_t filled = 0;
    std::fill_n(bytes.begin(), filled, uint8_t(0xE5));
    filled = size < bytes.size() ? size : bytes.size();
    std::memcpy(bytes.data(), data, filled);
    const IdentityBlock block(bytes.data());

    const std::size_t textLength = block.Model().size() + block.Inquiry().size() + block.FwRange().size() +
                                   block.Vendor().size() + block.Note().size();
    if (textLength > 5 * 25 || block.NewFwName().size() > Layout::NewFwNameSize)
        __builtin_trap();
    (void)block.IsBlankCopy();

    const ImageKind kind = ImageKindOf(block);
    if (kind.Size != block.ImageLength() || (kind.Profile && kind.Dvd) || (!kind.Marked && kind.NeedsProfile()))
        __builtin_trap();
    return 0;
}
