// SPDX-License-Identifier: Apache-2.0
#pragma once
// The identity block (152 bytes) and the image area (524,288 bytes) that every copy
// of the program carries in its own initialised data, and read-only views of them.
//
// Layout, offsets from the first byte of the block:
//   0  KeyWord (15)   15 Model (25)   40 Inquiry (25)   65 FwRange (25)
//   90 Vendor (25)   115 Note (25)   140 NewFwName (5)  145 Reserved (3)
//  148 ImageLength (4, little-endian)   152 image area (524,288)

#include <cstddef>
#include <cstdint>
#include <string>

namespace Layout {
constexpr std::size_t KeyWordOffset = 0, KeyWordSize = 15;
constexpr std::size_t ModelOffset = 15, InquiryOffset = 40, FwRangeOffset = 65, VendorOffset = 90,
                      NoteOffset = 115, TextFieldSize = 25;
constexpr std::size_t NewFwNameOffset = 140, NewFwNameSize = 5;
constexpr std::size_t ReservedOffset = 145, ReservedSize = 3;
constexpr std::size_t ImageLengthOffset = 148;
constexpr std::size_t BlockSize = 152;
constexpr std::size_t FieldBytes = BlockSize - KeyWordSize;  // 137, what the builder writes
constexpr std::size_t ImageCapacity = 0x80000;
constexpr std::size_t TotalSize = BlockSize + ImageCapacity;  // 524,440
constexpr char BlankMarker[4] = {'Z', 'Y', 'R', 'T'};         // first 4 image bytes of a blank copy
// A run uploads the image area in chunks of this size, from its first byte, each chunk whole.
constexpr std::size_t UploadChunkSize = 0x4000;
static_assert(ImageCapacity % UploadChunkSize == 0, "the image area holds whole chunks");
}  // namespace Layout

// A read-only view of a block followed by its image area (TotalSize bytes).
// Embedded() views the program's own; tests view buffers of their own making.
class IdentityBlock {
public:
    explicit IdentityBlock(const uint8_t* blockAndImage) : Bytes_(blockAndImage) {}

    // The program's own block and image area.
    static IdentityBlock Embedded();

    bool IsBlankCopy() const;  // image area starts with "ZYRT"

    // Text fields up to the first NUL or the field width.
    std::string Model() const;
    std::string Inquiry() const;
    std::string FwRange() const;
    std::string Vendor() const;
    std::string Note() const;
    std::string NewFwName() const;

    uint32_t ImageLength() const;  // little-endian, as stored

    // The wildcards, tested on the stored bytes: "--" at the start of Inquiry accepts any
    // product; "-" as the first byte of FwRange and of its upper bound (the sixth byte)
    // accepts any firmware revision and skips the revision check.
    bool AnyProduct() const;
    bool AnyFirmware() const;

    // The commit of the FLASH-ALL form: Note starts with "FLASH-ALL".
    bool FlashAll() const;

    // Bytes past ImageLength are absent: what a blank copy left behind a short image is no
    // part of the image, so nothing may be decided by it (the image-kind tests included).
    // PresentImageLength is ImageLength cut to the area's capacity; ImageHolds tells whether
    // count bytes at offset all lie within it; ImageByte yields 0 for an absent byte, which
    // is neither a marker byte nor a character of any model text.
    uint32_t PresentImageLength() const;
    // The bytes of the image area a run sends to the drive: the chunks that hold the image,
    // whole, so the last one carries the area's bytes after the image (a blank copy's fill).
    // 0 when the stored length is 0 or does not fit the area (a run sends nothing then).
    uint32_t SentImageLength() const;
    bool ImageHolds(std::size_t offset, std::size_t count) const;
    uint8_t ImageByte(std::size_t offset) const;
    const uint8_t* Image() const { return Bytes_ + Layout::BlockSize; }
    const uint8_t* KeyWord() const { return Bytes_ + Layout::KeyWordOffset; }
    const uint8_t* Raw() const { return Bytes_; }

private:
    const uint8_t* Bytes_;
};
