// SPDX-License-Identifier: Apache-2.0
#pragma once
// A block-and-image buffer for tests, filled field by field as the builder would.

#include <cstring>
#include <string>
#include <vector>

#include "areas/IdentityBlock.h"

struct IdentityBlockBuffer {
    std::vector<uint8_t> Bytes = std::vector<uint8_t>(Layout::TotalSize, 0);

    IdentityBlockBuffer& Field(std::size_t offset, const std::string& text, std::size_t width = Layout::TextFieldSize) {
        std::memset(Bytes.data() + offset, 0, width);
        std::memcpy(Bytes.data() + offset, text.data(), text.size() < width ? text.size() : width);
        return *this;
    }
    IdentityBlockBuffer& Model(const std::string& t) { return Field(Layout::ModelOffset, t); }
    IdentityBlockBuffer& Inquiry(const std::string& t) { return Field(Layout::InquiryOffset, t); }
    IdentityBlockBuffer& FwRange(const std::string& t) { return Field(Layout::FwRangeOffset, t); }
    IdentityBlockBuffer& Vendor(const std::string& t) { return Field(Layout::VendorOffset, t); }
    IdentityBlockBuffer& Note(const std::string& t) { return Field(Layout::NoteOffset, t); }
    IdentityBlockBuffer& NewFwName(const std::string& t) { return Field(Layout::NewFwNameOffset, t, Layout::NewFwNameSize); }
    IdentityBlockBuffer& ImageLength(uint32_t length) {
        for (int i = 0; i < 4; ++i)
            Bytes[Layout::ImageLengthOffset + i] = static_cast<uint8_t>(length >> (8 * i));
        return *this;
    }

    IdentityBlock View() const { return IdentityBlock(Bytes.data()); }
};
