// SPDX-License-Identifier: Apache-2.0
#include "flash/Qualification.h"

#include <cstdio>
#include <cstring>

#include "scsi/CDDrive.h"

namespace {

// A stored text field: its bytes up to the first NUL, at most the field's width.
// (A field that fills its width has no NUL; it never runs on into the next field.)
std::string FieldText(const uint8_t* field, std::size_t width) {
    const void* nul = std::memchr(field, 0, width);
    const std::size_t length = nul ? static_cast<const uint8_t*>(nul) - field : width;
    return std::string(reinterpret_cast<const char*>(field), length);
}

std::string Format(const char* format, const std::string& text) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, text.c_str());
    return buffer;
}

}  // namespace

IdentityTexts IdentityTexts::From(const IdentityBlock& block) {
    const uint8_t* raw = block.Raw();
    const uint8_t* inquiry = raw + Layout::InquiryOffset;
    const uint8_t* range = raw + Layout::FwRangeOffset;
    const std::size_t width = Layout::TextFieldSize;

    IdentityTexts texts;
    texts.VendorText = FieldText(raw + Layout::VendorOffset, width);
    texts.ModelText = FieldText(raw + Layout::ModelOffset, width);
    texts.InquiryText = Format("%-24.24s", FieldText(inquiry, width));
    const std::string rangeField = FieldText(range, width);
    texts.RangeText = Format("%9.9s", rangeField);
    // The bounds as the builder's range check reads them.
    const RevisionRange bounds = RevisionRangeOf(range);
    texts.RangeLow = bounds.Low;
    texts.RangeHigh = bounds.High;
    texts.AnyProduct = block.AnyProduct();
    texts.AnyFirmware = block.AnyFirmware();
    texts.Blank = block.IsBlankCopy();
    return texts;
}

int CompareBytes(const std::string& a, const std::string& b) { return CompareRevisionBytes(a, b); }

QualificationVerdict JudgeDrive(const IdentityTexts& texts, uint8_t peripheralType, const std::string& productText,
                                const std::string& revisionText) {
    QualificationVerdict verdict;
    if (texts.Blank) {
        verdict.Why = "this copy is a blank builder and flashes no drive";
        return verdict;
    }
    if (peripheralType != OpticalPeripheralType) {
        verdict.Why = peripheralType == CDDrive::NoPeripheralType ? "it reports no device type"
                                                                   : "it is not an optical drive (peripheral type " +
                                                                         std::to_string(peripheralType) + ")";
        return verdict;
    }
    if (texts.AnyProduct) {
        verdict.Qualifies = true;
        return verdict;
    }
    if (productText != texts.InquiryText) {
        verdict.Why = "the drive is not a \"" + texts.InquiryText + "\"";
        return verdict;
    }
    verdict.Qualifies = RevisionInRange({texts.RangeLow, texts.RangeHigh, texts.AnyFirmware}, revisionText);
    // The product is checked before the range: a drive of the right product that fails, fails on the range.
    verdict.OnlyTheRange = !verdict.Qualifies;
    if (!verdict.Qualifies)
        verdict.Why = "firmware " + revisionText + " is outside " + texts.RangeLow + " to " + texts.RangeHigh;
    return verdict;
}

QualificationVerdict JudgeDrive(const IdentityBlock& block, uint8_t peripheralType, const std::string& productText,
                                const std::string& revisionText) {
    return JudgeDrive(IdentityTexts::From(block), peripheralType, productText, revisionText);
}
