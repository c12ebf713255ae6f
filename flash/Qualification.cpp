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
    return texts;
}

int CompareBytes(const std::string& a, const std::string& b) { return CompareRevisionBytes(a, b); }

bool DriveQualifies(const IdentityTexts& texts, const std::string& productText, const std::string& revisionText) {
    if (texts.AnyProduct)
        return true;
    if (productText != texts.InquiryText)
        return false;
    return RevisionInRange({texts.RangeLow, texts.RangeHigh, texts.AnyFirmware}, revisionText);
}

bool DriveQualifies(const IdentityBlock& block, const std::string& productText, const std::string& revisionText) {
    return DriveQualifies(IdentityTexts::From(block), productText, revisionText);
}

std::string WhyNotQualified(const IdentityBlock& block, const std::string& productText,
                            const std::string& revisionText) {
    if (block.IsBlankCopy())
        return "this copy is a blank builder and flashes no drive";
    const IdentityTexts texts = IdentityTexts::From(block);
    if (DriveQualifies(texts, productText, revisionText))
        return {};
    // The same tests in the same order as DriveQualifies, each failure in words.
    if (productText != texts.InquiryText)
        return "the drive is not a \"" + texts.InquiryText + "\"";
    return "firmware " + revisionText + " is outside " + texts.RangeLow + " to " + texts.RangeHigh;
}

bool DriveQualifies(const IdentityTexts& texts, uint8_t peripheralType, const std::string& productText,
                    const std::string& revisionText) {
    return peripheralType == OpticalPeripheralType && DriveQualifies(texts, productText, revisionText);
}

QualificationVerdict JudgeDrive(const IdentityBlock& block, uint8_t peripheralType, const std::string& productText,
                                const std::string& revisionText) {
    QualificationVerdict verdict;
    if (!block.IsBlankCopy() && peripheralType != OpticalPeripheralType) {
        verdict.Why = peripheralType == CDDrive::NoPeripheralType ? "it reports no device type"
                                             : "it is not an optical drive (peripheral type " +
                                                   std::to_string(peripheralType) + ")";
        return verdict;
    }
    verdict.Why = WhyNotQualified(block, productText, revisionText);
    verdict.Qualifies = verdict.Why.empty();
    // The product is checked before the range: a drive of the right product that fails, fails on the range.
    verdict.OnlyTheRange =
        !verdict.Qualifies && !block.IsBlankCopy() && productText == IdentityTexts::From(block).InquiryText;
    return verdict;
}
