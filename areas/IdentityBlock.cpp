// SPDX-License-Identifier: Apache-2.0
// Read-only views of an identity block and its image area.

#include "areas/IdentityBlock.h"

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"
#include "areas/EmbeddedBlock.h"

namespace {
// A text field: its bytes up to the first NUL or the field's width.
std::string TextField(const uint8_t* field, std::size_t width) {
    std::size_t length = 0;
    while (length < width && field[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}
}  // namespace

IdentityBlock IdentityBlock::Embedded() { return IdentityBlock(EmbeddedBlockBytes()); }

bool IdentityBlock::IsBlankCopy() const {
    return std::memcmp(Image(), Layout::BlankMarker, sizeof Layout::BlankMarker) == 0;
}

std::string IdentityBlock::Model() const { return TextField(Bytes_ + Layout::ModelOffset, Layout::TextFieldSize); }
std::string IdentityBlock::Inquiry() const { return TextField(Bytes_ + Layout::InquiryOffset, Layout::TextFieldSize); }
std::string IdentityBlock::FwRange() const { return TextField(Bytes_ + Layout::FwRangeOffset, Layout::TextFieldSize); }
std::string IdentityBlock::Vendor() const { return TextField(Bytes_ + Layout::VendorOffset, Layout::TextFieldSize); }
std::string IdentityBlock::Note() const { return TextField(Bytes_ + Layout::NoteOffset, Layout::TextFieldSize); }
std::string IdentityBlock::NewFwName() const { return TextField(Bytes_ + Layout::NewFwNameOffset, Layout::NewFwNameSize); }

uint32_t IdentityBlock::ImageLength() const {
    return Little(Bytes_ + Layout::ImageLengthOffset);
}

uint32_t IdentityBlock::PresentImageLength() const {
    return std::min<uint32_t>(ImageLength(), Layout::ImageCapacity);
}

uint32_t IdentityBlock::SentImageLength() const {
    const uint32_t length = ImageLength();
    if (length == 0 || length > Layout::ImageCapacity)
        return 0;
    return uint32_t((length + Layout::UploadChunkSize - 1) / Layout::UploadChunkSize * Layout::UploadChunkSize);
}

bool IdentityBlock::ImageHolds(std::size_t offset, std::size_t count) const {
    const std::size_t present = PresentImageLength();
    return offset <= present && count <= present - offset;
}

uint8_t IdentityBlock::ImageByte(std::size_t offset) const {
    return ImageHolds(offset, 1) ? Image()[offset] : 0;
}

bool IdentityBlock::AnyProduct() const {
    const uint8_t* inquiry = Bytes_ + Layout::InquiryOffset;
    return inquiry[0] == '-' && inquiry[1] == '-';
}

bool IdentityBlock::AnyFirmware() const {
    const uint8_t* range = Bytes_ + Layout::FwRangeOffset;
    return range[0] == '-' && range[5] == '-';
}

bool IdentityBlock::FlashAll() const { return std::memcmp(Bytes_ + Layout::NoteOffset, "FLASH-ALL", 9) == 0; }
